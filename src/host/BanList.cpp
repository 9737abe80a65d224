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
  return Find(address) >= 0;
}

int BanList::Find(const std::string& address) const {
  // Numeric addresses compare in one form, so that "::FFFF:10.0.0.5" bans the IPv4 client
  // 10.0.0.5 and "0:0:0:0:0:0:0:1" bans "::1"; other texts as typed.
  const std::string wanted = CanonicalAddress(address);
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (EqualsIgnoreAsciiCase(items_[i], address) ||
        EqualsIgnoreAsciiCase(CanonicalAddress(items_[i]), wanted)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

void BanList::Add(const std::string& text) {
  const int found = Find(text);
  if (found >= 0) {
    automatic_[static_cast<std::size_t>(found)] = false;
    return;
  }
  const auto at = std::upper_bound(items_.begin(), items_.end(), text, LessIgnoringCase);
  automatic_.insert(automatic_.begin() + (at - items_.begin()), false);
  items_.insert(at, text);
}

bool BanList::AddAutomatic(const std::string& address) {
  if (Contains(address)) return false;
  Add(address);
  automatic_[static_cast<std::size_t>(Find(address))] = true;
  return true;
}

bool BanList::RemoveAutomatic(const std::string& address) {
  const int found = Find(address);
  if (found < 0 || !automatic_[static_cast<std::size_t>(found)]) return false;
  Delete(found);
  return true;
}

void BanList::Delete(int position) {
  if (position < 0 || static_cast<std::size_t>(position) >= items_.size()) return;
  items_.erase(items_.begin() + position);
  automatic_.erase(automatic_.begin() + position);
}

}  // namespace orvane
