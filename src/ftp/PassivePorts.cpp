#include "ftp/PassivePorts.h"

#include <fstream>

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

uint16_t PassivePorts::Draw() {
  if (drawFirst_ == 0) {
    ReadSystemRange("/proc/sys/net/ipv4/ip_local_port_range", drawFirst_, drawLast_);
    random_.seed(std::random_device{}());
  }
  // Only even ports: the system gives a program that binds port 0 an odd port of the range
  // (outgoing connections get the even ones). Such a program binds first and listens a moment
  // later, often with address reuse as our listener has it; drawn onto its odd port, our
  // listener would take the port from it in between, and its listen would fail.
  const int firstEven = drawFirst_ + (drawFirst_ % 2);
  if (firstEven > drawLast_) return drawLast_;  // a range of one odd port
  std::uniform_int_distribution<int> pick(0, (drawLast_ - firstEven) / 2);
  return static_cast<uint16_t>(firstEven + 2 * pick(random_));
}

void PassivePorts::ReadSystemRange(const std::string& file, uint16_t& first, uint16_t& last) {
  first = 32768;
  last = 60999;
  std::ifstream in(file);
  long low = 0;
  long high = 0;
  if (!(in >> low >> high)) return;
  if (low < 1024 || high > 65535 || low > high) return;
  first = static_cast<uint16_t>(low);
  last = static_cast<uint16_t>(high);
}

std::string PassivePorts::Text() const {
  if (Any()) return "";
  return std::to_string(first_) + "-" + std::to_string(last_);
}

}  // namespace orvane
