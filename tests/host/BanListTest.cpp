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

// IPv6 entries match the address however it was typed, and a mapped entry bans the IPv4
// client that a dual-stack listener shows dotted.
TEST(BanList, NumericAddressesMatchInAnyForm) {
  BanList bans;
  bans.Add("2001:DB8:0:0::5");
  bans.Add("::ffff:10.0.0.7");
  bans.Add("2001:db8::5");  // the same address: not listed twice
  EXPECT_EQ(bans.Items(), (Lines{"2001:DB8:0:0::5", "::ffff:10.0.0.7"}));
  EXPECT_TRUE(bans.Contains("2001:db8::5"));
  EXPECT_TRUE(bans.Contains("10.0.0.7"));
  EXPECT_FALSE(bans.Contains("2001:db8::50"));
  EXPECT_FALSE(bans.Contains("::1"));
  bans.Add("0:0:0:0:0:0:0:1");
  EXPECT_TRUE(bans.Contains("::1"));
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
