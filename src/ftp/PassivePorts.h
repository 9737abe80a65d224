#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace orvane {

// The range of ports passive data connections listen on (FTPsrv.ini, section Passive, key
// "ports", for example "50000-50100"; empty: any port the system gives). Each PASV or EPSV
// tries the ports of the range in turn from the one after the last it took, so that a port a
// client has just used is not handed out again at once.
//
// Without a range, a PASV draws a port at random from the system's range for outgoing
// connections (net.ipv4.ip_local_port_range) and binds it, instead of asking the system for a
// free one (port 0). Asked for a free port, the system walks the ports that connections of the
// last minute left in TIME_WAIT; after some thousand small transfers that walk costs
// milliseconds for each PASV. A TIME_WAIT of this server's own data connections does not keep
// it from binding such a port again (the listener and its connections reuse addresses), so a
// draw nearly always succeeds at its first try.
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
  // Without a range: an even port drawn from the system's range for outgoing connections.
  uint16_t Draw();
  // That range as the system gives it ("32768 60999"); the Linux default for a missing or
  // unreadable file.
  static void ReadSystemRange(const std::string& file, uint16_t& first, uint16_t& last);
  std::string Text() const;

 private:
  uint16_t first_ = 0;
  uint16_t last_ = 0;
  uint16_t next_ = 0;
  uint16_t drawFirst_ = 0;  // the system's range, read at the first draw
  uint16_t drawLast_ = 0;
  std::minstd_rand random_;
};

}  // namespace orvane
