#pragma once

#include <string>

namespace orvane {

class BanList;
class ClientRegistry;
struct Usrdata;

// The rules a new connection passes before it is greeted, decided apart from the sending and
// logging so that each rule reads on its own: the client limit (classic) or the cap on clients
// still logging in, the cap per address, one connection per address, the closed switch and the
// ban list, in this order, the first that refuses wins. Outside classic the client limit is
// judged at login instead (LoginPlaceFree).
//
// The newcomer's record is already listed when it is judged: it counts in the client limit and
// the caps, and is the one record the same-address rule skips. A listed record without an
// account has not logged in.
class Admission {
 public:
  enum class Verdict {
    Admitted,
    TooManyUsers,
    TooManyLoggingIn,
    TooManyFromAddress,
    SameAddress,
    Closed,
    Banned
  };

  // What the rules read besides the ban list and the records: the engine's session count (the
  // newcomer included), its MaxClients (0 = no limit), the setup's "Refuse connections with same
  // IP" switch and the operator's "Closed" switch, each taken at the moment of the connection.
  struct Facts {
    int sessions = 0;
    int maxClients = 0;
    bool sameAddressRefused = false;
    bool closed = false;
    bool countsOnlyLoggedIn = false;  // CompatibilityPolicy::CountsOnlyLoggedInClients
    int maxLoggingIn = 0;             // "maxprelogin", 0 = no cap
    int maxPerAddress = 0;            // "maxperip", 0 = no cap
  };

  Admission(const BanList& bans, const ClientRegistry& clients) : bans_(bans), clients_(clients) {}

  // The first rule that refuses the newcomer, or Admitted.
  Verdict Judge(const Usrdata& newcomer, const Facts& facts) const;

  // The rules one by one.
  static bool TooManyUsers(int sessions, int maxClients);
  // Another listed record holds the newcomer's address (IP).
  bool SameAddressConnected(const Usrdata& newcomer) const;
  bool Banned(const std::string& address) const;
  // The listed records of the address, and those that have not logged in.
  int ConnectionsFrom(const std::string& address) const;
  int LoggingIn() const;
  // At a login outside classic: whether fewer than maxClients (0 = no limit) other listed
  // records have logged in.
  bool LoginPlaceFree(const Usrdata& client, int maxClients) const;

  // The reply sent to a refused client and the reason logged with it; empty for Admitted. The
  // too-many-users reply is sent only when no too-many-users message is set.
  static std::string Reply(Verdict verdict);
  static std::string Reason(Verdict verdict);

 private:
  const BanList& bans_;
  const ClientRegistry& clients_;
};

}  // namespace orvane
