#include <gtest/gtest.h>

#include "host/Messages.h"
#include "platform/IniFile.h"
#include "platform/TempDir.h"

namespace orvane {
namespace {

using Lines = std::vector<std::string>;

TEST(Messages, StoreRewritesWholeSections) {
  test::TempDir dir;
  IniFile ini(dir / "FTPsrv.ini");
  Messages messages;
  messages.Welcome = {"Hello %IP", "", "third"};
  messages.TooManyUsers = {"Server full"};
  ASSERT_TRUE(messages.Store(ini));
  EXPECT_EQ(ini.Keys("WMessage"), (Lines{"line0", "line1", "line2"}));
  EXPECT_EQ(Messages::LoadMessage(ini, "WMessage"), messages.Welcome);

  messages.Welcome = {"only"};
  ASSERT_TRUE(messages.Store(ini));
  EXPECT_EQ(ini.Keys("WMessage"), Lines{"line0"});
  Messages loaded;
  loaded.Load(IniFile(dir / "FTPsrv.ini"));
  EXPECT_EQ(loaded.Welcome, Lines{"only"});
  EXPECT_EQ(loaded.TooManyUsers, Lines{"Server full"});

  ASSERT_TRUE(Messages().Store(ini));
  EXPECT_FALSE(ini.SectionExists("WMessage"));
  EXPECT_FALSE(ini.SectionExists("TooManyUsersMessage"));
}

TEST(Messages, GapsInHandEditedKeys) {
  test::TempDir dir;
  test::WriteBytes(dir / "FTPsrv.ini",
                   "[WMessage]\r\nline0=a\r\nline1=b\r\nline3=d\r\n"
                   "[TooManyUsersMessage]\r\nline0=a\r\nline1=b\r\nline4=e\r\n"
                   "[Markers]\r\nline0=x\r\nline1=verif|\r\nline2=verif2|\r\n");
  IniFile ini(dir / "FTPsrv.ini");
  EXPECT_EQ(Messages::LoadMessage(ini, "WMessage"), (Lines{"a", "b", "verif|", "d"}));
  EXPECT_EQ(Messages::LoadMessage(ini, "TooManyUsersMessage"), (Lines{"a", "b"}));
  // Stored lines whose text equals a marker are kept.
  EXPECT_EQ(Messages::LoadMessage(ini, "Markers"), (Lines{"x", "verif|", "verif2|"}));
}

}  // namespace
}  // namespace orvane
