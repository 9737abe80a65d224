#include <gtest/gtest.h>

#include "host/Statistics.h"
#include "platform/IniFile.h"
#include "platform/TempDir.h"

namespace orvane {
namespace {

TEST(Statistics, FreshFileShowsZeros) {
  test::TempDir dir;
  Statistics stats;
  stats.Load(IniFile(dir / "FTPsrv.ini"));
  using Labels = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(stats.Labels(), (Labels{{"Total uploaded by clients :", "0 Kb"},
                                    {"Total downloaded by clients :", "0 Kb"},
                                    {"Max connections at the same time : ", "0"},
                                    {"Connections since startup :", "0"},
                                    {"Connections accepted :", "0"},
                                    {"Connections refused :", "0"},
                                    {"Anonymous connections :", "0"}}));
}

TEST(Statistics, CountersRoundTripPastTwoGigabytes) {
  test::TempDir dir;
  IniFile ini(dir / "FTPsrv.ini");
  Statistics stats;
  stats.ConnectionsRF = 7;
  stats.Dl = 5'000'000'123LL;
  stats.Upl = 2'147'483'648LL;
  ASSERT_TRUE(stats.Save(ini));
  EXPECT_EQ(ini.Keys("Stats"),
            (std::vector<std::string>{"maxconnections", "connections", "connectionsA",
                                      "connectionsAC", "connectionsRF", "dl", "Upl"}));
  Statistics loaded;
  loaded.Load(IniFile(dir / "FTPsrv.ini"));
  EXPECT_EQ(loaded.Dl, 5'000'000'123LL);
  EXPECT_EQ(loaded.ConnectionsRF, 7);
  EXPECT_EQ(loaded.Labels()[0].second, "2147483 Kb");
  EXPECT_EQ(loaded.Labels()[5].second, "7");
}

TEST(Statistics, ThroughputText) {
  EXPECT_EQ(Statistics::ThroughputText(0), "0 bytes/s");
  EXPECT_EQ(Statistics::ThroughputText(9999), "9999 bytes/s");
  EXPECT_EQ(Statistics::ThroughputText(10000), "10 Kb/s");
  Statistics stats;
  stats.Throughput = 12345;
  EXPECT_EQ(stats.TakeThroughputText(), "12 Kb/s");
  EXPECT_EQ(stats.TakeThroughputText(), "0 bytes/s");
}

}  // namespace
}  // namespace orvane
