#include "net/EventLoop.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <array>
#include <cassert>
#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace orvane {

struct EventLoop::Posted {
  Token token = 0;  // 0 = unconditional
  std::function<void()> task;
};

// The posted-task queue, shared with other threads. It owns the wake-up eventfd; lookup and
// timer threads hold it by shared_ptr, so a post that arrives after the loop is gone is harmless.
class EventLoop::Inbox {
 public:
  Inbox() : wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (wakeFd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  }
  ~Inbox() { ::close(wakeFd_); }
  int WakeFd() const { return wakeFd_; }

  // wake = false when the loop thread itself posts while it processes: the loop runs the task
  // before it waits again, so no wake-up write is needed (a download posts one per chunk).
  void Push(Posted posted, bool wake) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(posted));
    if (wake) Wake();
  }
  void Wake() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
  }
  void Drain() {
    uint64_t value;
    [[maybe_unused]] ssize_t n = ::read(wakeFd_, &value, sizeof value);
  }
  std::deque<Posted> TakeAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::deque<Posted> out;
    out.swap(queue_);
    return out;
  }
  bool Empty() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return queue_.empty();
  }

 private:
  int wakeFd_;
  mutable std::mutex mutex_;
  std::deque<Posted> queue_;
};

EventLoop::EventLoop() : inbox_(std::make_shared<Inbox>()) {
  epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
  if (epollFd_ < 0) throw std::system_error(errno, std::generic_category(), "epoll_create1");
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.u64 = 0;  // token 0 is the wake-up descriptor
  if (::epoll_ctl(epollFd_, EPOLL_CTL_ADD, inbox_->WakeFd(), &ev) != 0) {
    ::close(epollFd_);
    throw std::system_error(errno, std::generic_category(), "epoll_ctl");
  }
}

EventLoop::~EventLoop() {
  // Every socket, server and timer releases its tokens before the loop goes: one that outlives
  // the loop would release them later into freed memory.
  assert(registrations_.empty() && "EventLoop destroyed with registrations left");
  ::close(epollFd_);
}

EventLoop::Token EventLoop::NewToken() {
  const Token token = nextToken_++;
  registrations_.emplace(token, Registration{});
  return token;
}

EventLoop::Token EventLoop::AddFd(int fd, uint32_t epollEvents, ReadyHandler handler) {
  const Token token = nextToken_++;
  Registration& reg = registrations_[token];
  reg.fd = fd;
  reg.handler = std::move(handler);
  ApplyInterest(token, reg, epollEvents);
  return token;
}

// epoll_event carries the token, not a pointer or the descriptor: a stale event finds nothing.
void EventLoop::ApplyInterest(Token token, Registration& reg, uint32_t events) {
  if (reg.fd < 0) return;
  reg.events = events;
  reg.wanted = events;
  epoll_event ev{};
  ev.events = events;
  ev.data.u64 = token;
  if (events == 0) {
    if (reg.inEpoll) ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, reg.fd, &ev);
    reg.inEpoll = false;
  } else if (reg.inEpoll) {
    ::epoll_ctl(epollFd_, EPOLL_CTL_MOD, reg.fd, &ev);
  } else if (ProcessingOnThisThread()) {
    // Added at the round's end (AddDueDescriptors): a data connection that is made, used and
    // closed within one round never needs to be in epoll at all.
    if (!reg.addDue) addsDue_.push_back(token);
    reg.addDue = true;
  } else {
    reg.inEpoll = ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, reg.fd, &ev) == 0;
  }
}

void EventLoop::AddDueDescriptors() {
  std::vector<Token> due;
  due.swap(addsDue_);
  for (Token token : due) {
    auto it = registrations_.find(token);
    if (it == registrations_.end() || !it->second.addDue) continue;
    Registration& reg = it->second;
    reg.addDue = false;
    if (reg.inEpoll || reg.events == 0) continue;
    epoll_event ev{};
    ev.events = reg.events;
    ev.data.u64 = token;
    reg.inEpoll = ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, reg.fd, &ev) == 0;
  }
}

void EventLoop::ModifyFd(Token token, uint32_t epollEvents) {
  auto it = registrations_.find(token);
  if (it == registrations_.end()) return;
  Registration& reg = it->second;
  reg.wanted = epollEvents;
  if (reg.inEpoll && reg.events == epollEvents) return;
  const bool narrower = (epollEvents & ~reg.events) == 0;
  const bool lessWrite = (reg.events & ~epollEvents & EPOLLOUT) != 0;
  if (reg.inEpoll && narrower && !lessWrite) return;
  ApplyInterest(token, reg, epollEvents);
}

void EventLoop::Release(Token token) {
  auto it = registrations_.find(token);
  if (it == registrations_.end()) return;
  if (it->second.inEpoll) {
    epoll_event ev{};
    ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, it->second.fd, &ev);
  }
  registrations_.erase(it);
}

bool EventLoop::Alive(Token token) const {
  return registrations_.count(token) != 0;
}

void EventLoop::Post(std::function<void()> task) {
  inbox_->Push(Posted{0, std::move(task)}, !ProcessingOnThisThread());
}

void EventLoop::PostTo(Token token, std::function<void()> task) {
  inbox_->Push(Posted{token, std::move(task)}, !ProcessingOnThisThread());
}

bool EventLoop::ProcessingOnThisThread() const {
  return processing_.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

EventLoop::Poster EventLoop::GetPoster() const {
  std::weak_ptr<Inbox> weak = inbox_;
  return [weak](Token token, std::function<void()> task) {
    if (auto inbox = weak.lock()) inbox->Push(Posted{token, std::move(task)}, true);
  };
}

bool EventLoop::HasPending() const {
  return !inbox_->Empty() || !roundEnd_.empty() || !roundEndFirst_.empty() || !nextRound_.empty();
}

void EventLoop::AtRoundEnd(Token token, std::function<void()> task) {
  roundEnd_.emplace_back(token, std::move(task));
}

void EventLoop::AtRoundEndFirst(Token token, std::function<void()> task) {
  roundEndFirst_.emplace_back(token, std::move(task));
}

void EventLoop::NextRound(Token token, std::function<void()> task) {
  nextRound_.emplace_back(token, std::move(task));
}

void EventLoop::RunNextRoundTasks() {
  if (nextRound_.empty()) return;
  // What these tasks queue for the next round again waits for the round after this one.
  std::vector<std::pair<Token, std::function<void()>>> batch;
  batch.swap(nextRound_);
  for (auto& [token, task] : batch) {
    if (token != 0 && !Alive(token)) continue;
    Guarded(task);
  }
  RunPosted();
}

void EventLoop::RunPosted() {
  // Only the tasks queued so far: a task that posts again runs in the next round, so a
  // self-reposting task cannot starve the descriptors.
  std::deque<Posted> batch = inbox_->TakeAll();
  for (Posted& p : batch) {
    if (p.token != 0 && !Alive(p.token)) continue;
    Guarded(p.task);
  }
}

void EventLoop::RunRoundEnd() {
  // As for posted tasks: what a task queues for the round's end waits for the next round.
  std::vector<std::pair<Token, std::function<void()>>> batch;
  batch.swap(roundEndFirst_);
  batch.insert(batch.end(), std::make_move_iterator(roundEnd_.begin()),
               std::make_move_iterator(roundEnd_.end()));
  roundEnd_.clear();
  for (auto& [token, task] : batch) {
    if (token != 0 && !Alive(token)) continue;
    Guarded(task);
  }
}

void EventLoop::Guarded(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::exception& e) {
    ReportUnhandled(e);
  }
}

void EventLoop::ReportUnhandled(const std::exception& e) {
  if (OnUnhandledException) {
    OnUnhandledException(e);
  } else {
    std::fprintf(stderr, "Unhandled exception in an event handler: %s\n", e.what());
  }
}

void EventLoop::ProcessReady(int timeoutMs) {
  ProcessOnce(timeoutMs);
  // Whoever embeds the loop polls Fd(): tasks still queued must make it readable.
  if (HasPending()) inbox_->Wake();
}

void EventLoop::ProcessOnce(int timeoutMs) {
  processing_.store(std::this_thread::get_id(), std::memory_order_relaxed);
  struct Done {
    std::atomic<std::thread::id>& flag;
    ~Done() { flag.store(std::thread::id(), std::memory_order_relaxed); }
  } done{processing_};
  if (HasPending()) timeoutMs = 0;
  std::array<epoll_event, 64> events;
  int n = ::epoll_wait(epollFd_, events.data(), static_cast<int>(events.size()), timeoutMs);
  if (n < 0) {
    if (errno != EINTR) throw std::system_error(errno, std::generic_category(), "epoll_wait");
    n = 0;
  }
  ++round_;
  RunNextRoundTasks();
  for (int i = 0; i < n; ++i) {
    const Token token = events[i].data.u64;
    if (token == 0) {
      inbox_->Drain();
      continue;
    }
    auto it = registrations_.find(token);
    if (it == registrations_.end() || !it->second.inEpoll) continue;
    Registration& reg = it->second;
    uint32_t ready = events[i].events;
    if (reg.events != reg.wanted) {
      // A narrowed interest that epoll does not know yet: it learns it now that it matters.
      const uint32_t delivered = reg.wanted == 0 ? 0 : reg.wanted | EPOLLERR | EPOLLHUP;
      if ((ready & ~delivered) != 0) ApplyInterest(token, reg, reg.wanted);
      ready &= delivered;
      if (ready == 0) continue;
    }
    // Copy the handler: it may release its own token (and so destroy the registration).
    ReadyHandler handler = reg.handler;
    if (handler) {
      Guarded([&handler, ready]() { handler(ready); });
    }
    RunPosted();
  }
  RunPosted();
  // What the round's end posts (a write report after a gathered write) still belongs to this
  // round, and so does what those tasks gather again (the close of a finished download and its
  // "226"): an embedding loop would otherwise need another turn for each. A few passes at most,
  // so that tasks which keep queuing more cannot hold the loop away from its descriptors.
  for (int pass = 0; pass < kRoundEndPasses && (!roundEnd_.empty() || !roundEndFirst_.empty());
       ++pass) {
    RunRoundEnd();
    RunPosted();
  }
  AddDueDescriptors();
}

void EventLoop::Run() {
  stopped_ = false;
  while (!stopped_) ProcessOnce(-1);
}

void EventLoop::Stop() {
  stopped_ = true;
  inbox_->Wake();
}

bool EventLoop::RunUntil(const std::function<bool()>& cond, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!cond()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return cond();
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
    ProcessOnce(static_cast<int>(std::min<int64_t>(left.count() + 1, 50)));
  }
  return true;
}

}  // namespace orvane
