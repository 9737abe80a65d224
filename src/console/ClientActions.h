#pragma once

#include <optional>
#include <string>

#include "access/Usrdata.h"
#include "host/FtpHost.h"

namespace orvane {

// The operator's answer to "Do you want to ban him at the same time ?".
enum class KickAnswer { Yes, No, Cancel };

// Kick, mass kick, ban and the ban list's own operations with the operator's answers: the
// windows ask their questions and hand the answers in, and the host's operations do the rest
// (FtpHost::Kick, Ban, AddBan, Unban). Everything here runs on the loop thread.
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
  // Mass kick: on OK every client is disconnected; returns how many there were.
  int MassKick(bool ok);
  // Ban of a client's address (FtpHost::Ban).
  bool Ban(const ClientRef& ref, bool writeFileLine);
  // "&Add IP": the text as typed, added when not listed; nothing is logged.
  bool AddByHand(const std::string& text);
  // "&Unban": the entry at position removed; nothing is logged.
  void Unban(int position);

 private:
  FtpHost& host_;
};

}  // namespace orvane
