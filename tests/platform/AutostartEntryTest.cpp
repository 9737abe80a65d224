#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>

#include "platform/AutostartEntry.h"
#include "platform/TempDir.h"

namespace orvane::test {

TEST(AutostartEntry, ExecLineQuotesWhatTheFormatReserves) {
  EXPECT_EQ(AutostartEntry::ExecLine({"/usr/bin/orvane-ftp-server"}), "/usr/bin/orvane-ftp-server");
  EXPECT_EQ(AutostartEntry::ExecLine({"/opt/My Apps/srv", "--dir", "/srv/ftp"}),
            "\"/opt/My Apps/srv\" --dir /srv/ftp");
  // Inside quotes " ` $ \ are escaped, and the string value escapes the backslash once more.
  EXPECT_EQ(AutostartEntry::ExecLine({"/a$b\\c"}), "\"/a\\\\$b\\\\\\\\c\"");
  EXPECT_EQ(AutostartEntry::ExecLine({"/50%"}), "/50%%");
  EXPECT_EQ(AutostartEntry::ExecLine({""}), "\"\"");
}

TEST(AutostartEntry, WriteRemoveAndTheDirectoryFromTheEnvironment) {
  TempDir dir;
  const AutostartEntry entry(dir / "config/autostart", {"/usr/bin/orvane-ftp-server"});
  std::string error;
  EXPECT_FALSE(entry.Exists());
  EXPECT_TRUE(entry.Remove(error));  // nothing there: no failure
  ASSERT_TRUE(entry.Write(error)) << error;
  EXPECT_TRUE(entry.Exists());
  const std::string text = ReadBytes(entry.Path());
  EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u);
  EXPECT_NE(text.find("\nName=FTP Server Startup\n"), std::string::npos);
  EXPECT_NE(text.find("\nExec=/usr/bin/orvane-ftp-server\n"), std::string::npos);
  ASSERT_TRUE(entry.Remove(error)) << error;
  EXPECT_FALSE(entry.Exists());

  const AutostartEntry broken(dir / "config/autostart", {"/bin/x\nHidden=true"});
  EXPECT_FALSE(broken.Write(error));
  EXPECT_FALSE(broken.Exists());

  WriteBytes(dir / "file", "x");
  const AutostartEntry blocked(dir / "file/autostart", {"/bin/x"});
  EXPECT_FALSE(blocked.Write(error));
  EXPECT_FALSE(error.empty());

  const char* home = std::getenv("HOME");
  const std::string savedHome = home != nullptr ? home : "";
  ::setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
  EXPECT_EQ(AutostartEntry::DefaultDirectory(), dir.Path() + "/autostart");
  ::setenv("XDG_CONFIG_HOME", "relative", 1);
  ::setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(AutostartEntry::DefaultDirectory(), "/home/someone/.config/autostart");
  ::unsetenv("XDG_CONFIG_HOME");
  ::setenv("HOME", savedHome.c_str(), 1);
}

}  // namespace orvane::test
