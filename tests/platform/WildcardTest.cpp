#include <gtest/gtest.h>

#include "platform/Wildcard.h"

namespace orvane {
namespace {

TEST(WildcardTest, MatchesLikeWindowsFileMasks) {
  struct Case {
    const char* name;
    const char* mask;
    bool matches;
  };
  const Case cases[] = {
      {"a.txt", "*.TXT", true},
      {"A.TXT", "*.txt", true},
      {"a.txt.bak", "*.txt", false},
      {"noext", "*.*", true},
      {".", "*.*", true},
      {"..", "*", true},
      {".hidden", "*.*", true},
      {"noext", "*.", true},
      {"a.txt", "*.", false},
      {"readme", "readme.*", true},
      {"readme.md", "README.*", true},
      {"ab.txt", "?.txt", false},
      {"a.txt", "?.txt", true},
      {".txt", "?.txt", false},
      {"abc", "a*c", true},
      {"ac", "a*c", true},
      {"abcbc", "a*bc", true},
      {"abcb", "a*bc", false},
      {"file", "file", true},
      {"FILE", "file", true},
      {"files", "file", false},
      {"x", "", false},
      {"a.b.c", "*.c", true},
      {"\xc3\xa9t\xc3\xa9", "\xc3\x89*", false},  // only ASCII letters fold
      {"\xc3\xa9t\xc3\xa9", "\xc3\xa9T*", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchesMask(c.name, c.mask), c.matches) << c.name << " vs " << c.mask;
  }
}

}  // namespace
}  // namespace orvane
