#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/EventLoop.h"

namespace orvane {

// Host-name lookups. The system's resolver blocks, and nothing may block the loop thread for
// the length of a network round trip, so a socket's lookup runs ByName or ByAddress on a worker
// thread and the answer comes back as a task posted to the loop, addressed to the owner's token.
//
// Lifetime: the owner releases its token before this object is destroyed (the socket does so in
// its destructor's body); an answer that arrives later finds no token and is dropped.
class NameResolver {
 public:
  // A Windows Sockets lookup code (0 = found) and the names or dotted addresses found.
  struct Answer {
    int error = 0;
    std::vector<std::string> results;
  };
  using Resolver = std::function<Answer()>;
  using Done = std::function<void(const Answer& answer)>;

  NameResolver(EventLoop& loop, EventLoop::Token owner) : loop_(loop), owner_(owner) {}
  ~NameResolver();
  NameResolver(const NameResolver&) = delete;
  NameResolver& operator=(const NameResolver&) = delete;

  // Runs resolve on a worker thread; done runs on the loop thread with its answer, unless Cancel
  // or a later Start came first or the owner's token is gone. Throws std::system_error when no
  // thread can be started (nothing is pending then).
  void Start(Resolver resolve, Done done);
  // Forgets the pending lookup; says whether one was pending.
  bool Cancel();
  bool Pending() const { return pending_ != 0; }

  // The blocking lookups themselves.
  // Every address of a host name as text (SocketAddress::Text): its IPv4 addresses first, then
  // its IPv6 ones, each in the resolver's order.
  static Answer ByName(const std::string& hostName);
  // The name of a numeric IPv4 or IPv6 address (kWsaEinval when it is not one).
  static Answer ByAddress(const std::string& numeric);
  // The machine's own host name; throws ESocketException when the system has none.
  static std::string LocalMachineName();
  // The addresses the machine's own host name resolves to, IPv4 first (empty when it does not
  // resolve).
  static std::vector<std::string> LocalAddresses();

 private:
  EventLoop& loop_;
  EventLoop::Token owner_;
  uint64_t pending_ = 0;  // the id of the lookup whose answer is awaited, 0 = none
  uint64_t sequence_ = 0;
};

}  // namespace orvane
