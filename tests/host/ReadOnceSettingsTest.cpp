#include <gtest/gtest.h>

#include <fstream>

#include "host/ReadOnceSettings.h"
#include "platform/IniFile.h"
#include "platform/TempDir.h"

namespace orvane {
namespace {

TEST(ReadOnceSettings, DrivesPolicyAndPassiveSettingsAsWritten) {
  test::TempDir dir;
  std::ofstream(dir / "FTPsrv.ini") << "[Drives]\nc=/srv/ftp\nDD=/nowhere\n1=/digit\nE=\n"
                                       "[ServerFTP]\nclassic=1\n"
                                       "[Passive]\nports=50000-50010\naddress=ftp.example\n";
  ReadOnceSettings settings;
  settings.Read(IniFile(dir / "FTPsrv.ini"));
  // One upper-cased letter with a directory; every other key is left out.
  EXPECT_EQ(settings.Drives, (std::map<char, std::string>{{'C', "/srv/ftp"}}));
  EXPECT_TRUE(settings.Compatibility.Classic());
  EXPECT_EQ(settings.Passive.Ports, "50000-50010");
  EXPECT_EQ(settings.Passive.Address, "ftp.example");
}

TEST(ReadOnceSettings, MissingOrUnreadableKeysReadAsTheirDefaults) {
  test::TempDir dir;
  std::ofstream(dir / "FTPsrv.ini") << "[Passive]\nports=lots\n";
  ReadOnceSettings settings;
  settings.Read(IniFile(dir / "FTPsrv.ini"));
  EXPECT_TRUE(settings.Drives.empty());  // the file system's own default (C is "/")
  EXPECT_FALSE(settings.Compatibility.Classic());
  // The text stays as written, for the network window to show; the engine takes any port
  // (PassiveSettings.StoredTrimmedAndGivenToTheEngine).
  EXPECT_EQ(settings.Passive.Ports, "lots");
  EXPECT_NE(settings.Passive.Check(), "");
  EXPECT_EQ(settings.Passive.Address, "");
}

}  // namespace
}  // namespace orvane
