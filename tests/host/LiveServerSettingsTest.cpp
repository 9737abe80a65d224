#include <gtest/gtest.h>
#include <sys/stat.h>

#include "host/LiveServerSettings.h"
#include "platform/IniFile.h"
#include "platform/TempDir.h"

namespace orvane {
namespace {

TEST(LiveServerSettings, LoadDefaultsAndBadValues) {
  test::TempDir dir;
  const std::string path = dir / "FTPsrv.ini";
  LiveServerSettings setup;
  setup.LaunchWithSystem = true;
  EXPECT_EQ(setup.Load(IniFile(path)), 2);
  EXPECT_EQ(setup.Port, "21");
  EXPECT_EQ(setup.MaxUsr, "2");
  EXPECT_FALSE(setup.Minimize || setup.AutoLaunch || setup.SameIpConnection);
  EXPECT_TRUE(setup.LaunchWithSystem);  // the autostart entry is not in the file

  test::WriteBytes(path,
                   "[serverFTP]\r\nport=abc\r\nmaxusr=x7\r\nminimize=1\r\ndemarrageauto=2\r\n");
  EXPECT_EQ(setup.Load(IniFile(path)), 2);
  EXPECT_EQ(setup.Port, "21");
  EXPECT_EQ(setup.MaxUsr, "2");
  EXPECT_TRUE(setup.Minimize && setup.AutoLaunch);

  test::WriteBytes(path, "[ServerFTP]\r\nport=123456\r\nmaxusr=0\r\n");
  EXPECT_EQ(setup.Load(IniFile(path)), 0);
  EXPECT_EQ(setup.Port, "12345");
}

TEST(LiveServerSettings, OkWritesKeysAndReadsThemBack) {
  test::TempDir dir;
  IniFile ini(dir / "FTPsrv.ini");
  LiveServerSettings setup;
  setup.Port = "";
  setup.MaxUsr = "5";
  setup.SameIpConnection = true;
  LiveServerSettings::OkResult result = setup.StoreOk(ini, 2);
  EXPECT_FALSE(setup.StoreFailed());
  EXPECT_TRUE(result.maxClients == 5 && result.maxClientsChanged);
  EXPECT_EQ(ini.ReadString("ServerFTP", "port", ""), "21");
  EXPECT_TRUE(ini.ReadBool("ServerFTP", "sameipconnection", false));

  setup.Port = "ab";  // stored as typed, shown as 21 from now on
  EXPECT_FALSE(setup.StoreOk(ini, 5).maxClientsChanged);
  EXPECT_EQ(ini.ReadString("ServerFTP", "port", ""), "ab");
  EXPECT_EQ(setup.Port, "21");

  setup.Port = "2121";
  setup.MaxUsr = "lots";  // falls back to the MaxClients in effect, which is written
  result = setup.StoreOk(ini, 5);
  EXPECT_TRUE(result.maxClients == 5 && !result.maxClientsChanged);
  EXPECT_EQ(setup.MaxUsr, "5");
  EXPECT_EQ(ini.ReadString("ServerFTP", "maxusr", ""), "5");

  setup.Port = "9";
  setup.Minimize = true;
  setup.Reload(ini);  // Cancel
  EXPECT_EQ(setup.Port, "2121");
  EXPECT_FALSE(setup.Minimize);

  ASSERT_EQ(::chmod(ini.Path().c_str(), 0444), 0);
  setup.Port = "80";
  setup.StoreOk(ini, 5);
  EXPECT_TRUE(setup.StoreFailed());
  EXPECT_EQ(setup.Port, "2121");
}

}  // namespace
}  // namespace orvane
