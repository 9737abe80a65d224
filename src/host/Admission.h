#pragma once

#include <string>

namespace orvane {

class BanList;
class ClientRegistry;
struct Usrdata;

// The rules a new connection passes before it is greeted, decided apart from the sending and
// logging so that each rule reads on its own: the client limit, one connection per address,
// the closed switch and the ban list, in this order, the first that refuses wins.
//
// The newcomer's record is already listed when it is judged: it counts in the client limit and
// is the one record the same-address rule skips.
class Admission {
 public:
  enum class Verdict { Admitted, TooManyUsers, SameAddress, Closed, Banned };

  // What the rules read besides the ban list and the records: the engine's session count (the
  // newcomer included), its MaxClients (0 = no limit), the setup's "Refuse connections with same
  // IP" switch and the operator's "Closed" switch, each taken at the moment of the connection.
  struct Facts {
    int sessions = 0;
    int maxClients = 0;
    bool sameAddressRefused = false;
    bool closed = false;
  };

  Admission(const BanList& bans, const ClientRegistry& clients) : bans_(bans), clients_(clients) {}

  // The first rule that refuses the newcomer, or Admitted.
  Verdict Judge(const Usrdata& newcomer, const Facts& facts) const;

  // The rules one by one.
  static bool TooManyUsers(int sessions, int maxClients);
  // Another listed record holds the newcomer's address (IP).
  bool SameAddressConnected(const Usrdata& newcomer) const;
  bool Banned(const std::string& address) const;

  // The reply sent to a refused client and the reason logged with it; empty for Admitted. The
  // too-many-users reply is sent only when no too-many-users message is set.
  static std::string Reply(Verdict verdict);
  static std::string Reason(Verdict verdict);

 private:
  const BanList& bans_;
  const ClientRegistry& clients_;
};

}  // namespace orvane
