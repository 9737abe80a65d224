#include "host/Admission.h"

#include "access/Usrdata.h"
#include "host/BanList.h"
#include "host/ClientRegistry.h"

namespace orvane {

Admission::Verdict Admission::Judge(const Usrdata& newcomer, const Facts& facts) const {
  if (!facts.countsOnlyLoggedIn && TooManyUsers(facts.sessions, facts.maxClients)) {
    return Verdict::TooManyUsers;
  }
  // SECURITY: clients that do not log in cannot take every place: those still logging in have
  // a cap of their own, and one address can hold only a few connections (and guesses) at once.
  if (facts.maxLoggingIn > 0 && LoggingIn() > facts.maxLoggingIn) return Verdict::TooManyLoggingIn;
  if (facts.maxPerAddress > 0 && ConnectionsFrom(newcomer.IP) > facts.maxPerAddress) {
    return Verdict::TooManyFromAddress;
  }
  if (facts.sameAddressRefused && SameAddressConnected(newcomer)) return Verdict::SameAddress;
  if (facts.closed) return Verdict::Closed;
  if (Banned(newcomer.IP)) return Verdict::Banned;
  return Verdict::Admitted;
}

bool Admission::TooManyUsers(int sessions, int maxClients) {
  return maxClients > 0 && sessions > maxClients;
}

bool Admission::SameAddressConnected(const Usrdata& newcomer) const {
  for (const Usrdata* other : clients_.Listed()) {
    if (other != &newcomer && other->IP == newcomer.IP) return true;
  }
  return false;
}

bool Admission::Banned(const std::string& address) const {
  return bans_.Contains(address);
}

int Admission::ConnectionsFrom(const std::string& address) const {
  int count = 0;
  for (const Usrdata* record : clients_.Listed()) count += record->IP == address ? 1 : 0;
  return count;
}

int Admission::LoggingIn() const {
  int count = 0;
  for (const Usrdata* record : clients_.Listed()) count += record->Account.empty() ? 1 : 0;
  return count;
}

bool Admission::LoginPlaceFree(const Usrdata& client, int maxClients) const {
  if (maxClients <= 0) return true;
  int loggedIn = 0;
  for (const Usrdata* record : clients_.Listed()) {
    if (record != &client && !record->Account.empty()) ++loggedIn;
  }
  return loggedIn < maxClients;
}

std::string Admission::Reply(Verdict verdict) {
  switch (verdict) {
    case Verdict::TooManyUsers:
      return "421 Sorry, too many users are connected !";
    case Verdict::TooManyLoggingIn:
      return "421 Sorry, too many users are logging in, try again later !";
    case Verdict::TooManyFromAddress:
      return "421 Sorry, too many connections from your address !";
    case Verdict::SameAddress:
      return "421 Sorry, a user with the same IP is already connected !";
    case Verdict::Closed:
      return "421 Sorry, no more connections allowed.";
    case Verdict::Banned:
      return "421 Sorry, you are banned !";
    case Verdict::Admitted:
      break;
  }
  return "";
}

std::string Admission::Reason(Verdict verdict) {
  switch (verdict) {
    case Verdict::TooManyUsers:
      return "too many users";
    case Verdict::TooManyLoggingIn:
      return "too many clients logging in";
    case Verdict::TooManyFromAddress:
      return "too many connections from the same IP";
    case Verdict::SameAddress:
      return "Someone with the same IP is already connected";
    case Verdict::Closed:
      return "no more connections allowed";
    case Verdict::Banned:
      return "IP banned";
    case Verdict::Admitted:
      break;
  }
  return "";
}

}  // namespace orvane
