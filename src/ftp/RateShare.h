#pragma once

#include <cstdint>
#include <vector>

namespace orvane {

class RateLimiter;

// A server-wide rate for one direction, shared fairly among the transfers that run: each gets
// an equal part, and what a transfer's own lower limit leaves of its part goes to the others
// (max-min fairness). Whenever a transfer joins or leaves, or a limit changes, every member's
// RateLimiter gets its new rate. A total of 0 is no server-wide limit: each member keeps its
// own limit (0 = none).
class RateShare {
 public:
  RateShare() = default;
  RateShare(const RateShare&) = delete;
  RateShare& operator=(const RateShare&) = delete;

  // Max-min fair rates for members with these own limits (0 = none) under total (0 = none).
  // A member's rate is never 0 under a total: each gets at least 1 byte per second.
  static std::vector<int64_t> FairRates(int64_t total, const std::vector<int64_t>& ownLimits);

  void SetTotal(int64_t bytesPerSecond, int64_t nowUs);
  int64_t Total() const { return total_; }
  // Whether a transfer with this own limit would be limited at all.
  bool Limits(int64_t ownLimit) const { return total_ > 0 || ownLimit > 0; }

  // The limiter must stay valid until Leave.
  void Join(RateLimiter& limiter, int64_t ownLimit, int64_t nowUs);
  void Leave(RateLimiter& limiter, int64_t nowUs);
  int Members() const { return static_cast<int>(members_.size()); }

 private:
  struct Member {
    RateLimiter* limiter;
    int64_t ownLimit;
  };
  void Apply(int64_t nowUs);

  int64_t total_ = 0;
  std::vector<Member> members_;
};

}  // namespace orvane
