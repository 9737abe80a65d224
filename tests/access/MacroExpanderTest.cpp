#include <gtest/gtest.h>

#include <string>

#include "access/MacroExpander.h"

namespace orvane {
namespace {

TEST(MacroExpander, OrderOccurrencesAndInsertedText) {
  MacroExpander macros;
  macros.Add("%TIMEOUT", "600");
  macros.Add("%TIME", "13:05");
  macros.Add("%USER", "%TIME%USER");  // holds a later macro and its own
  macros.Add("%NONE", "");
  EXPECT_EQ(macros.Expand("%TIMEOUT/%TIME %TIME %time 100% %NONE."),
            "600/13:05 13:05 %time 100% .");
  // Its own macro is not searched again (no loop); %TIME came earlier, so it stays as inserted.
  EXPECT_EQ(macros.Expand("[%USER][%USER]"), "[%TIME%USER][%TIME%USER]");
  EXPECT_EQ(macros.Expand(""), "");
}

TEST(MacroExpander, DeferredValueIsComputedOnceAndOnlyWhenALineHoldsIt) {
  int calls = 0;
  MacroExpander macros;
  macros.AddDeferred("%LOCALIP", [&] {
    ++calls;
    return std::string("192.0.2.7");
  });
  EXPECT_EQ(macros.Expand("no macro here"), "no macro here");
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(macros.Expand("%LOCALIP and %LOCALIP"), "192.0.2.7 and 192.0.2.7");
  EXPECT_EQ(macros.Expand("again %LOCALIP"), "again 192.0.2.7");
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace orvane
