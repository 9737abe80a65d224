#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "net/EventLoop.h"
#include "net/TimerQueue.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;

// Timers run on the loop thread in the order of their moments, not of their scheduling; a
// cancelled timer and one whose owner is gone never run.
TEST(TimerQueueTest, RunsDueTasksInOrderAndDropsCancelledOnesAndThoseOfGoneOwners) {
  EventLoop loop;
  std::vector<int> ran;
  {
    TimerQueue timers(loop);
    const EventLoop::Token owner = loop.NewToken();
    const EventLoop::Token gone = loop.NewToken();
    const auto now = TimerQueue::Clock::now();
    timers.Schedule(owner, now + 60ms, [&] { ran.push_back(3); });
    timers.Schedule(owner, now + 20ms, [&] { ran.push_back(1); });
    const TimerQueue::Id cancelled = timers.Schedule(owner, now + 30ms, [&] { ran.push_back(9); });
    timers.Schedule(gone, now + 40ms, [&] { ran.push_back(8); });
    timers.Schedule(owner, now - 1s, [&] { ran.push_back(0); });  // already due
    timers.Cancel(cancelled);
    timers.Cancel(cancelled);  // twice is harmless
    loop.Release(gone);
    EXPECT_EQ(timers.Pending(), 4u);
    const auto start = TimerQueue::Clock::now();
    ASSERT_TRUE(loop.RunUntil([&] { return ran.size() == 3; }, 5s));
    EXPECT_GE(TimerQueue::Clock::now() - start, 55ms);  // none runs before its moment
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 3}));
    loop.Release(owner);
    // A timer left when the queue goes is dropped with it.
    const EventLoop::Token late = loop.NewToken();
    timers.Schedule(late, TimerQueue::Clock::now() + 1h, [&] { ran.push_back(7); });
    loop.Release(late);
  }
  loop.ProcessReady(0);
  EXPECT_EQ(ran.size(), 3u);
}

}  // namespace
}  // namespace orvane
