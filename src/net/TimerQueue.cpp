#include "net/TimerQueue.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <tuple>
#include <utility>

namespace orvane {

// State shared between the loop thread and the worker. The tasks stay on the loop thread's
// side (in `tasks`); the worker sees only moments and ids.
struct TimerQueue::Shared {
  std::mutex mutex;
  std::condition_variable wake;
  bool terminate = false;
  // Guarded by mutex: the moments, ids and tokens of the timers not yet posted.
  std::set<std::tuple<Clock::time_point, Id, EventLoop::Token>> due;
  // Loop thread only: the tasks and the keys of their entries in `due`.
  Id nextId = 1;
  std::map<Id, std::function<void()>> tasks;
  std::map<Id, std::tuple<Clock::time_point, Id, EventLoop::Token>> keys;
};

TimerQueue::TimerQueue(EventLoop& loop) : loop_(loop), shared_(std::make_shared<Shared>()) {}

TimerQueue::~TimerQueue() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->terminate = true;
  }
  shared_->wake.notify_all();
  thread_.join();
}

TimerQueue::Id TimerQueue::Schedule(EventLoop::Token token, Clock::time_point when,
                                    std::function<void()> task) {
  const Id id = shared_->nextId++;
  const auto key = std::make_tuple(when, id, token);
  shared_->tasks.emplace(id, std::move(task));
  shared_->keys.emplace(id, key);
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->due.insert(key);
  }
  shared_->wake.notify_all();
  if (!thread_.joinable()) {
    std::shared_ptr<Shared> shared = shared_;
    EventLoop::Poster post = loop_.GetPoster();
    thread_ = std::thread([shared, post]() {
      std::unique_lock<std::mutex> lock(shared->mutex);
      while (!shared->terminate) {
        if (shared->due.empty()) {
          shared->wake.wait(lock);
          continue;
        }
        const auto first = *shared->due.begin();
        if (Clock::now() < std::get<0>(first)) {
          shared->wake.wait_until(lock, std::get<0>(first));
          continue;
        }
        shared->due.erase(shared->due.begin());
        const Id id = std::get<1>(first);
        // Addressed to the owner's token: dropped by the loop when the owner is gone.
        post(std::get<2>(first), [shared, id]() {
          const auto it = shared->tasks.find(id);
          if (it == shared->tasks.end()) return;  // cancelled meanwhile
          std::function<void()> run = std::move(it->second);
          shared->tasks.erase(it);
          shared->keys.erase(id);
          run();
        });
      }
    });
  }
  return id;
}

void TimerQueue::Cancel(Id id) {
  const auto it = shared_->keys.find(id);
  if (it == shared_->keys.end()) return;
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->due.erase(it->second);
  }
  shared_->keys.erase(it);
  shared_->tasks.erase(id);
}

size_t TimerQueue::Pending() const {
  return shared_->tasks.size();
}

}  // namespace orvane
