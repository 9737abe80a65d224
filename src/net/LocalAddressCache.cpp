#include "net/LocalAddressCache.h"

#include <system_error>

#include "net/TSockets.h"

namespace orvane {

LocalAddressCache::LocalAddressCache(EventLoop& loop)
    : loop_(loop), token_(loop.NewToken()), lookup_(loop, token_) {}

LocalAddressCache::~LocalAddressCache() {
  // NameResolver requires its owner's token gone first: a late answer is then dropped.
  loop_.Release(token_);
}

std::string LocalAddressCache::Text() {
  if (!answer_ || std::chrono::steady_clock::now() - answeredAt_ >= kRefresh) Refresh();
  return answer_.value_or("0.0.0.0");
}

void LocalAddressCache::Refresh() {
  if (lookup_.Pending()) return;
  try {
    lookup_.Start(
        []() {
          NameResolver::Answer answer;
          answer.results.push_back(TSockets().LocalIPAddr());
          return answer;
        },
        [this](const NameResolver::Answer& answer) {
          answer_ = answer.results.empty() ? "0.0.0.0" : answer.results.front();
          answeredAt_ = std::chrono::steady_clock::now();
        });
  } catch (const std::system_error&) {
    // No thread to be had now: the last answer stays, and a later call tries again.
  }
}

}  // namespace orvane
