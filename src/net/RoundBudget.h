#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <utility>

#include "net/EventLoop.h"

namespace orvane {

// The bytes that the senders of one loop together may move in one round. A sender asks before
// each chunk. While the round has bytes left, the chunk goes at once (the first chunk of a round
// always does, whatever its size); once they are spent, the sender waits in line, and the next
// rounds resume the senders in the order they came, as many as each round's bytes allow. A
// round then stays short however many transfers run, so a command on another connection waits
// for one short round, and the transfers take turns instead of whoever's socket is ready first.
// A round resumes only the senders it serves: the ones still waiting cost it nothing.
class RoundBudget {
 public:
  RoundBudget(EventLoop& loop, int64_t bytesPerRound);
  ~RoundBudget();
  RoundBudget(const RoundBudget&) = delete;
  RoundBudget& operator=(const RoundBudget&) = delete;

  // False when `bytes` may go now (they are counted against this round). True when this round's
  // bytes are spent or others wait before the caller: resume then runs in a later round, if
  // owner is still alive, and asks again.
  bool Wait(int64_t bytes, EventLoop::Token owner, std::function<void()> resume);
  size_t Waiting() const { return waiting_.size(); }

 private:
  void StartRound();
  void ResumeWaiting();

  EventLoop& loop_;
  EventLoop::Token token_;
  int64_t perRound_;
  uint64_t round_ = 0;
  int64_t spent_ = 0;
  bool resuming_ = false;  // inside ResumeWaiting: the resumed sender's ask is not queued again
  bool resumeQueued_ = false;
  std::deque<std::pair<EventLoop::Token, std::function<void()>>> waiting_;
};

}  // namespace orvane
