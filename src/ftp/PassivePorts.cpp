#include "ftp/PassivePorts.h"

#include "platform/Trim.h"

namespace orvane {

namespace {

bool ReadPort(const std::string& text, uint16_t& port) {
  const std::string digits = Trim(text);
  if (digits.empty() || digits.size() > 5) return false;
  int value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value < 1024 || value > 65535) return false;
  port = static_cast<uint16_t>(value);
  return true;
}

}  // namespace

bool PassivePorts::Parse(const std::string& text) {
  const std::string range = Trim(text);
  if (range.empty()) {
    first_ = last_ = next_ = 0;
    return true;
  }
  const size_t dash = range.find('-');
  uint16_t first = 0;
  uint16_t last = 0;
  if (!ReadPort(range.substr(0, dash), first)) return false;
  if (dash == std::string::npos) {
    last = first;
  } else if (!ReadPort(range.substr(dash + 1), last) || last < first) {
    return false;
  }
  first_ = next_ = first;
  last_ = last;
  return true;
}

uint16_t PassivePorts::Next() {
  if (Any()) return 0;
  const uint16_t port = next_;
  next_ = port >= last_ ? first_ : static_cast<uint16_t>(port + 1);
  return port;
}

std::string PassivePorts::Text() const {
  if (Any()) return "";
  return std::to_string(first_) + "-" + std::to_string(last_);
}

}  // namespace orvane
