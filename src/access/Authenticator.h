#pragma once

#include <string>

#include "access/MacroExpander.h"

namespace orvane {

class AccessHost;
class AccountStore;
class SessionView;
struct Usrdata;
struct users;

// Decides a login against the server's AccountList and sends the account's login message.
//
// Named accounts (EnableLogin on) are tried first, in list order, by exact login name and, when
// the account asks for one, exact password. Then anonymous accounts (EnableLogin off) are tried,
// but only up to the first eligible named account in list order: such an account ends the search
// with a refusal. A user name that is the login of an eligible named account never reaches the
// anonymous accounts (its password was wrong). An account is eligible while it is enabled and its
// entry 0 names a directory that exists at the moment of the login.
class Authenticator {
 public:
  Authenticator(AccessHost& host, const AccountStore& accounts)
      : host_(host), accounts_(accounts) {}

  // OnAuthenticate: admits the client through Checkuser, else Checkuser2; logs the login and
  // refreshes the client count, or counts a refused login. An admission fills the record from
  // the account (dropping whatever an earlier login of the session had) and sets the session's
  // home directory.
  void FtpServer1Authenticate(SessionView& client, const std::string& userName,
                              const std::string& password, bool& authenticated, Usrdata& record);

  // OnLogged: sends the account's login message file, one "230-" line per line of the file with
  // its macros replaced, each logged under category 11. A missing or unreadable file sends
  // nothing.
  void FtpServer1Logged(SessionView& client, Usrdata& record);

  // The named-account matcher.
  bool Checkuser(SessionView& client, const std::string& userName, const std::string& password,
                 Usrdata& record);
  // The anonymous-account matcher; logs the refusals.
  bool Checkuser2(SessionView& client, const std::string& userName, const std::string& password,
                  Usrdata& record);

  // The login-message macros of one message, in their fixed order (see MacroExpander for the
  // rule); the local address is asked of the host once, and only for a message that uses it.
  MacroExpander LoginMacros(SessionView& client, const Usrdata& record);

  static bool Eligible(const users& account);

 private:
  void Admit(SessionView& client, const std::string& userName, const std::string& password,
             const users& account, Usrdata& record);

  AccessHost& host_;
  const AccountStore& accounts_;
};

}  // namespace orvane
