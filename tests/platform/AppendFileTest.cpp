#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/AppendFile.h"
#include "platform/TempDir.h"

namespace orvane {
namespace {

using test::ReadBytes;
using test::TempDir;

// Buffered, lines reach the file only at a flush (or once the buffer is full), and every
// flush point keeps them: a reopen writes them to the file open before (a rotated log keeps
// its last lines), Close and the destructor write them too.
TEST(AppendFileTest, BufferedLinesWaitForAFlushAndNoneIsLost) {
  TempDir dir;
  const std::string path = dir / "FTP.log";
  const std::string rotated = dir / "FTP.log.1";
  {
    AppendFile file;
    ASSERT_TRUE(file.Open(path));
    ASSERT_TRUE(file.Write("unbuffered\r\n"));
    EXPECT_EQ(ReadBytes(path), "unbuffered\r\n");
    file.SetBuffered(true);
    ASSERT_TRUE(file.Write("one\r\n"));
    ASSERT_TRUE(file.Write("two\r\n"));
    EXPECT_TRUE(file.HasBuffered());
    EXPECT_EQ(ReadBytes(path), "unbuffered\r\n");
    ASSERT_TRUE(file.Flush());
    EXPECT_EQ(ReadBytes(path), "unbuffered\r\none\r\ntwo\r\n");
    EXPECT_FALSE(file.HasBuffered());

    ASSERT_TRUE(file.Write("before the rotation\r\n"));
    ASSERT_EQ(std::rename(path.c_str(), rotated.c_str()), 0);
    ASSERT_TRUE(file.Open(path));
    EXPECT_EQ(ReadBytes(rotated), "unbuffered\r\none\r\ntwo\r\nbefore the rotation\r\n");
    ASSERT_TRUE(file.Write("after\r\n"));
    file.Close();
    EXPECT_EQ(ReadBytes(path), "after\r\n");

    ASSERT_TRUE(file.Open(path));
    ASSERT_TRUE(file.Write("at the end\r\n"));
  }
  EXPECT_EQ(ReadBytes(path), "after\r\nat the end\r\n");
}

TEST(AppendFileTest, AFullBufferIsWrittenInWholeLines) {
  TempDir dir;
  const std::string path = dir / "FTP.log";
  AppendFile file;
  ASSERT_TRUE(file.Open(path));
  file.SetBuffered(true);
  const std::string line(1000, 'x');
  std::size_t written = 0;
  while (ReadBytes(path).empty()) {
    ASSERT_TRUE(file.Write(line + "\r\n"));
    written += line.size() + 2;
    ASSERT_LE(written, AppendFile::kMaxBuffered + line.size() + 2);
  }
  // Written at the line that filled the buffer, and never part of a line.
  EXPECT_EQ(ReadBytes(path).size(), written);
  EXPECT_GE(written, AppendFile::kMaxBuffered);
}

}  // namespace
}  // namespace orvane
