#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ftp/LineReader.h"

namespace orvane {
namespace {

// Drives a LineReader as the control connection does: one read per call (as much of `bytes` as
// the reader has room for), then every complete line taken. Lines are recorded as they were
// given, "!" for each over-long line that ended.
class LineReaderTest : public ::testing::Test {
 protected:
  // Returns how many of the bytes the read took.
  size_t Read(const std::string& bytes) {
    int room = 0;
    char* into = reader_.ReadSpace(room);
    const size_t n = std::min(bytes.size(), static_cast<size_t>(room));
    std::memcpy(into, bytes.data(), n);
    if (n > 0 && reader_.Commit(static_cast<int>(n))) lines_.push_back("!");
    const char* line = nullptr;
    int length = 0;
    while (reader_.Front(line, length)) {
      EXPECT_EQ(line[length], '\0');  // handlers may read the line as a C string
      lines_.emplace_back(line, static_cast<size_t>(length));
      if (!reader_.Pop()) break;
    }
    return n;
  }

  // Reads all of `bytes`, in as many reads as it takes.
  void ReadAll(std::string bytes) {
    while (!bytes.empty()) bytes.erase(0, Read(bytes));
  }

  LineReader reader_;
  std::vector<std::string> lines_;
};

TEST_F(LineReaderTest, SplitsLinesAtLfDroppingTheCrBeforeIt) {
  reader_.Resize(64);
  Read("USER a\r\nPASS b\nNOOP\r\r\n\r\n\n\r\n");
  // A CR just before the LF goes; another CR stays, and a line of only CR keeps it.
  EXPECT_EQ(lines_, (std::vector<std::string>{"USER a", "PASS b", "NOOP\r", "\r", "", "\r"}));
  EXPECT_EQ(reader_.Count(), 0);
  EXPECT_FALSE(reader_.HasLine());
}

TEST_F(LineReaderTest, KeepsAPartialLineAcrossReads) {
  reader_.Resize(64);
  Read("US");
  Read("ER a\r");
  EXPECT_TRUE(lines_.empty());
  EXPECT_EQ(reader_.Count(), 7);
  Read("\nNO");
  EXPECT_EQ(lines_, (std::vector<std::string>{"USER a"}));
  EXPECT_EQ(reader_.Count(), 2);
  Read("OP\n");
  EXPECT_EQ(lines_, (std::vector<std::string>{"USER a", "NOOP"}));
}

TEST_F(LineReaderTest, CarriesNulAndOtherBytesInsideALine) {
  reader_.Resize(64);
  const std::string garbage("A\0B\xff\x01\r\x80", 7);
  Read(garbage + "\r\n" + std::string("\0\n", 2));
  EXPECT_EQ(lines_, (std::vector<std::string>{garbage, std::string(1, '\0')}));
}

TEST_F(LineReaderTest, RunsManyLinesOfOneRead) {
  reader_.Resize(4096);
  std::string bytes;
  std::vector<std::string> expected;
  for (int i = 0; i < 300; ++i) {
    expected.push_back("NOOP " + std::to_string(i));
    bytes += expected.back() + "\r\n";
  }
  ASSERT_LT(bytes.size(), 4095u);
  EXPECT_EQ(Read(bytes), bytes.size());
  EXPECT_EQ(lines_, expected);
}

// The buffer holds Size - 1 bytes. A line that fills it without an LF is dropped up to its LF,
// announced once when that LF comes, and what follows the LF is kept; a line that just fits
// (its LF the last byte) is an ordinary line.
TEST_F(LineReaderTest, DropsAnOverLongLineUpToItsLfAndKeepsWhatFollows) {
  reader_.Resize(16);
  Read(std::string(14, 'a') + "\n");
  EXPECT_EQ(lines_, (std::vector<std::string>{std::string(14, 'a')}));

  lines_.clear();
  EXPECT_EQ(Read(std::string(20, 'b')), 15u);  // full, no line end
  EXPECT_FALSE(reader_.Discarding());
  EXPECT_EQ(Read(std::string(20, 'b')), 15u);  // the next read starts the discard
  EXPECT_TRUE(reader_.Discarding());
  EXPECT_EQ(reader_.Count(), 0);
  Read("bbb\r\nNOOP\r\nNO");
  EXPECT_FALSE(reader_.Discarding());
  EXPECT_EQ(lines_, (std::vector<std::string>{"!", "NOOP"}));
  EXPECT_EQ(reader_.Count(), 2);

  // A flood: announced once, at its end.
  lines_.clear();
  reader_.Clear();
  ReadAll(std::string(1000, 'x') + "\nQUIT\n");
  EXPECT_EQ(lines_, (std::vector<std::string>{"!", "QUIT"}));
}

// Lines left held (a session on hold takes only its first line) stay for the next call; Clear
// drops them and an unfinished discard, and Resize drops what is held.
TEST_F(LineReaderTest, HeldLinesStayUntilTakenClearedOrResized) {
  reader_.Resize(64);
  int room = 0;
  char* into = reader_.ReadSpace(room);
  std::memcpy(into, "A\nB\nC", 5);
  reader_.Commit(5);
  const char* line = nullptr;
  int length = 0;
  ASSERT_TRUE(reader_.Front(line, length));
  EXPECT_EQ(std::string(line, static_cast<size_t>(length)), "A");
  EXPECT_TRUE(reader_.Pop());
  EXPECT_TRUE(reader_.HasLine());
  ASSERT_TRUE(reader_.Front(line, length));
  EXPECT_EQ(std::string(line, static_cast<size_t>(length)), "B");
  // A command that clears the buffer while its line is out: nothing is left, nothing breaks.
  reader_.Clear();
  EXPECT_FALSE(reader_.Pop());
  EXPECT_FALSE(reader_.HasLine());
  EXPECT_EQ(reader_.Count(), 0);

  Read("D\nE");
  EXPECT_FALSE(reader_.Resize(64));  // the same size keeps what is held
  EXPECT_EQ(reader_.Count(), 1);
  EXPECT_TRUE(reader_.Resize(8));
  EXPECT_EQ(reader_.Count(), 0);
  EXPECT_EQ(reader_.Size(), 8);
}

}  // namespace
}  // namespace orvane
