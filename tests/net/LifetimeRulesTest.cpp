#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "NetTestSupport.h"
#include "net/EventLoop.h"
#include "net/TWSocket.h"

namespace orvane {
namespace {

using test::LoopbackTest;
using namespace std::chrono_literals;

using LifetimeRulesTest = LoopbackTest;

// A data handler that hands the connection to its next stage by assigning a new handler, then
// goes on using what it captured: the closure must outlive the assignment.
TEST_F(LifetimeRulesTest, AHandlerThatReplacesItselfKeepsRunning) {
  TWSocket conn(loop_);
  std::string log;
  const std::string stage = "first stage, long enough to live on the heap: " + std::string(64, 'x');
  conn.OnDataAvailable = [&log, stage](TCustomWSocket& s, uint16_t) {
    test::ReceiveInto(s, log);
    s.OnDataAvailable = [&log](TCustomWSocket& next, uint16_t) { test::ReceiveInto(next, log); };
    log += "|" + stage;  // reads the capture after the assignment above
  };
  UniqueFd peer = Adopt(conn);
  ASSERT_TRUE(test::WriteAll(peer.Get(), "one"));
  ASSERT_TRUE(loop_.RunUntil([&] { return log.find(stage) != std::string::npos; }, 2s));
  ASSERT_TRUE(test::WriteAll(peer.Get(), "two"));
  ASSERT_TRUE(loop_.RunUntil([&] { return log == "one|" + stage + "two"; }, 2s));
}

// An exception from a data handler ends that delivery like any other handler's failure: it is
// reported through the loop, and the rest of the report (here the peer's close) still runs.
TEST_F(LifetimeRulesTest, AnExceptionFromADataHandlerIsReportedAndTheCloseStillArrives) {
  std::vector<std::string> reported;
  loop_.OnUnhandledException = [&](const std::exception& e) { reported.push_back(e.what()); };
  TWSocket conn(loop_);
  int closed = 0;
  conn.OnDataAvailable = [](TCustomWSocket& s, uint16_t) {
    std::string got;
    test::ReceiveInto(s, got);
    if (!got.empty()) throw std::runtime_error("handler failed on: " + got);
  };
  conn.OnSessionClosed = [&](TCustomWSocket&, uint16_t) { ++closed; };
  UniqueFd peer = Adopt(conn);
  ASSERT_TRUE(test::WriteAll(peer.Get(), "boom"));
  ASSERT_TRUE(loop_.RunUntil([&] { return !reported.empty(); }, 2s));
  EXPECT_EQ(reported, (std::vector<std::string>{"handler failed on: boom"}));
  peer.Reset();
  EXPECT_TRUE(loop_.RunUntil([&] { return closed == 1; }, 2s));
}

// The two lifetime rules are asserted: where they are broken the program stops at the broken
// rule instead of using freed memory later.
TEST(LifetimeRulesDeathTest, ASocketFreedInsideItsOwnHandler) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        EventLoop loop;
        TWSocket listener(loop);
        listener.SetAddr("127.0.0.1");
        listener.SetPort("0");
        listener.Listen();
        auto conn = std::make_unique<TWSocket>(loop);
        conn->OnDataAvailable = [&conn](TCustomWSocket&, uint16_t) { conn.reset(); };
        listener.OnSessionAvailable = [&](TCustomWSocket& l, uint16_t) { conn->Dup(l.Accept()); };
        UniqueFd peer = test::ConnectPlain(std::stoi(listener.GetXPort()));
        test::WriteAll(peer.Get(), "x");
        loop.RunUntil([&] { return conn == nullptr; }, 2s);
      },
      "socket destroyed inside its own event handler");
}

TEST(LifetimeRulesDeathTest, ALoopDestroyedBeforeItsSockets) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        auto loop = std::make_unique<EventLoop>();
        TWSocket socket(*loop);
        loop.reset();
      },
      "EventLoop destroyed with registrations left");
}

}  // namespace
}  // namespace orvane
