#include "net/WorkerPool.h"

#include <exception>

namespace orvane {

WorkerPool::WorkerPool(EventLoop& loop, std::size_t threads)
    : post_(loop.GetPoster()), threadCount_(threads == 0 ? 1 : threads) {}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    queue_.clear();
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void WorkerPool::Submit(EventLoop::Token owner, Job job) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (threads_.size() < threadCount_) {
      // The threads start with the first jobs, up to the pool's size.
      threads_.emplace_back([this]() { Work(); });
    }
    queue_.push_back(Item{owner, std::move(job)});
  }
  wake_.notify_one();
}

std::size_t WorkerPool::Queued() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queue_.size();
}

void WorkerPool::Work() {
  for (;;) {
    Item item;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this]() { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      item = std::move(queue_.front());
      queue_.pop_front();
    }
    Continuation done;
    try {
      done = item.job();
    } catch (const std::exception&) {
      // A job reports its own failures through its continuation; one that throws has none.
    }
    if (done) post_(item.owner, std::move(done));
  }
}

}  // namespace orvane
