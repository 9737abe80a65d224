#include "platform/Wildcard.h"

#include <string_view>

#include "platform/AsciiCase.h"

namespace orvane {
namespace {

// Plain glob match with "*" and "?", case-insensitive for ASCII letters. Greedy with one
// backtracking point per "*", which is enough because a later "*" can absorb anything an
// earlier one would have taken.
bool GlobMatch(std::string_view name, std::string_view mask) {
  std::size_t n = 0;
  std::size_t m = 0;
  std::size_t starMask = std::string_view::npos;
  std::size_t starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (m < mask.size() && (mask[m] == '?' || AsciiLower(mask[m]) == AsciiLower(name[n]))) {
      ++m;
      ++n;
    } else if (starMask != std::string_view::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

}  // namespace

bool MatchesMask(const std::string& name, const std::string& mask) {
  std::string_view maskView(mask);
  if (maskView.size() >= 2 && maskView.substr(maskView.size() - 2) == ".*") {
    if (GlobMatch(name, maskView.substr(0, maskView.size() - 2))) return true;
    return GlobMatch(name, maskView);
  }
  if (maskView.size() >= 2 && maskView.back() == '.' && maskView != "..") {
    if (name.find('.') != std::string::npos) return false;
    return GlobMatch(name, maskView.substr(0, maskView.size() - 1));
  }
  return GlobMatch(name, maskView);
}

bool HasWildcard(const std::string& mask) {
  return mask.find_first_of("*?") != std::string::npos;
}

}  // namespace orvane
