#include <gtest/gtest.h>

#include <cstdio>

#include "host/EventLog.h"
#include "host/HostTestSupport.h"
#include "host/TransferLog.h"
#include "platform/IniFile.h"

namespace orvane::test {
namespace {

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

TEST(TransferLogTest, LineHasTheFourteenXferlogFields) {
  TransferLog::Entry e;
  e.end = LocalTime(2026, 12, 9, 6, 5, 9);
  e.seconds = 3;
  e.remoteHost = "127.0.0.1";
  e.bytes = 5120;
  e.fileName = "/srv/ftp/pub/a.txt";
  e.direction = 'o';
  e.accessMode = 'a';
  e.userName = "anonymous";
  e.complete = true;
  EXPECT_EQ(TransferLog::FormatLine(e),
            "Wed Dec  9 06:05:09 2026 3 127.0.0.1 5120 /srv/ftp/pub/a.txt b _ o a anonymous ftp 0 "
            "* c");
  e.end = LocalTime(2027, 1, 24, 23, 59, 0);
  e.direction = 'i';
  e.accessMode = 'r';
  e.complete = false;
  // Names with blanks or control characters would shift every later field.
  e.fileName = "/srv/ftp/my file\t.txt";
  e.userName = "a b";
  EXPECT_EQ(TransferLog::FormatLine(e),
            "Sun Jan 24 23:59:00 2027 3 127.0.0.1 5120 /srv/ftp/my_file_.txt b _ i r a_b ftp 0 * "
            "i");
  // Nor may a C1 control (CSI, raw or in UTF-8) reach the reader's terminal.
  e.fileName =
      "/srv/ftp/x\x9b"
      "2J\xc2\x9b"
      "2J\xe2\x82\xac";
  e.userName = "a";
  EXPECT_EQ(
      TransferLog::FormatLine(e),
      "Sun Jan 24 23:59:00 2027 3 127.0.0.1 5120 /srv/ftp/xM-^[2JM-^[2J\xe2\x82\xac b _ i r a "
      "ftp 0 * i");
}

TEST(TransferLogTest, SettingsAndOneLinePerEndedTransfer) {
  TempDir dir;
  WriteBytes(dir / "FTPsrv.ini", "[Xferlog]\r\nEnabled=1\r\n");
  IniFile ini(dir / "FTPsrv.ini");
  EXPECT_TRUE(TransferLog::Enabled(ini));
  EXPECT_EQ(TransferLog::FileName(ini, dir.Path() + "/"), dir / "xferlog");
  ini.WriteString("Xferlog", "File", "<DIR>logs-<DIR>");
  EXPECT_EQ(TransferLog::FileName(ini, "/d/"), "/d/logs-/d/");
  EXPECT_FALSE(TransferLog::Enabled(IniFile(dir / "missing.ini")));

  EventLoop loop;
  TFtpCtrlSocket a(loop), b(loop);
  TransferLog log;
  ASSERT_TRUE(log.Open(dir / "xferlog"));
  TransferLog::Entry e;
  e.fileName = "/f";
  e.direction = 'i';
  log.Started(a, e, 100);
  EXPECT_EQ(log.Direction(a), 'i');
  EXPECT_EQ(log.Direction(b), 0);
  log.Ended(b, 500, true);  // never started: no line
  log.Ended(a, 350, true);
  log.Ended(a, 400, true);  // already ended: no second line
  const std::string text = ReadBytes(dir / "xferlog");
  ASSERT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
  EXPECT_NE(text.find(" 1 _ 250 /f b _ i r _ ftp 0 * c\n"), std::string::npos) << text;
}

TEST(TransferLogTest, ReopenAfterRenameWritesToTheNewFileAndLosesNoLine) {
  TempDir dir;
  FakeUi ui;
  LogMemo memo{ui};
  LogSettings settings;
  EventLog log{settings, memo};
  ASSERT_TRUE(log.Open(dir / "FTP.log", "21"));
  log.LogEvent(1, "before rotation");  // still in the buffer when the file is renamed
  ASSERT_EQ(std::rename((dir / "FTP.log").c_str(), (dir / "FTP.log.1").c_str()), 0);
  log.LogEvent(1, "between rename and reopen");
  ASSERT_TRUE(log.Reopen());
  log.LogEvent(1, "after rotation");
  log.Close();
  const std::string old = ReadBytes(dir / "FTP.log.1");
  const std::string now = ReadBytes(dir / "FTP.log");
  EXPECT_NE(old.find("before rotation"), std::string::npos);
  EXPECT_NE(old.find("between rename and reopen"), std::string::npos);
  EXPECT_EQ(old.find("after rotation"), std::string::npos);
  EXPECT_NE(now.find("after rotation"), std::string::npos);

  // A name that can no longer be opened keeps the old file.
  EventLog other{settings, memo};
  ASSERT_TRUE(other.Open(dir / "sub-FTP.log", "21"));
  EXPECT_EQ(::mkdir((dir / "gone").c_str(), 0700), 0);
  ASSERT_TRUE(other.Open(dir / "gone/FTP.log", "21"));
  ASSERT_EQ(std::rename((dir / "gone").c_str(), (dir / "moved").c_str()), 0);
  EXPECT_FALSE(other.Reopen());
  other.LogEvent(1, "kept");
  other.Close();
  EXPECT_NE(ReadBytes(dir / "moved/FTP.log").find("kept"), std::string::npos);
}

}  // namespace
}  // namespace orvane::test
