#include <gtest/gtest.h>

#include <string>

#include "EngineTestSupport.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;
using SessionLifetimeDeathTest = test::EngineTest;

// A host that frees the engine, and with it the session, from inside that session's command
// hook breaks the rule that sessions are freed from a posted task: the engine would go on
// using the session when the hook returns. The socket's destructor stops it there.
TEST_F(SessionLifetimeDeathTest, ASessionFreedInsideItsOwnCommand) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        server_->OnClientCommand = [this](TFtpServer&, TFtpCtrlSocket&, std::string&, std::string&,
                                          std::string&) { server_.reset(); };
        auto client = Connect();
        client->Send("NOOP\r\n");
        loop_.RunUntil([&] { return server_ == nullptr; }, 2s);
      },
      "socket destroyed inside its own event handler");
}

}  // namespace
}  // namespace orvane
