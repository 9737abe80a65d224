#pragma once

#include <cstddef>
#include <string>

namespace orvane {

// Number of virtual-link entries a client record holds (indices 0 to 100).
inline constexpr std::size_t kLinkEntries = 101;

// One virtual link read from an account's links file: the name shown in listings and the
// directory it leads to.
struct TGo {
  std::string Name;
  std::string Target;
};

}  // namespace orvane
