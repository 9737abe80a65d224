#pragma once

#include <string>

namespace orvane {

// Windows file-name wildcard matching, ASCII letters compared without regard to case:
// "*" matches any run of characters (also none), "?" exactly one character.
// A mask ending in ".*" also matches the names that match the mask without it, so "*.*" matches
// every name (also names without a dot) and "readme.*" matches "readme".
// A mask ending in "." (other than "." and "..") matches only names without a dot, so "*."
// matches the names without an extension.
bool MatchesMask(const std::string& name, const std::string& mask);

// True when the mask contains "*" or "?".
bool HasWildcard(const std::string& mask);

}  // namespace orvane
