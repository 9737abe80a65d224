#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "net/EventLoop.h"

namespace orvane {

// A few worker threads for work that must not run on the loop thread because it takes long
// (a password hash). A job runs on a worker and returns its continuation, which is posted to
// the loop addressed to the submitter's token: it runs on the loop thread, and not at all when
// the token has been released meanwhile. A job therefore works on copies only, never on
// objects of the loop thread; the continuation finds its objects again by their identity.
//
// The threads start at the first Submit. The destructor lets the running jobs end, drops the
// queued ones and joins the threads; continuations posted after the loop is gone go nowhere.
class WorkerPool {
 public:
  using Continuation = std::function<void()>;
  using Job = std::function<Continuation()>;

  // threads: at most that many at once. (The workers keep the loop thread's priority: niced
  // below it, the password hashes starved behind a busy loop and logins waited for seconds.)
  WorkerPool(EventLoop& loop, std::size_t threads);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Queues job; its continuation (when not empty) runs on the loop if owner is still alive.
  // Throws std::system_error when no thread can be started.
  void Submit(EventLoop::Token owner, Job job);
  // Jobs queued and not yet taken by a worker.
  std::size_t Queued() const;

 private:
  struct Item {
    EventLoop::Token owner;
    Job job;
  };
  void Work();

  EventLoop::Poster post_;
  const std::size_t threadCount_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Item> queue_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace orvane
