#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "net/EventLoop.h"
#include "net/LocalAddressCache.h"
#include "net/TSockets.h"
#include "net/WorkerPool.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;

// Jobs run off the loop thread, several at once; their continuations run on the loop thread,
// and one whose owner was released meanwhile does not run at all.
TEST(WorkerPoolTest, JobsRunOnWorkersAndAnswersOnTheLoopUnlessTheOwnerIsGone) {
  EventLoop loop;
  const EventLoop::Token owner = loop.NewToken();
  const EventLoop::Token gone = loop.NewToken();
  const std::thread::id loopThread = std::this_thread::get_id();
  std::set<std::thread::id> workers;
  std::atomic<int> running{0};
  std::atomic<int> mostAtOnce{0};
  int answers = 0;
  bool goneAnswered = false;
  {
    WorkerPool pool(loop, 2);
    for (int i = 0; i < 4; ++i) {
      pool.Submit(owner, [&]() -> WorkerPool::Continuation {
        const int now = ++running;
        for (int seen = mostAtOnce; now > seen && !mostAtOnce.compare_exchange_weak(seen, now);) {
        }
        std::this_thread::sleep_for(50ms);
        --running;
        const std::thread::id self = std::this_thread::get_id();
        return [&, self]() {
          EXPECT_EQ(std::this_thread::get_id(), loopThread);
          workers.insert(self);
          ++answers;
        };
      });
    }
    std::atomic<bool> release{false};
    pool.Submit(gone, [&]() -> WorkerPool::Continuation {
      while (!release) std::this_thread::sleep_for(1ms);
      return [&]() { goneAnswered = true; };
    });
    loop.Release(gone);
    release = true;
    EXPECT_TRUE(loop.RunUntil([&] { return answers == 4; }, 5s));
    loop.RunUntil([] { return false; }, 100ms);
  }
  EXPECT_FALSE(goneAnswered);
  EXPECT_EQ(mostAtOnce.load(), 2);
  EXPECT_FALSE(workers.count(loopThread));
  loop.Release(owner);
}

// The destructor drops the jobs not yet started and waits for the running one.
TEST(WorkerPoolTest, DestructionDropsQueuedJobsAndJoinsTheRunningOne) {
  EventLoop loop;
  const EventLoop::Token owner = loop.NewToken();
  std::atomic<bool> started{false};
  std::atomic<int> ran{0};
  {
    WorkerPool pool(loop, 1);
    pool.Submit(owner, [&]() -> WorkerPool::Continuation {
      started = true;
      std::this_thread::sleep_for(50ms);
      ++ran;
      return nullptr;
    });
    for (int i = 0; i < 5; ++i) {
      pool.Submit(owner, [&]() -> WorkerPool::Continuation {
        ++ran;
        return nullptr;
      });
    }
    while (!started) std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(ran.load(), 1);
  loop.Release(owner);
}

// %LOCALIP from the cache: nothing before the first answer, then the resolver's answer, the
// same one the blocking call gives, without a lookup on the asking thread.
TEST(LocalAddressCacheTest, AnswersFromTheLastBackgroundLookup) {
  EventLoop loop;
  LocalAddressCache cache(loop);
  EXPECT_FALSE(cache.HasAnswer());
  EXPECT_EQ(cache.Text(), "0.0.0.0");  // and a lookup starts
  ASSERT_TRUE(loop.RunUntil([&] { return cache.HasAnswer(); }, 10s));
  EXPECT_EQ(cache.Text(), TSockets().LocalIPAddr());
}

}  // namespace
}  // namespace orvane
