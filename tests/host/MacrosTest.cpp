#include <gtest/gtest.h>

#include "host/Macros.h"

namespace orvane {
namespace {

MacroValues Values() {
  MacroValues values;
  values.ip = "192.168.1.2";
  values.time = "14:05:09";
  values.date = "2026-12-09";
  values.numbr = 1;
  return values;
}

TEST(Macros, GreetingExampleAndOrder) {
  EXPECT_EQ(ExpandMacros("Hello %IP", Values(), true), "Hello 192.168.1.2");
  EXPECT_EQ(ExpandMacros("You are user %NUMBR %RATIO", Values(), true), "You are user 1 0/0");

  MacroValues values = Values();
  values.numbr = 12;
  values.xupl = 3;
  values.xdl = 4'000'000'000LL;
  EXPECT_EQ(ExpandMacros("%IP/%IP %TIME %DATE %NUMBR%NUMBR %ip %X 100% %RATIO", values, true),
            "192.168.1.2/192.168.1.2 14:05:09 2026-12-09 1212 %ip %X 100% 3/4000000000");
  EXPECT_EQ(ExpandMacros("%RATIO at %TIME", values, false), "%RATIO at 14:05:09");
  values.ip = "%IP%IP";   // values holding macro text neither loop nor grow
  values.time = "%DATE";  // but a later macro in an earlier value is expanded, as the order says
  EXPECT_EQ(ExpandMacros("<%IP> %TIME", values, false), "<%IP%IP> 2026-12-09");
}

TEST(Macros, LocalAddressLookedUpOnlyWhenUsed) {
  MacroValues values = Values();
  int lookups = 0;
  values.localIp = [&] {
    ++lookups;
    return std::string("10.1.1.1");
  };
  EXPECT_EQ(ExpandMacros("%IP", values, true), "192.168.1.2");
  EXPECT_EQ(lookups, 0);
  EXPECT_EQ(ExpandMacros("%LOCALIP and %LOCALIP", values, true), "10.1.1.1 and 10.1.1.1");
  EXPECT_EQ(lookups, 1);
  values.localIp = nullptr;
  EXPECT_EQ(ExpandMacros("%LOCALIP", values, true), "0.0.0.0");

  // One message, one lookup: the lines of a greeting share the expander.
  values.localIp = [&] {
    ++lookups;
    return std::string("10.1.1.1");
  };
  MacroExpander greeting = GreetingMacros(values, true);
  EXPECT_EQ(greeting.Expand("Welcome"), "Welcome");
  EXPECT_EQ(lookups, 1);
  EXPECT_EQ(greeting.Expand("server %LOCALIP"), "server 10.1.1.1");
  EXPECT_EQ(greeting.Expand("%LOCALIP again"), "10.1.1.1 again");
  EXPECT_EQ(lookups, 2);
}

}  // namespace
}  // namespace orvane
