#include "host/Admission.h"

#include "access/Usrdata.h"
#include "host/BanList.h"
#include "host/ClientRegistry.h"

namespace orvane {

Admission::Verdict Admission::Judge(const Usrdata& newcomer, const Facts& facts) const {
  if (TooManyUsers(facts.sessions, facts.maxClients)) return Verdict::TooManyUsers;
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

std::string Admission::Reply(Verdict verdict) {
  switch (verdict) {
    case Verdict::TooManyUsers:
      return "421 Sorry, too many users are connected !";
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
