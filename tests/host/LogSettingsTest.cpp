#include <gtest/gtest.h>

#include "host/LogSettings.h"
#include "platform/IniFile.h"
#include "platform/TempDir.h"

namespace orvane {
namespace {

TEST(LogSettings, DefaultsAndIndependentSwitchesRoundTrip) {
  test::TempDir dir;
  IniFile ini(dir / "FTPsrv.ini");
  LogSettings settings;
  settings.Screen[3] = false;
  settings.Load(ini);  // a missing file gives the defaults
  for (int category = 1; category <= 12; ++category) {
    EXPECT_EQ(settings.Screen[category], category <= 10) << category;
    EXPECT_EQ(settings.File[category], category <= 10) << category;
  }
  EXPECT_EQ(settings.MaxLines, "100");
  EXPECT_EQ(settings.LogFileName, "<DIR>FTP.log");

  settings.Screen[12] = true;
  settings.File[2] = false;
  settings.MaxLines = "3";
  settings.LogFileName = "/var/log/ftp.log";
  ASSERT_TRUE(settings.Store(ini));
  LogSettings loaded;
  loaded.Load(IniFile(dir / "FTPsrv.ini"));
  EXPECT_TRUE(loaded.Screen[12] && !loaded.File[12]);
  EXPECT_TRUE(loaded.Screen[2] && !loaded.File[2]);
  EXPECT_EQ(loaded.MaxLines, "3");
  EXPECT_EQ(loaded.LogFileName, "/var/log/ftp.log");
}

TEST(LogSettings, InvalidMaxLinesStopsAfterTheSwitches) {
  test::TempDir dir;
  IniFile ini(dir / "FTPsrv.ini");
  LogSettings settings;
  settings.Screen[11] = true;
  settings.MaxLines = "";
  EXPECT_FALSE(settings.MaxLinesValue());
  settings.MaxLines = "12a";
  EXPECT_FALSE(settings.MaxLinesValue());
  EXPECT_FALSE(settings.Store(ini));
  EXPECT_TRUE(ini.ReadBool("Screen", "11", false));
  EXPECT_FALSE(ini.KeyExists("Screen", "13"));
  EXPECT_FALSE(ini.KeyExists("File", "13"));
  settings.MaxLines = "250";
  EXPECT_EQ(settings.MaxLinesValue(), 250);
  EXPECT_TRUE(LogSettings::AcceptMaxLinesChar('7'));
  EXPECT_FALSE(LogSettings::AcceptMaxLinesChar('-'));
  EXPECT_FALSE(LogSettings::AcceptMaxLinesChar('\b'));
}

TEST(LogSettings, DirMacroInFileNames) {
  LogSettings settings;
  settings.LogFileName = "";
  EXPECT_EQ(settings.ResolvedLogFileName("/opt/ftp/"), "/opt/ftp/FTP.log");
  settings.LogFileName = "<DIR>logs/<DIR>x.log";
  EXPECT_EQ(settings.ResolvedLogFileName("/d/"), "/d/logs//d/x.log");
  settings.LogFileName = "<DIR>a.log";  // a directory named like the macro is not expanded again
  EXPECT_EQ(settings.ResolvedLogFileName("/<DIR>/"), "/<DIR>/a.log");
  EXPECT_EQ(LogSettings::StoredLogFileName("/opt/ftp/logs/a.log", "/opt/ftp/"), "<DIR>logs/a.log");
  EXPECT_EQ(LogSettings::StoredLogFileName("/OPT/FTP/a.log", "/opt/ftp/"), "/OPT/FTP/a.log");
}

}  // namespace
}  // namespace orvane
