#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/CommandLine.h"

namespace orvane::test {

namespace {

// Parses the words as a command line of the program.
bool Parse(std::vector<std::string> words, CommandLine::Program program, CommandLine& result) {
  words.insert(words.begin(), "orvane-ftpd");
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  return CommandLine::Parse(static_cast<int>(words.size()), argv.data(), program, result);
}

constexpr auto kDaemon = CommandLine::Program::Daemon;
constexpr auto kDesktop = CommandLine::Program::Desktop;

}  // namespace

TEST(CommandLineTest, PortDirHelpAndVersionInAnyOrder) {
  CommandLine args;
  ASSERT_TRUE(Parse({"--dir", "/tmp/x", "2121"}, kDaemon, args));
  EXPECT_EQ(args.port, "2121");
  EXPECT_EQ(args.dir, "/tmp/x/");
  EXPECT_TRUE(args.dirGiven);
  ASSERT_TRUE(Parse({"65535", "--dir=/srv/"}, kDaemon, args));
  EXPECT_EQ(args.port, "65535");
  EXPECT_EQ(args.dir, "/srv/");
  ASSERT_TRUE(Parse({"-h"}, kDaemon, args));
  EXPECT_TRUE(args.help);
  ASSERT_TRUE(Parse({"--version"}, kDesktop, args));
  EXPECT_TRUE(args.version);
  ASSERT_TRUE(Parse({"-V"}, kDaemon, args));
  EXPECT_TRUE(args.version);
  ASSERT_TRUE(Parse({"--pidfile", "/run/x.pid"}, kDaemon, args));
  EXPECT_EQ(args.pidFile, "/run/x.pid");
  ASSERT_TRUE(Parse({}, kDaemon, args));
  EXPECT_FALSE(args.port);
  EXPECT_FALSE(args.dirGiven);
}

// Each refusal says why; the caller exits with 2.
TEST(CommandLineTest, RefusalsNameTheirReason) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"0"}, "the port 0 is not a number from 1 to 65535"},
      {{"99999"}, "the port 99999 is not a number from 1 to 65535"},
      {{"abc"}, "the port abc is not a number from 1 to 65535"},
      {{"21", "22"}, "unexpected argument 22"},
      {{"--dir"}, "option --dir needs a value"},
      {{"--bogus"}, "unknown option --bogus"},
      {{"-x"}, "unknown option -x"},
      {{"-style", "fusion"}, "unknown option -s"},  // the daemon takes no Qt options
  };
  for (const auto& [words, error] : cases) {
    CommandLine args;
    EXPECT_FALSE(Parse(words, kDaemon, args)) << words[0];
    EXPECT_EQ(args.error, error);
  }
  CommandLine args;
  EXPECT_FALSE(Parse({"--pidfile", "x"}, kDesktop, args));
  EXPECT_EQ(args.error, "--pidfile is an option of orvane-ftpd");
}

// The desktop program leaves Qt's own options to Qt, with their values.
TEST(CommandLineTest, DesktopPassesQtOptionsOver) {
  CommandLine args;
  ASSERT_TRUE(Parse({"-style", "fusion", "2121", "-platform", "offscreen", "-reverse",
                     "-stylesheet=a.qss", "--dir", "/d"},
                    kDesktop, args));
  EXPECT_EQ(args.port, "2121");
  EXPECT_EQ(args.dir, "/d/");
  EXPECT_EQ(args.toolkitPlatform, "offscreen");
  EXPECT_FALSE(Parse({"-platform"}, kDesktop, args));
  EXPECT_EQ(args.error, "option -platform needs a value");
}

}  // namespace orvane::test
