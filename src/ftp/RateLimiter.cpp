#include "ftp/RateLimiter.h"

#include <algorithm>
#include <cmath>

namespace orvane {

namespace {

// A wait is never longer than this, whatever the debt: a limit lowered to a crawl is felt within
// this time when it is raised again.
constexpr int64_t kMaxDelayUs = 1'000'000;

}  // namespace

void RateLimiter::SetRate(int64_t bytesPerSecond, int64_t nowUs) {
  if (rate_ > 0) Refill(nowUs);
  const bool wasLimited = rate_ > 0;
  rate_ = std::max<int64_t>(0, bytesPerSecond);
  lastUs_ = nowUs;
  // A transfer that starts limited may send its first step at once.
  if (!wasLimited) tokens_ = static_cast<double>(Burst());
  tokens_ = std::min(tokens_, static_cast<double>(Burst()));
}

int64_t RateLimiter::Burst() const {
  return std::max(kMinStep, rate_ / kStepsPerSecond);
}

int64_t RateLimiter::StepSize(int64_t maxStep) const {
  if (rate_ <= 0) return maxStep;
  return std::min(maxStep, Burst());
}

void RateLimiter::Refill(int64_t nowUs) {
  if (nowUs <= lastUs_) {
    lastUs_ = std::min(lastUs_, nowUs);  // a clock that went back starts again from here
    return;
  }
  const double earned = static_cast<double>(rate_) * static_cast<double>(nowUs - lastUs_) / 1e6;
  tokens_ = std::min(static_cast<double>(Burst()), tokens_ + earned);
  lastUs_ = nowUs;
}

void RateLimiter::Consume(int64_t bytes, int64_t nowUs) {
  if (rate_ <= 0) return;
  Refill(nowUs);
  tokens_ -= static_cast<double>(bytes);
}

int64_t RateLimiter::DelayUs(int64_t nowUs) {
  if (rate_ <= 0) return 0;
  Refill(nowUs);
  if (tokens_ >= 0) return 0;
  const double us = std::ceil(-tokens_ * 1e6 / static_cast<double>(rate_));
  return us >= static_cast<double>(kMaxDelayUs) ? kMaxDelayUs : std::max<int64_t>(1, us);
}

}  // namespace orvane
