#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "access/MacroExpander.h"

namespace orvane {

class HostView;
class AccountStore;
class SessionView;
struct Usrdata;
struct users;

// Decides a login against the server's AccountList and sends the account's login message.
//
// Named accounts (EnableLogin on) are tried first, in list order, by exact login name and, when
// the account asks for one, its password (PassHash, else the clear Pass). A user name that is
// the login of an eligible named account never reaches the anonymous accounts: it is refused
// when no such account admits it. Then anonymous accounts (EnableLogin off) are tried in list
// order; outside classic they are all tried, in classic only those before the first eligible
// named account. An account is eligible while it is enabled and its entry 0 names a directory
// that exists at the moment of the login.
//
// SECURITY: an account with RequireTLS on a control connection that is not TLS is refused
// without its password being looked at, whichever key (section name, Login, any name for an
// anonymous account) the client used. Every login costs exactly one password hash at least, so
// the time of a refusal tells nothing about which names exist. Each refusal is logged once
// (category 2) with the account and the reason; the client learns none of it, except for an
// account whose MaxSessions sessions are logged in: that refusal comes only after the password
// matched, and its answer says so (record.RefusalAnswer).
// A login can be decided in steps, so that its hash computations run off the loop thread:
// Decide runs the rules with the password answers known so far and, at the first check it has
// no answer for, stops without any effect and names that check; the caller computes it
// (PasswordCheck::Run, on any thread), adds the answer and calls Decide again. The checks are
// asked for in the order, and as many, as a decision in one go computes them.
class Authenticator {
 public:
  // One password comparison: against a stored hash, a clear password, or the dummy hash that
  // a login with nothing to compare costs.
  struct PasswordCheck {
    enum class Kind { Hash, Clear, Dummy };
    Kind kind = Kind::Dummy;
    std::string stored;
    bool operator==(const PasswordCheck& other) const = default;
    // Computes the comparison (one hash); safe on any thread.
    bool Run(const std::string& password) const;
  };
  // The answers of the checks computed so far for one login.
  using PasswordAnswers = std::vector<std::pair<PasswordCheck, bool>>;

  Authenticator(HostView& host, const AccountStore& accounts) : host_(host), accounts_(accounts) {}

  // OnAuthenticate: admits the client through Checkuser, else Checkuser2; logs the login and
  // refreshes the client count, or logs the refusal and counts it. An admission fills the
  // record from the account (dropping whatever an earlier login of the session had) and sets
  // the session's home directory. record.Secure says whether the control connection is TLS.
  void FtpServer1Authenticate(SessionView& client, const std::string& userName,
                              const std::string& password, bool& authenticated, Usrdata& record);
  // The stepwise decision (see the class comment): the check still needed, or none when the
  // login is decided (authenticated set, and everything FtpServer1Authenticate does done).
  std::optional<PasswordCheck> Decide(SessionView& client, const std::string& userName,
                                      const std::string& password, const PasswordAnswers& known,
                                      bool& authenticated, Usrdata& record);

  // OnLogged: sends the account's login message file, one "230-" line per line of the file with
  // its macros replaced, each logged under category 11. A missing or unreadable file sends
  // nothing.
  void FtpServer1Logged(SessionView& client, Usrdata& record);

  // Why a login is refused: the reason logged, and whether it ends the search (the name is an
  // eligible named account's) or lets the anonymous accounts try.
  struct Refusal {
    std::string reason;
    bool wrongPassword = false;  // logged as "Bad Password", else "Bad Login/Password"
    bool final = false;
    bool fromEligible = false;  // the reason is an eligible account's
    int sessionLimit = 0;       // the reason is the account's MaxSessions, reached
    // Notes why an account refused (eligible: it could have admitted the client).
    void Note(const std::string& why, bool eligible, bool badPassword);
  };

  // The named-account matcher. Notes in refusal why a named account of that name refused.
  bool Checkuser(SessionView& client, const std::string& userName, const std::string& password,
                 Usrdata& record, Refusal& refusal);
  // The anonymous-account matcher. Notes why, when no account admits the client.
  bool Checkuser2(SessionView& client, const std::string& userName, const std::string& password,
                  Usrdata& record, Refusal& refusal);

  // The login-message macros of one message, in their fixed order (see MacroExpander for the
  // rule); the local address is asked of the host once, and only for a message that uses it.
  MacroExpander LoginMacros(SessionView& client, const Usrdata& record);

  static bool Eligible(const users& account);
  // Why an account cannot log in now, empty when it can: disabled, no entry 0, or the home
  // directory missing (as configured and as resolved on this machine).
  static std::string Ineligibility(const users& account);
  // What is wrong with the account's home directory, empty when it exists: for the report at
  // start and after a reload.
  static std::string HomeProblem(const users& account);
  // Whether password is the account's (hash, else clear text); one hash computation either way.
  static bool PasswordMatches(const users& account, const std::string& password);

 private:
  // Whether the account admits this password on this connection; notes why not.
  bool Tried(const users& account, const std::string& password, const Usrdata& record,
             Refusal& refusal);
  // The account's password check, answered from known_; throws NeedsCheck when unknown.
  bool Matches(const users& account);
  struct NeedsCheck {
    PasswordCheck check;
  };
  // Throws NeedsCheck for the dummy hash while no check has been answered.
  void RequireOneCheck() const;
  // Whether the account has MaxSessions sessions logged in already (this one not counted); notes
  // it as the refusal then.
  bool SessionLimitReached(const users& account, const Usrdata& record, Refusal& refusal);
  void Admit(SessionView& client, const std::string& userName, const users& account,
             Usrdata& record);

  HostView& host_;
  const AccountStore& accounts_;
  const PasswordAnswers* known_ = nullptr;  // the answers of the Decide under way
};

}  // namespace orvane
