#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "net/EventLoop.h"
#include "net/NameResolver.h"

namespace orvane {

// The machine's own address for %LOCALIP without a resolver call on the loop thread: the last
// answer of a lookup that NameResolver's worker runs (TSockets::LocalIPAddr), refreshed in the
// background when a caller finds it older than kRefresh. Refresh() starts a lookup at once (the
// host does so at start-up, so that the first greeting finds an answer); a caller that comes
// before any answer has arrived gets "0.0.0.0", as for a name that does not resolve.
class LocalAddressCache {
 public:
  static constexpr std::chrono::seconds kRefresh{60};

  explicit LocalAddressCache(EventLoop& loop);
  ~LocalAddressCache();
  LocalAddressCache(const LocalAddressCache&) = delete;
  LocalAddressCache& operator=(const LocalAddressCache&) = delete;

  // The last answer; starts a refresh when it is due and none is under way.
  std::string Text();
  // Starts a lookup unless one is under way.
  void Refresh();
  bool HasAnswer() const { return answer_.has_value(); }

 private:
  EventLoop& loop_;
  EventLoop::Token token_;
  NameResolver lookup_;
  std::optional<std::string> answer_;
  std::chrono::steady_clock::time_point answeredAt_{};
};

}  // namespace orvane
