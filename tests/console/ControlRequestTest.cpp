#include <gtest/gtest.h>

#include "console/ControlRequest.h"

namespace orvane {
namespace {

using Words = std::vector<std::string>;

// The words as the tool joined them: runs of blanks separate, "--json" anywhere is the switch,
// and the tool's line reads back as the same request.
TEST(ControlRequest, WordsJsonAndRoundTrip) {
  ControlRequest r = ControlRequest::Parse("  kick\t12  --ban ");
  EXPECT_EQ(r.command, "kick");
  EXPECT_EQ(r.args, (Words{"12", "--ban"}));
  EXPECT_FALSE(r.json);

  r = ControlRequest::Parse("who --json");
  EXPECT_EQ(r.command, "who");
  EXPECT_TRUE(r.args.empty());
  EXPECT_TRUE(r.json);
  EXPECT_EQ(ControlRequest::Parse("--json").command, "");
  EXPECT_EQ(ControlRequest::Parse("").command, "");

  const std::string line = ControlRequest::Line({"ban", "10.0.0.1", "--json"});
  EXPECT_EQ(line, "ban 10.0.0.1 --json\n");
  r = ControlRequest::Parse(line.substr(0, line.size() - 1));
  EXPECT_EQ(r.command, "ban");
  EXPECT_EQ(r.args, Words{"10.0.0.1"});
  EXPECT_TRUE(r.json);
}

}  // namespace
}  // namespace orvane
