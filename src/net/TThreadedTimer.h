#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "net/EventLoop.h"

namespace orvane {

enum ThreadPriorityLevel {
  tpIdle,
  tpLowest,
  tpLower,
  tpNormal,
  tpHigher,
  tpHighest,
  tpTimeCritical
};

// A periodic timer whose worker thread sleeps, hands the tick to the loop thread and waits until
// it has run there. Ticks never overlap and never queue up: a slow handler stretches the period.
// The handler and every property change run on the loop thread.
//
// The worker is suspended unless Interval is not 0, Enabled is set and a handler is assigned.
// Destroying or disabling the timer while a tick is on its way is safe: a tick that arrives for
// a timer that is gone is dropped, and one for a timer that is no longer active does nothing.
class TThreadedTimer {
 public:
  using NotifyEventHook = std::function<void(TThreadedTimer& sender)>;

  explicit TThreadedTimer(EventLoop& loop);
  ~TThreadedTimer();
  TThreadedTimer(const TThreadedTimer&) = delete;
  TThreadedTimer& operator=(const TThreadedTimer&) = delete;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  uint16_t Interval() const { return interval_; }
  void SetInterval(uint16_t milliseconds);
  ThreadPriorityLevel ThreadPriority() const { return priority_; }
  // Stored only: an unprivileged process cannot raise thread priorities on Linux, and the tick
  // runs on the loop thread anyway.
  void SetThreadPriority(ThreadPriorityLevel value);
  const NotifyEventHook& OnTimer() const { return onTimer_; }
  void SetOnTimer(NotifyEventHook handler);

 private:
  struct Worker;

  void Update();
  bool Active() const { return enabled_ && interval_ != 0 && onTimer_; }
  void Tick();

  EventLoop& loop_;
  EventLoop::Token token_;
  bool enabled_ = true;
  uint16_t interval_ = 1000;
  ThreadPriorityLevel priority_ = tpNormal;
  NotifyEventHook onTimer_;
  std::shared_ptr<Worker> worker_;
  std::thread thread_;
};

}  // namespace orvane
