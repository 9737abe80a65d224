#pragma once

#include <string>
#include <string_view>

namespace orvane {

// The text without leading and trailing blanks and control characters (every byte up to and
// including the blank), as user names, passwords and socket settings are trimmed.
inline std::string Trim(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return std::string(text.substr(begin, end - begin));
}

}  // namespace orvane
