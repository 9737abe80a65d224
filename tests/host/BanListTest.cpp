#include <gtest/gtest.h>

#include "host/BanList.h"

namespace orvane {
namespace {

using Lines = std::vector<std::string>;

TEST(BanList, SortedUniqueIgnoringCase) {
  BanList bans;
  bans.Add("10.0.0.5");
  bans.Add("Host.example");
  bans.Add("10.0.0.5");
  bans.Add("HOST.EXAMPLE");
  bans.Add("10.0.0.5 ");  // a different text, which never matches an address
  bans.Add("abc");
  bans.Add("1.2.3.4");
  EXPECT_EQ(bans.Items(), (Lines{"1.2.3.4", "10.0.0.5", "10.0.0.5 ", "abc", "Host.example"}));
  EXPECT_TRUE(bans.Contains("host.EXAMPLE"));
  EXPECT_TRUE(bans.Contains("10.0.0.5"));
  EXPECT_FALSE(bans.Contains("10.0.0"));
  EXPECT_FALSE(bans.Contains("10.0.0.50"));
}

TEST(BanList, DeleteByPosition) {
  BanList bans;
  bans.Add("b");
  bans.Add("a");
  bans.Delete(-1);
  bans.Delete(2);
  EXPECT_EQ(bans.Items().size(), 2u);
  bans.Delete(0);
  EXPECT_EQ(bans.Items(), Lines{"b"});
  EXPECT_FALSE(bans.Contains("a"));
  bans.Delete(0);
  EXPECT_TRUE(bans.Items().empty());
}

}  // namespace
}  // namespace orvane
