#include "host/BanList.h"

#include <algorithm>

#include "net/SocketAddress.h"
#include "platform/AsciiCase.h"

namespace orvane {

namespace {

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(AsciiLower(x)) < static_cast<unsigned char>(AsciiLower(y));
  });
}

}  // namespace

bool BanList::Contains(const std::string& address) const {
  // Numeric addresses compare in one form, so that "::FFFF:10.0.0.5" bans the IPv4 client
  // 10.0.0.5 and "0:0:0:0:0:0:0:1" bans "::1"; other texts as typed.
  const std::string wanted = CanonicalAddress(address);
  return std::any_of(items_.begin(), items_.end(), [&](const std::string& item) {
    return EqualsIgnoreAsciiCase(item, address) ||
           EqualsIgnoreAsciiCase(CanonicalAddress(item), wanted);
  });
}

void BanList::Add(const std::string& text) {
  if (Contains(text)) return;
  items_.insert(std::upper_bound(items_.begin(), items_.end(), text, LessIgnoringCase), text);
}

void BanList::Delete(int position) {
  if (position < 0 || static_cast<std::size_t>(position) >= items_.size()) return;
  items_.erase(items_.begin() + position);
}

}  // namespace orvane
