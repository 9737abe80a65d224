#pragma once

#include <cstddef>
#include <string>

namespace orvane {

// Number of directory-rights entries of an account and of a client record (indices 0 to 150).
inline constexpr std::size_t kDirEntries = 151;

// One directory-rights entry. Dir is an absolute directory path (a drive root keeps its
// backslash); Attr holds the granted rights as upper-case letters R W D M L S, tested by presence
// anywhere in the string. An entry with an empty Dir is unused; entry 0 is the home directory.
struct TDir {
  std::string Dir;
  std::string Attr;
};

}  // namespace orvane
