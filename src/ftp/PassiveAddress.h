#pragma once

#include <memory>
#include <string>

#include "net/EventLoop.h"
#include "net/NameResolver.h"

namespace orvane {

// The address PASV announces (FTPsrv.ini, section Passive, key "address"): empty, the control
// connection's local address; an IPv4 address, that address; a host name (dynamic DNS), the
// address it resolves to. Clients on the local network (loopback, private and link-local
// addresses) always get the local address, as the external one is the router's.
//
// A host name is looked up on a worker thread, never on the loop: at start and again at each
// PASV, which announces the address of the latest lookup that has answered (the local address
// until the first one has).
class PassiveAddress {
 public:
  explicit PassiveAddress(EventLoop& loop);
  ~PassiveAddress();
  PassiveAddress(const PassiveAddress&) = delete;
  PassiveAddress& operator=(const PassiveAddress&) = delete;

  // Sets the configured text and, for a host name, starts its lookup.
  void Set(const std::string& text);
  const std::string& Text() const { return text_; }

  // The dotted address to announce to a client at `peer` whose control connection arrived on
  // `local`; starts a fresh lookup of a host name.
  std::string Announced(const std::string& local, const std::string& peer);

  // Whether an address belongs to the local network: IPv4 loopback, private and link-local
  // addresses; IPv6 loopback, unique local and link-local ones.
  static bool IsLocalNetwork(const std::string& address);
  static bool IsDottedAddress(const std::string& text);

 private:
  void Lookup();

  EventLoop& loop_;
  EventLoop::Token token_;
  std::unique_ptr<NameResolver> lookup_;
  std::string text_;
  std::string resolved_;  // the last answer of a host name's lookup
};

}  // namespace orvane
