#include "ftp/RateShare.h"

#include <algorithm>
#include <numeric>

#include "ftp/RateLimiter.h"

namespace orvane {

std::vector<int64_t> RateShare::FairRates(int64_t total, const std::vector<int64_t>& ownLimits) {
  std::vector<int64_t> rates(ownLimits);
  if (total <= 0 || ownLimits.empty()) return rates;
  // Water-filling: the members whose own limit is below an equal part of what is left keep
  // their limit; the rest share the remainder equally.
  std::vector<size_t> order(ownLimits.size());
  std::iota(order.begin(), order.end(), size_t{0});
  const auto key = [&](size_t i) { return ownLimits[i] > 0 ? ownLimits[i] : INT64_MAX; };
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return key(a) < key(b); });
  int64_t left = total;
  size_t remaining = order.size();
  for (size_t i : order) {
    const int64_t part = std::max<int64_t>(1, left / static_cast<int64_t>(remaining));
    const int64_t rate = std::min(key(i), part);
    rates[i] = rate;
    left = std::max<int64_t>(0, left - rate);
    --remaining;
  }
  return rates;
}

void RateShare::SetTotal(int64_t bytesPerSecond, int64_t nowUs) {
  total_ = std::max<int64_t>(0, bytesPerSecond);
  Apply(nowUs);
}

void RateShare::Join(RateLimiter& limiter, int64_t ownLimit, int64_t nowUs) {
  members_.push_back({&limiter, std::max<int64_t>(0, ownLimit)});
  Apply(nowUs);
}

void RateShare::Leave(RateLimiter& limiter, int64_t nowUs) {
  const auto it = std::find_if(members_.begin(), members_.end(),
                               [&](const Member& m) { return m.limiter == &limiter; });
  if (it == members_.end()) return;
  members_.erase(it);
  Apply(nowUs);
}

void RateShare::Apply(int64_t nowUs) {
  std::vector<int64_t> limits;
  limits.reserve(members_.size());
  for (const Member& m : members_) limits.push_back(m.ownLimit);
  const std::vector<int64_t> rates = FairRates(total_, limits);
  for (size_t i = 0; i < members_.size(); ++i) members_[i].limiter->SetRate(rates[i], nowUs);
}

}  // namespace orvane
