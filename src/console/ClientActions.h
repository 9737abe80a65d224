#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "access/Usrdata.h"
#include "host/FtpHost.h"

namespace orvane {

// The operator's answer to "Do you want to ban him at the same time ?".
enum class KickAnswer { Yes, No, Cancel };

// A client as the operator selected it: its record and the engine session that owns the record.
// The session's sequence number tells a client that left (and a newcomer whose record happens to
// sit at the same address) from the one selected, so an action taken after a question never
// reaches the wrong client and never reads a freed record.
struct ClientRef {
  const Usrdata* record = nullptr;
  uint64_t sequence = 0;
};

// Kick, mass kick, ban and the ban list's own operations, on the host's records and ban list.
// The windows ask their questions and hand the answers in; everything here runs on the loop
// thread.
class ClientActions {
 public:
  explicit ClientActions(FtpHost& host) : host_(host) {}

  // The reference of a record the host lists now; none for a record it does not list.
  std::optional<ClientRef> RefOf(const Usrdata* record) const;
  // The record of a reference while its client is still connected, else none.
  Usrdata* Resolve(const ClientRef& ref) const;

  // Kick with the operator's answer: Yes bans the address (screen line only) then disconnects,
  // No disconnects, Cancel does nothing. A client that left meanwhile is not touched at all.
  // Returns whether a client was disconnected.
  bool Kick(const ClientRef& ref, KickAnswer answer);
  // Mass kick: on OK every client is disconnected.
  void MassKick(bool ok);
  // Ban of a client's address: added with the screen line "<IP> added to the ban list !" when
  // it is not listed yet, and then, with writeFileLine, the stamped file line
  // "<UserName> (<IP>) banned" whatever the log switches say. An address already listed writes
  // nothing. The client stays connected. Returns whether the address was added.
  bool Ban(const ClientRef& ref, bool writeFileLine);
  // "&Add IP": the text as typed, added when not listed; nothing is logged.
  bool AddByHand(const std::string& text);
  // "&Unban": the entry at position removed; nothing is logged.
  void Unban(int position);

 private:
  int EnginePosition(const ClientRef& ref) const;

  FtpHost& host_;
};

}  // namespace orvane
