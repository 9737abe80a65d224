#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "net/EventLoop.h"

namespace orvane {

// One-shot timers for the loop thread: a task scheduled for a moment of the steady clock is
// posted to the loop when that moment comes, addressed to a token, so that a task for an owner
// that is gone is dropped. One worker thread sleeps until the earliest moment; it starts with the
// first timer, so a queue that is never used costs no thread. Nothing is polled: with no timer
// due the worker sleeps until one is scheduled.
//
// Schedule and Cancel run on the loop thread; the tasks run there too.
class TimerQueue {
 public:
  using Clock = std::chrono::steady_clock;
  using Id = uint64_t;

  explicit TimerQueue(EventLoop& loop);
  ~TimerQueue();
  TimerQueue(const TimerQueue&) = delete;
  TimerQueue& operator=(const TimerQueue&) = delete;

  // Runs task on the loop thread at `when` (at once when it has passed), if token is still alive
  // then and the timer has not been cancelled. Returns the timer's id (never 0).
  Id Schedule(EventLoop::Token token, Clock::time_point when, std::function<void()> task);
  // A timer not yet run is dropped; an id that ran or is unknown is ignored.
  void Cancel(Id id);
  // Timers scheduled and neither run nor cancelled (tests).
  size_t Pending() const;

 private:
  struct Shared;

  EventLoop& loop_;
  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

}  // namespace orvane
