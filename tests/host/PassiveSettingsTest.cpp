#include <gtest/gtest.h>

#include "ftp/TFtpServer.h"
#include "host/PassiveSettings.h"
#include "net/EventLoop.h"
#include "platform/IniFile.h"
#include "platform/TempDir.h"

namespace orvane {
namespace {

TEST(PassiveSettings, CheckNamesWhatIsWrong) {
  PassiveSettings s;
  EXPECT_EQ(s.Check(), "");  // both empty: any port, the local address
  for (const char* good : {"50000-50100", " 50000 - 50100 ", "2121", "1024-65535"}) {
    s.Ports = good;
    EXPECT_EQ(s.Check(), "") << good;
  }
  for (const char* bad : {"abc", "50100-50000", "80-90", "50000-70000", "50000-", "-1", "1-2-3"}) {
    s.Ports = bad;
    const std::string message = s.Check();
    EXPECT_NE(message.find("is not a port range"), std::string::npos) << bad;
    EXPECT_NE(message.find("1024 to 65535"), std::string::npos) << bad;
  }
  s.Ports = "";
  for (const char* good : {"203.0.113.7", "ftp.example.org", "my-home.dyndns.org.", "nas"}) {
    s.Address = good;
    EXPECT_EQ(s.Check(), "") << good;
  }
  for (const char* bad :
       {"300.1.1.1", "10.1", "::1", "a b", "-x.org", "x..org", "x_y.org", "http://x.org"}) {
    s.Address = bad;
    EXPECT_NE(s.Check().find("is neither an IPv4 address nor a host name"), std::string::npos)
        << bad;
  }
  EXPECT_FALSE(PassiveSettings::IsAddressOrDnsName(std::string(64, 'a') + ".org"));
  EXPECT_TRUE(PassiveSettings::IsAddressOrDnsName(std::string(63, 'a') + ".org"));
}

TEST(PassiveSettings, StoredTrimmedAndGivenToTheEngine) {
  test::TempDir dir;
  IniFile ini(dir / "FTPsrv.ini");
  PassiveSettings s;
  s.Ports = " 50000-50100 ";
  s.Address = " 203.0.113.7";
  ASSERT_TRUE(s.Store(ini));
  EXPECT_EQ(ini.ReadString("passive", "PORTS", "-"), "50000-50100");
  EXPECT_EQ(ini.ReadString("Passive", "address", "-"), "203.0.113.7");

  EventLoop loop;
  TFtpServer server(loop);
  PassiveSettings loaded;
  loaded.Load(IniFile(dir / "FTPsrv.ini"));
  loaded.ApplyTo(server);
  EXPECT_EQ(server.PassivePortRange.Text(), "50000-50100");
  EXPECT_EQ(server.PassivePortRange.Next(), 50000);
  EXPECT_EQ(server.ExternalAddress.Text(), "203.0.113.7");

  // A range the file holds but that cannot be read gives the ports back to the system.
  test::WriteBytes(dir / "FTPsrv.ini", "[Passive]\r\nports=70000-80000\r\n");
  loaded.Load(IniFile(dir / "FTPsrv.ini"));
  EXPECT_EQ(loaded.Ports, "70000-80000");
  loaded.ApplyTo(server);
  EXPECT_TRUE(server.PassivePortRange.Any());
  EXPECT_EQ(server.ExternalAddress.Text(), "");
}

}  // namespace
}  // namespace orvane
