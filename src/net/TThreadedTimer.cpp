#include "net/TThreadedTimer.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace orvane {

// State shared between the loop thread and the worker.
struct TThreadedTimer::Worker {
  std::mutex mutex;
  std::condition_variable wake;
  bool running = false;  // resumed (true) or suspended (false)
  bool terminate = false;
  bool tickDone = true;
  int intervalMs = 1000;
};

TThreadedTimer::TThreadedTimer(EventLoop& loop)
    : loop_(loop), token_(loop.NewToken()), worker_(std::make_shared<Worker>()) {
  std::shared_ptr<Worker> worker = worker_;
  EventLoop::Poster post = loop.GetPoster();
  const EventLoop::Token token = token_;
  thread_ = std::thread([this, worker, post, token]() {
    std::unique_lock<std::mutex> lock(worker->mutex);
    for (;;) {
      worker->wake.wait(lock, [&]() { return worker->terminate || worker->running; });
      if (worker->terminate) return;
      const auto until =
          std::chrono::steady_clock::now() + std::chrono::milliseconds(worker->intervalMs);
      worker->wake.wait_until(lock, until, [&]() { return worker->terminate; });
      if (worker->terminate) return;
      if (!worker->running) continue;
      worker->tickDone = false;
      // The tick runs on the loop thread only while the timer lives (its token is alive);
      // `worker` is kept by the task itself so that it can always report completion.
      post(token, [this, worker]() {
        Tick();
        std::lock_guard<std::mutex> done(worker->mutex);
        worker->tickDone = true;
        worker->wake.notify_all();
      });
      worker->wake.wait(lock, [&]() { return worker->terminate || worker->tickDone; });
    }
  });
  Update();
}

TThreadedTimer::~TThreadedTimer() {
  loop_.Release(token_);  // a tick still queued for this timer is dropped
  {
    std::lock_guard<std::mutex> lock(worker_->mutex);
    worker_->terminate = true;
    worker_->running = false;
  }
  worker_->wake.notify_all();
  thread_.join();
}

void TThreadedTimer::Tick() {
  if (Active()) onTimer_(*this);
}

void TThreadedTimer::Update() {
  std::lock_guard<std::mutex> lock(worker_->mutex);
  worker_->running = Active();
  worker_->wake.notify_all();
}

void TThreadedTimer::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  Update();
}

void TThreadedTimer::SetInterval(uint16_t milliseconds) {
  if (milliseconds == interval_) return;
  interval_ = milliseconds;
  {
    std::lock_guard<std::mutex> lock(worker_->mutex);
    worker_->intervalMs = milliseconds;
  }
  Update();
}

void TThreadedTimer::SetThreadPriority(ThreadPriorityLevel value) {
  if (value == priority_) return;
  priority_ = value;
  Update();
}

void TThreadedTimer::SetOnTimer(NotifyEventHook handler) {
  onTimer_ = std::move(handler);
  Update();
}

}  // namespace orvane
