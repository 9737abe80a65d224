#include "access/Authenticator.h"

#include "access/AccessHost.h"
#include "access/AccountStore.h"
#include "access/SessionText.h"
#include "access/TextFileLines.h"
#include "access/Usrdata.h"
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

void Authenticator::FtpServer1Authenticate(SessionView& client, const std::string& userName,
                                           const std::string& password, bool& authenticated,
                                           Usrdata& record) {
  authenticated = Checkuser(client, userName, password, record);
  if (!authenticated) authenticated = Checkuser2(client, userName, password, record);
  if (authenticated) {
    host_.LogEvent(kLoginCategory, userName + " (" + client.GetPeerAddr() + ") logged in");
    host_.ShowClientCount();
  } else {
    host_.AddRefusedLogin();
  }
}

bool Authenticator::Checkuser(SessionView& client, const std::string& userName,
                              const std::string& password, Usrdata& record) {
  for (const users* account : accounts_.AccountList()) {
    if (!Eligible(*account)) continue;
    if (!account->EnableLogin || userName != account->Login) continue;
    if (account->EnablePass && password != account->Pass) continue;
    Admit(client, userName, password, *account, record);
    host_.AddAcceptedLogin();
    return true;
  }
  return false;
}

bool Authenticator::Checkuser2(SessionView& client, const std::string& userName,
                               const std::string& password, Usrdata& record) {
  const std::string who = userName + " (" + client.GetPeerAddr() + ")";
  if (accounts_.AccountList().empty()) {
    host_.LogEvent(kLoginCategory, who + " connection refused : Bad Password");
    return false;
  }
  // SECURITY: the name of a named account with a wrong password is a failed login, never an
  // anonymous one: it would land the client in another account's tree as if it had succeeded.
  for (const users* account : accounts_.AccountList()) {
    if (Eligible(*account) && account->EnableLogin && userName == account->Login) {
      host_.LogEvent(kLoginCategory, who + " connection refused : Bad Login/Password");
      return false;
    }
  }
  for (const users* account : accounts_.AccountList()) {
    if (!Eligible(*account)) continue;
    if (account->EnableLogin) {
      // A named account ends the search: anonymous accounts after it are out of reach.
      host_.LogEvent(kLoginCategory, who + " connection refused : Bad Login/Password");
      return false;
    }
    if (account->EnablePass && password != account->Pass) continue;
    Admit(client, userName, password, *account, record);
    host_.AddAnonymousLogin();
    return true;
  }
  return false;
}

void Authenticator::Admit(SessionView& client, const std::string& userName,
                          const std::string& password, const users& account, Usrdata& record) {
  record.UserName = userName;
  record.LoginTime = host_.CurrentDate() + " " + host_.CurrentTime();
  record.IP = client.GetPeerAddr();
  record.Status = "Current Directory " + account.Dirs[0].Dir;
  record.Idle = 0;
  record.Uploaded = 0;
  record.Downloaded = 0;
  record.IntervalBytes = 0;
  record.Password = password;
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
