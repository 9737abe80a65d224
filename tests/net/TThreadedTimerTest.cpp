#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <memory>
#include <thread>

#include "net/EventLoop.h"
#include "net/TThreadedTimer.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Waits (bounded) until the worker has handed a tick to the loop, without running it.
bool WaitForPostedTick(EventLoop& loop) {
  const auto deadline = Clock::now() + 2s;
  while (!loop.HasPending() && Clock::now() < deadline) {
    pollfd pfd{loop.Fd(), POLLIN, 0};
    ::poll(&pfd, 1, 100);
  }
  return loop.HasPending();
}

void RunFor(EventLoop& loop, std::chrono::milliseconds time) {
  loop.RunUntil([] { return false; }, time);
}

TEST(TThreadedTimerTest, TicksRunOnTheLoopThreadUntilDisabledFromTheHandler) {
  EventLoop loop;
  TThreadedTimer timer(loop);
  const std::thread::id loopThread = std::this_thread::get_id();
  int ticks = 0, offThread = 0, stopAt = 3;
  timer.SetInterval(10);
  timer.SetOnTimer([&](TThreadedTimer& t) {
    if (std::this_thread::get_id() != loopThread) ++offThread;
    if (++ticks == stopAt) t.SetEnabled(false);
  });
  ASSERT_TRUE(loop.RunUntil([&] { return ticks == 3; }, 2s));
  RunFor(loop, 100ms);
  EXPECT_EQ(ticks, 3);  // disabled from inside its handler: no further tick

  stopAt = 5;
  timer.SetEnabled(true);
  ASSERT_TRUE(loop.RunUntil([&] { return ticks == 5; }, 2s));
  RunFor(loop, 100ms);
  EXPECT_EQ(ticks, 5);
  EXPECT_EQ(offThread, 0);
}

TEST(TThreadedTimerTest, ZeroIntervalOrNoHandlerNeverTicks) {
  EventLoop loop;
  TThreadedTimer timer(loop);
  int ticks = 0;
  timer.SetInterval(0);
  timer.SetOnTimer([&](TThreadedTimer&) { ++ticks; });
  RunFor(loop, 150ms);
  EXPECT_EQ(ticks, 0);

  // With no handler the worker stays asleep: the loop is never woken by a tick.
  timer.SetOnTimer(nullptr);
  timer.SetInterval(10);
  const auto start = Clock::now();
  loop.ProcessReady(150);
  EXPECT_GE(Clock::now() - start, 120ms);
  EXPECT_FALSE(loop.HasPending());
}

TEST(TThreadedTimerTest, DisablingOrDestroyingWithATickPendingIsSafe) {
  EventLoop loop;
  int ticks = 0;
  auto timer = std::make_unique<TThreadedTimer>(loop);
  timer->SetInterval(10);
  timer->SetOnTimer([&](TThreadedTimer&) { ++ticks; });

  ASSERT_TRUE(WaitForPostedTick(loop));
  timer->SetEnabled(false);
  RunFor(loop, 100ms);
  EXPECT_EQ(ticks, 0);

  timer->SetEnabled(true);
  ASSERT_TRUE(WaitForPostedTick(loop));
  timer.reset();  // the worker waits for a tick that will never run: must not deadlock
  RunFor(loop, 100ms);
  EXPECT_EQ(ticks, 0);
}

}  // namespace
}  // namespace orvane
