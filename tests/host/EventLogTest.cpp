#include <gtest/gtest.h>

#include "host/EventLog.h"
#include "host/HostTestSupport.h"

namespace orvane::test {
namespace {

class EventLogTest : public ::testing::Test {
 protected:
  std::string Read(const std::string& name) {
    log_.Flush();
    return ReadBytes(dir_ / name);
  }
  // The file without its start block.
  std::string Events() {
    const std::string all = Read("FTP.log");
    const std::string block = " ----------\r\n\r\n";
    return all.substr(all.find(block) + block.size());
  }

  TempDir dir_;
  FakeUi ui_;
  LogMemo memo_{ui_};
  LogSettings settings_;
  EventLog log_{settings_, memo_};
};

TEST_F(EventLogTest, ScreenAndFileSwitchesAreIndependentAndLive) {
  ASSERT_TRUE(log_.Open(dir_ / "FTP.log", "2121"));
  settings_.Screen[5] = false;  // file only
  settings_.File[7] = false;    // screen only
  log_.LogEvent(5, "five");
  log_.LogEvent(7, "seven");
  log_.LogEvent(11, "answer");  // off on both outputs by default
  log_.LogEvent(12, "command");
  log_.LogEvent(0, "none");
  log_.LogEvent(13, "none");
  settings_.Screen[11] = true;  // a switch counts at once
  log_.LogEvent(11, "answer shown");

  ASSERT_EQ(ui_.memo.size(), 2u);
  EXPECT_EQ(ui_.memo[0].text, "seven");
  EXPECT_EQ(ui_.memo[1].text, "answer shown");
  EXPECT_EQ(ui_.memo[1].color, MemoColor::Black);
  EXPECT_EQ(Normalize(Events()), "<stamp> five\r\n");
}

TEST_F(EventLogTest, CommandEchoIsGreenAndServerStateLinesIgnoreSwitches) {
  ASSERT_TRUE(log_.Open(dir_ / "FTP.log", "21"));
  log_.LogCommand(" (127.0.0.1) >NOOP ");  // category 12 off by default
  settings_.Screen[12] = true;
  settings_.File[12] = true;
  log_.LogCommand(" (127.0.0.1) >NOOP ");
  for (int c = 1; c <= LogSettings::kCategories; ++c)
    settings_.Screen[c] = settings_.File[c] = false;
  log_.ServerStateLine("FTP Server Off-line ...", true);

  ASSERT_EQ(ui_.memo.size(), 2u);
  EXPECT_EQ(ui_.memo[0].text, " (127.0.0.1) >NOOP ");
  EXPECT_EQ(ui_.memo[0].color, MemoColor::Green);
  EXPECT_EQ(ui_.memo[1].text, "FTP Server Off-line ...");
  // The state line is flushed by itself and carries the date only.
  EXPECT_NE(ReadBytes(dir_ / "FTP.log").find("FTP Server Off-line ...\r\n"), std::string::npos);
  EXPECT_EQ(Normalize(Events()),
            "<stamp>  (127.0.0.1) >NOOP \r\n<date> FTP Server Off-line ...\r\n");
}

TEST_F(EventLogTest, SessionBlocksAppendToAnExistingFile) {
  WriteBytes(dir_ / "FTP.log", "earlier\r\n");
  ASSERT_TRUE(log_.Open(dir_ / "FTP.log", "2121"));
  log_.Close();
  EXPECT_FALSE(log_.IsOpen());
  log_.LogEvent(1, "after close");  // screen only, no crash
  EXPECT_EQ(Normalize(ReadBytes(dir_ / "FTP.log")),
            "earlier\r\n\r\n\r\n---------- Session created on <stamp> on port 2121 ----------\r\n"
            "\r\n\r\n---------- Session closed  on <stamp> ----------\r\n");
}

TEST_F(EventLogTest, ChangingTheFileEndsTheOldSessionAndStartsANewOne) {
  ASSERT_TRUE(log_.Open(dir_ / "FTP.log", "21"));
  EXPECT_TRUE(log_.ChangeFile(dir_ / "ftp.LOG", "21"));  // same name, other case: nothing
  EXPECT_EQ(log_.FileName(), dir_ / "FTP.log");

  ASSERT_TRUE(log_.ChangeFile(dir_ / "other.log", "21"));
  log_.LogEvent(1, "in the new file");
  EXPECT_EQ(Normalize(ReadBytes(dir_ / "FTP.log")),
            "\r\n\r\n---------- Session created on <stamp> on port 21 ----------\r\n\r\n"
            "Log File changed  to : " +
                dir_.Path() +
                "/other.log\r\n"
                "\r\n---------- Session closed  on <stamp> ----------\r\n");
  EXPECT_EQ(Normalize(Read("other.log")),
            "\r\n\r\n---------- Session created on <stamp> on port 21 ----------\r\n\r\n"
            "<stamp> in the new file\r\n");
}

TEST_F(EventLogTest, AFileThatCannotBeOpenedLeavesTheMemoWorking) {
  EXPECT_FALSE(log_.Open(dir_ / "missing/FTP.log", "21"));
  EXPECT_FALSE(log_.IsOpen());
  log_.LogEvent(1, "still shown");
  log_.ServerStateLine("FTP Server Off-line ...", true);
  log_.Close();
  EXPECT_EQ(ui_.memo.size(), 2u);
}

TEST_F(EventLogTest, MemoIsTrimmedFromTheTop) {
  for (int i = 0; i < 10; ++i) memo_.Append("line " + std::to_string(i));
  memo_.TrimTo(3);
  ASSERT_EQ(ui_.memo.size(), 3u);
  EXPECT_EQ(ui_.memo[0].text, "line 7");
  EXPECT_EQ(memo_.Lines().front().text, "line 7");
  memo_.TrimTo(5);
  EXPECT_EQ(memo_.Lines().size(), 3u);
}

}  // namespace
}  // namespace orvane::test
