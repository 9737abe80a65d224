#include "net/RoundBudget.h"

namespace orvane {

RoundBudget::RoundBudget(EventLoop& loop, int64_t bytesPerRound)
    : loop_(loop), token_(loop.NewToken()), perRound_(bytesPerRound) {}

RoundBudget::~RoundBudget() {
  loop_.Release(token_);
}

void RoundBudget::StartRound() {
  if (loop_.Round() == round_) return;
  round_ = loop_.Round();
  spent_ = 0;
}

bool RoundBudget::Wait(int64_t bytes, EventLoop::Token owner, std::function<void()> resume) {
  StartRound();
  // A sender that arrives while others wait goes behind them, unless it is the one being resumed.
  if (spent_ < perRound_ && (waiting_.empty() || resuming_)) {
    spent_ += bytes;
    return false;
  }
  waiting_.emplace_back(owner, std::move(resume));
  if (!resumeQueued_) {
    resumeQueued_ = true;
    loop_.NextRound(token_, [this]() { ResumeWaiting(); });
  }
  return true;
}

// At the start of a round: the senders first in line, until the round's bytes are spent. One
// whose owner is gone, or that no longer sends, costs nothing and the next one takes its turn.
void RoundBudget::ResumeWaiting() {
  resumeQueued_ = false;
  StartRound();
  while (!waiting_.empty() && spent_ < perRound_) {
    auto [owner, resume] = std::move(waiting_.front());
    waiting_.pop_front();
    if (owner != 0 && !loop_.Alive(owner)) continue;
    resuming_ = true;
    try {
      resume();
    } catch (const std::exception& e) {
      loop_.ReportUnhandled(e);
    }
    resuming_ = false;
  }
  if (!waiting_.empty() && !resumeQueued_) {
    resumeQueued_ = true;
    loop_.NextRound(token_, [this]() { ResumeWaiting(); });
  }
}

}  // namespace orvane
