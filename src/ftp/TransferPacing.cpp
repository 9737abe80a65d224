#include "ftp/TransferPacing.h"

#include <chrono>

namespace orvane {

int64_t TransferPacing::NowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

TransferPacer::TransferPacer(TransferPacing& pacing, RateShare& share, int64_t ownLimit,
                             EventLoop::Token owner)
    : pacing_(pacing), share_(share), owner_(owner) {
  share_.Join(limiter_, ownLimit, TransferPacing::NowUs());
}

TransferPacer::~TransferPacer() {
  if (timer_ != 0) pacing_.Timers().Cancel(timer_);
  share_.Leave(limiter_, TransferPacing::NowUs());
}

void TransferPacer::Moved(int64_t bytes) {
  limiter_.Consume(bytes, TransferPacing::NowUs());
}

bool TransferPacer::Wait(std::function<void()> resume) {
  const int64_t delay = limiter_.DelayUs(TransferPacing::NowUs());
  if (delay == 0) return false;
  if (timer_ != 0) pacing_.Timers().Cancel(timer_);
  timer_ =
      pacing_.Timers().Schedule(owner_, TimerQueue::Clock::now() + std::chrono::microseconds(delay),
                                [this, resume = std::move(resume)]() {
                                  timer_ = 0;
                                  resume();
                                });
  return true;
}

void TransferPacing::SetServerRates(int64_t downloadRate, int64_t uploadRate) {
  const int64_t now = NowUs();
  download_.SetTotal(downloadRate, now);
  upload_.SetTotal(uploadRate, now);
}

std::unique_ptr<TransferPacer> TransferPacing::PacerFor(bool download, int64_t ownLimit,
                                                        EventLoop::Token owner) {
  RateShare& share = download ? download_ : upload_;
  if (!share.Limits(ownLimit)) return nullptr;
  return std::make_unique<TransferPacer>(*this, share, ownLimit, owner);
}

}  // namespace orvane
