#pragma once

#include <cstdint>
#include <string>

namespace orvane {

// The range of ports passive data connections listen on (FTPsrv.ini, section Passive, key
// "ports", for example "50000-50100"; empty: any port the system gives). Each PASV or EPSV
// tries the ports of the range in turn from the one after the last it took, so that a port a
// client has just used is not handed out again at once.
class PassivePorts {
 public:
  PassivePorts() = default;

  // "first-last" or a single port; false (and the range left unchanged) for any other text.
  // An empty text is valid and means any port.
  bool Parse(const std::string& text);

  bool Any() const { return first_ == 0; }
  uint16_t First() const { return first_; }
  uint16_t Last() const { return last_; }
  int Count() const { return Any() ? 0 : last_ - first_ + 1; }
  // The next port to try; wraps around the range.
  uint16_t Next();
  std::string Text() const;

 private:
  uint16_t first_ = 0;
  uint16_t last_ = 0;
  uint16_t next_ = 0;
};

}  // namespace orvane
