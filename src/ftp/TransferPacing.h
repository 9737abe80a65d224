#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "ftp/RateLimiter.h"
#include "ftp/RateShare.h"
#include "net/EventLoop.h"
#include "net/RoundBudget.h"
#include "net/TimerQueue.h"

namespace orvane {

class TransferPacing;

// The pace of one running transfer under its limits: how much its next step may move, the
// bytes it moved, and, when it is ahead of its rate, a timer that resumes it. Made only for a
// limited transfer; an unlimited one has none and takes the engine's plain path. Leaves the
// server-wide share and drops its timer when destroyed, so a transfer that ends while it waits
// is never resumed.
class TransferPacer {
 public:
  TransferPacer(TransferPacing& pacing, RateShare& share, int64_t ownLimit, EventLoop::Token owner);
  ~TransferPacer();
  TransferPacer(const TransferPacer&) = delete;
  TransferPacer& operator=(const TransferPacer&) = delete;

  int64_t StepSize(int64_t maxStep) const { return limiter_.StepSize(maxStep); }
  void Moved(int64_t bytes);
  // False when the transfer may go on at once. True when it is ahead of its rate: resume then
  // runs on the loop thread once it may go on (unless this pacer is gone by then).
  bool Wait(std::function<void()> resume);
  bool Waiting() const { return timer_ != 0; }
  int64_t Rate() const { return limiter_.Rate(); }

 private:
  TransferPacing& pacing_;
  RateShare& share_;
  EventLoop::Token owner_;
  RateLimiter limiter_;
  TimerQueue::Id timer_ = 0;
};

// The engine's transfer limits: the server-wide rate of each direction, shared by the running
// transfers, and the timers that resume the transfers that wait. Rates in bytes per second,
// 0 = none.
class TransferPacing {
 public:
  // The bytes all downloads together send in one round of the loop: 8 to 16 chunks, about a
  // millisecond on loopback, so that a command waits no longer than that for its turn, while one
  // fast download alone still sends megabytes per round. With 100 and 500 concurrent downloads
  // 2 MiB moved as much as 4 or 8 MiB did, and kept a NOOP's 99th percentile at 3 to 6 ms.
  static constexpr int64_t kDownloadBytesPerRound = int64_t{2} << 20;

  explicit TransferPacing(EventLoop& loop)
      : timers_(loop), downloadRounds_(loop, kDownloadBytesPerRound) {}

  void SetServerRates(int64_t downloadRate, int64_t uploadRate);
  int64_t ServerDownloadRate() const { return download_.Total(); }
  int64_t ServerUploadRate() const { return upload_.Total(); }

  // A pacer for a transfer of that direction with the account's own limit, or none when neither
  // it nor the server limits the transfer. owner is the token its resumptions are addressed to.
  std::unique_ptr<TransferPacer> PacerFor(bool download, int64_t ownLimit, EventLoop::Token owner);

  static int64_t NowUs();
  TimerQueue& Timers() { return timers_; }
  RoundBudget& DownloadRounds() { return downloadRounds_; }
  const RoundBudget& DownloadRounds() const { return downloadRounds_; }

 private:
  TimerQueue timers_;
  RoundBudget downloadRounds_;
  RateShare download_;
  RateShare upload_;
};

}  // namespace orvane
