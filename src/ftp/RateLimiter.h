#pragma once

#include <cstdint>

namespace orvane {

// A token bucket for one transfer: bytes may flow at Rate() bytes per second on average, with
// at most Burst() bytes ahead of that pace. The bytes a transfer moved are charged after the
// fact (Consume), which may take the balance below zero; DelayUs() then says how long the
// transfer waits before its next step. A rate of 0 is no limit. Pure arithmetic over the
// microseconds of a clock the caller passes, so that tests need neither sockets nor sleeps.
//
// A clock that goes back counts as no time passed; one that jumps ahead fills the bucket to its
// burst, never beyond, so neither step lets a transfer run faster than its rate afterwards.
class RateLimiter {
 public:
  // The pace of the steps: a limited transfer moves about this share of a second per step.
  static constexpr int64_t kStepsPerSecond = 20;
  static constexpr int64_t kMinStep = 4096;

  RateLimiter() = default;
  RateLimiter(int64_t bytesPerSecond, int64_t nowUs) { SetRate(bytesPerSecond, nowUs); }

  // A new rate takes effect from now: what the transfer moved before was paid at the old rate.
  void SetRate(int64_t bytesPerSecond, int64_t nowUs);
  int64_t Rate() const { return rate_; }
  bool Limited() const { return rate_ > 0; }
  // The bucket's size: one step of the rate, at least kMinStep.
  int64_t Burst() const;
  // How many bytes the next step may move: one step's worth, at most maxStep (without a limit:
  // maxStep itself).
  int64_t StepSize(int64_t maxStep) const;

  // Charges bytes moved at nowUs.
  void Consume(int64_t bytes, int64_t nowUs);
  // Microseconds from nowUs until the balance is no longer below zero; 0 when the transfer may
  // go on at once (always without a limit).
  int64_t DelayUs(int64_t nowUs);
  // The balance in bytes at the last refill (tests).
  double Balance() const { return tokens_; }

 private:
  void Refill(int64_t nowUs);

  int64_t rate_ = 0;
  double tokens_ = 0;
  int64_t lastUs_ = 0;
};

}  // namespace orvane
