#include "access/Authenticator.h"

#include "access/AccountStore.h"
#include "access/HostView.h"
#include "access/PasswordHash.h"
#include "access/TextFileLines.h"
#include "access/Usrdata.h"
#include "access/Who.h"
#include "ftp/CompatibilityPolicy.h"
#include "ftp/SessionView.h"
#include "platform/FileSystem.h"

namespace orvane {

namespace {

const int kLoginCategory = 2;
const int kAnswerCategory = 11;

}  // namespace

bool Authenticator::Eligible(const users& account) {
  return account.Enabled && !account.Dirs[0].Dir.empty() &&
         FileSystem::DirectoryExists(account.Dirs[0].Dir);
}

std::string Authenticator::HomeProblem(const users& account) {
  const std::string& home = account.Dirs[0].Dir;
  if (home.empty()) return "no home directory (Dir0)";
  const std::optional<std::string> resolved = FileSystem::ToPosix(home);
  if (!resolved) return "home directory " + home + " is on no drive of [Drives]";
  if (!FileSystem::DirectoryExists(home)) {
    return "home directory " + home + " missing (" + *resolved + ")";
  }
  return "";
}

std::string Authenticator::Ineligibility(const users& account) {
  if (!account.Enabled) return "account " + account.Name + ": disabled";
  const std::string problem = HomeProblem(account);
  return problem.empty() ? "" : "account " + account.Name + ": " + problem;
}

bool Authenticator::PasswordMatches(const users& account, const std::string& password) {
  if (!account.PassHash.empty()) return PasswordHash::Verify(password, account.PassHash);
  return PasswordHash::VerifyClear(password, account.Pass);
}

bool Authenticator::PasswordCheck::Run(const std::string& password) const {
  switch (kind) {
    case Kind::Hash:
      return PasswordHash::Verify(password, stored);
    case Kind::Clear:
      return PasswordHash::VerifyClear(password, stored);
    case Kind::Dummy:
      PasswordHash::VerifyDummy(password);
      return false;
  }
  return false;
}

bool Authenticator::Matches(const users& account) {
  PasswordCheck check;
  check.kind = account.PassHash.empty() ? PasswordCheck::Kind::Clear : PasswordCheck::Kind::Hash;
  check.stored = account.PassHash.empty() ? account.Pass : account.PassHash;
  for (const auto& [known, matched] : *known_) {
    if (known == check) return matched;
  }
  throw NeedsCheck{std::move(check)};
}

void Authenticator::RequireOneCheck() const {
  // SECURITY: an account without a password costs the same hash as a checked one; asked for
  // before the admission changes anything, so that the decision can be run again after it.
  if (known_ != nullptr && known_->empty()) throw NeedsCheck{PasswordCheck{}};
}

void Authenticator::Refusal::Note(const std::string& why, bool eligible, bool badPassword) {
  // The first reason stands, unless an eligible account's comes after an ineligible one's.
  if (!reason.empty() && (fromEligible || !eligible)) return;
  reason = why;
  fromEligible = eligible;
  wrongPassword = badPassword;
}

bool Authenticator::Tried(const users& account, const std::string& password, const Usrdata& record,
                          Refusal& refusal) {
  const std::string why = Ineligibility(account);
  if (!why.empty()) {
    refusal.Note(why, false, false);
    return false;
  }
  if (account.RequireTLS && !record.Secure) {
    // SECURITY: the password came in clear; it is not compared, so a guess learns nothing.
    refusal.Note("account " + account.Name + ": TLS required", true, false);
    return false;
  }
  (void)password;  // compared through the answers of Decide
  if (account.EnablePass && !Matches(account)) {
    refusal.Note("account " + account.Name + ": wrong password", true, true);
    return false;
  }
  return true;
}

bool Authenticator::SessionLimitReached(const users& account, const Usrdata& record,
                                        Refusal& refusal) {
  if (account.MaxSessions <= 0) return false;
  int sessions = host_.LoggedInSessions(account.Name);
  if (record.Account == account.Name && sessions > 0) --sessions;  // a new login of this session
  if (sessions < account.MaxSessions) return false;
  const std::string why =
      "account " + account.Name + ": limit " + std::to_string(account.MaxSessions) + " sessions";
  refusal.Note(why, true, false);
  if (refusal.reason == why) refusal.sessionLimit = account.MaxSessions;
  return true;
}

void Authenticator::FtpServer1Authenticate(SessionView& client, const std::string& userName,
                                           const std::string& password, bool& authenticated,
                                           Usrdata& record) {
  PasswordAnswers known;
  while (const std::optional<PasswordCheck> check =
             Decide(client, userName, password, known, authenticated, record)) {
    known.emplace_back(*check, check->Run(password));
  }
}

std::optional<Authenticator::PasswordCheck> Authenticator::Decide(
    SessionView& client, const std::string& userName, const std::string& password,
    const PasswordAnswers& known, bool& authenticated, Usrdata& record) {
  authenticated = false;
  Refusal refusal;
  known_ = &known;
  try {
    authenticated = Checkuser(client, userName, password, record, refusal);
    if (!authenticated && !refusal.final) {
      // What the accounts of this very name said tells the operator more than the anonymous
      // ones.
      Refusal anonymous;
      authenticated = Checkuser2(client, userName, password, record, anonymous);
      if (refusal.reason.empty()) refusal = anonymous;
    }
  } catch (NeedsCheck& needed) {
    // No account admitted the client before this check, so nothing has been changed yet.
    known_ = nullptr;
    return std::move(needed.check);
  }
  known_ = nullptr;
  // SECURITY: a name without an account, or an account without a password, costs the same
  // hash as a checked password.
  if (known.empty()) return PasswordCheck{};
  if (authenticated) {
    host_.LogEvent(kLoginCategory, userName + " (" + client.GetPeerAddr() + ") logged in");
    host_.ShowClientCount();
    return std::nullopt;
  }
  host_.AddRefusedLogin();
  if (refusal.sessionLimit > 0) {
    record.RefusalAnswer = "530 Too many sessions for this account (limit " +
                           std::to_string(refusal.sessionLimit) + ").";
    host_.LogEvent(kLoginCategory, userName + " (" + client.GetPeerAddr() +
                                       ") connection refused : Too many sessions (" +
                                       refusal.reason + ")");
    return std::nullopt;
  }
  // The client is told only "530 Login or Password incorrect."; the log says why.
  const std::string reason = refusal.reason.empty() ? "unknown name" : refusal.reason;
  host_.LogEvent(kLoginCategory,
                 userName + " (" + client.GetPeerAddr() + ") connection refused : " +
                     (refusal.wrongPassword ? "Bad Password" : "Bad Login/Password") + " (" +
                     reason + ")");
  return std::nullopt;
}

bool Authenticator::Checkuser(SessionView& client, const std::string& userName,
                              const std::string& password, Usrdata& record, Refusal& refusal) {
  for (const users* account : accounts_.AccountList()) {
    if (!account->EnableLogin || userName != account->Login) continue;
    if (!Tried(*account, password, record, refusal)) {
      // SECURITY: the name of an eligible named account is never an anonymous login: that
      // would land the client in another account's tree as if it had succeeded.
      if (Eligible(*account)) refusal.final = true;
      continue;
    }
    RequireOneCheck();
    if (SessionLimitReached(*account, record, refusal)) {
      refusal.final = true;
      continue;
    }
    Admit(client, userName, *account, record);
    host_.AddAcceptedLogin();
    return true;
  }
  return false;
}

bool Authenticator::Checkuser2(SessionView& client, const std::string& userName,
                               const std::string& password, Usrdata& record, Refusal& refusal) {
  if (accounts_.AccountList().empty()) {
    refusal.Note("no accounts", false, true);
    return false;
  }
  const bool skipNamed = host_.Compatibility().AnonymousSkipsNamedAccounts();
  for (const users* account : accounts_.AccountList()) {
    if (account->EnableLogin) {
      if (skipNamed || !Eligible(*account)) continue;
      // Classic: a named account ends the search; anonymous accounts after it are out of reach.
      refusal.Note("unknown name; the named account " + account->Name +
                       " ends the search for an anonymous account",
                   false, false);
      return false;
    }
    if (!Tried(*account, password, record, refusal)) continue;
    RequireOneCheck();
    if (SessionLimitReached(*account, record, refusal)) continue;
    Admit(client, userName, *account, record);
    host_.AddAnonymousLogin();
    return true;
  }
  return false;
}

void Authenticator::Admit(SessionView& client, const std::string& userName, const users& account,
                          Usrdata& record) {
  record.UserName = userName;
  record.LoginTime = host_.CurrentDate() + " " + host_.CurrentTime();
  record.IP = client.GetPeerAddr();
  record.Status = "Current Directory " + account.Dirs[0].Dir;
  record.Idle = 0;
  record.Uploaded = 0;
  record.Downloaded = 0;
  record.IntervalBytes = 0;
  // Replaces every entry and link of an earlier login of this session.
  record.CopyAccount(account);
  host_.ClientLoggedIn(record);
  client.SetHomeDirectory(account.Dirs[0].Dir);
}

MacroExpander Authenticator::LoginMacros(SessionView& client, const Usrdata& record) {
  // The order matters: %TIMEOUT before %TIME, and each macro sees the text of the earlier ones.
  MacroExpander macros;
  macros.Add("%USERNAME", client.LoginName());
  macros.Add("%IP", client.GetPeerAddr());
  macros.Add("%TIMEOUT", std::to_string(record.Timeout));
  macros.Add("%TIME", host_.CurrentTime());
  macros.Add("%DATE", host_.CurrentDate());
  macros.Add("%NUMBR", std::to_string(host_.ClientRecordCount()));
  macros.Add("%RATIO", std::to_string(record.Xupl) + "/" + std::to_string(record.Xdl));
  macros.AddDeferred("%LOCALIP", [this]() { return host_.LocalIPAddr(); });
  macros.Add("%MAXDL", std::to_string(record.Credit));
  macros.Add("%HOME", client.HomeDirectory());
  return macros;
}

void Authenticator::FtpServer1Logged(SessionView& client, Usrdata& record) {
  if (record.Message.empty() || !FileSystem::FileExists(record.Message)) return;
  // A message file that cannot be read is skipped like a missing one: the login itself has
  // already succeeded and must still get its "230" reply.
  const std::optional<std::vector<std::string>> lines = ReadTextLines(record.Message);
  if (!lines) return;
  MacroExpander macros = LoginMacros(client, record);
  for (const std::string& text : *lines) {
    const std::string line = "230-" + macros.Expand(text);
    client.AddReplyLine(line);
    host_.LogEvent(kAnswerCategory, Who(client) + " " + line);
  }
}

}  // namespace orvane
