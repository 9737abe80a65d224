// The host's access hooks and its side of AccessHost: each engine hook finds the client's
// record and hands over to the authentication, directory rights and transfer accounting.
#include <system_error>

#include "host/FtpHost.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"

namespace orvane {

void FtpHost::LogEventSplit(int category, const std::string& screenText,
                            const std::string& fileText) {
  log_.LogEventSplit(category, screenText, fileText);
}

void FtpHost::AddDownloaded(int64_t bytes) {
  stats.Dl += bytes;
  stats.Throughput += bytes;
}

void FtpHost::AddUploaded(int64_t bytes) {
  stats.Upl += bytes;
  stats.Throughput += bytes;
}

void FtpHost::ClientLoggedIn(Usrdata&) {
  ui_.ClientListChanged();
}

void FtpHost::ClientStatusChanged(Usrdata&) {
  ui_.ClientListChanged();
}

std::string FtpHost::CurrentDate() {
  return ShortDate(Now());
}

std::string FtpHost::CurrentTime() {
  return LongTime(Now());
}

void FtpHost::XferStarted(TFtpCtrlSocket& client, char direction, const Usrdata& record) {
  if (!xferLog_.IsOpen() || client.FilePath.empty()) return;  // off, or a listing
  TransferLog::Entry entry;
  entry.remoteHost = client.GetPeerAddr();
  entry.fileName = FileSystem::ToPosix(client.FilePath).value_or(client.FilePath);
  entry.direction = direction;
  const users* account = nullptr;
  for (const users* a : accounts.AccountList()) {
    if (a->Name == record.Account) account = a;
  }
  entry.accessMode = account != nullptr && !account->EnableLogin ? 'a' : 'r';
  entry.userName = record.UserName;
  xferLog_.Started(client, std::move(entry),
                   direction == 'o' ? record.Downloaded : record.Uploaded);
}

void FtpHost::XferEnded(TFtpCtrlSocket& client, const Usrdata& record, bool complete) {
  const char direction = xferLog_.Direction(client);
  if (direction == 0) return;
  xferLog_.Ended(client, direction == 'o' ? record.Downloaded : record.Uploaded, complete);
}

void FtpHost::ContinueLogin(TFtpCtrlSocket& client, const std::string& userName,
                            const std::string& password,
                            const Authenticator::PasswordAnswers& known) {
  Usrdata* record = RecordOf(client);
  if (record == nullptr) return;
  bool ok = false;
  const std::optional<Authenticator::PasswordCheck> check =
      authenticator_.Decide(client, userName, password, known, ok, *record);
  if (!check) {
    // Every login asks for one check at least, so the session is deferred by now.
    FtpServer1.CompleteAuthentication(client, ok);
    // A refusal may be answered late (Timer5); everything else is answered now.
    if (ok || !RefusedPassword(client, *record)) FtpServer1.ReleaseHeldAnswer(client);
    return;
  }
  // SECURITY: the hash (about 20 ms) runs on a worker, never on the loop thread, and the
  // session waits held; the job works on copies and finds the session by its number.
  if (!client.AuthenticationDeferred()) client.DeferAuthentication();
  try {
    passwordWorkers_.Submit(hostToken_, [this, check = *check, sequence = client.SequenceNumber,
                                         userName, password, known]() {
      Authenticator::PasswordAnswers answers = known;
      answers.emplace_back(check, check.Run(password));
      return [this, sequence, userName, password, answers = std::move(answers)]() {
        ResumeLogin(sequence, userName, password, answers);
      };
    });
  } catch (const std::system_error&) {
    // No worker thread to be had: the check runs here rather than leave the login waiting.
    Authenticator::PasswordAnswers answers = known;
    answers.emplace_back(*check, check->Run(password));
    ContinueLogin(client, userName, password, answers);
  }
}

void FtpHost::ResumeLogin(uint64_t sequence, const std::string& userName,
                          const std::string& password,
                          const Authenticator::PasswordAnswers& known) {
  for (int i = 0; i < FtpServer1.ClientCount(); ++i) {
    TFtpCtrlSocket& client = FtpServer1.Client(i);
    if (client.SequenceNumber != sequence) continue;
    // A session that left meanwhile is not found; one found no longer waiting is left alone.
    if (client.AuthenticationDeferred()) ContinueLogin(client, userName, password, known);
    return;
  }
}

Usrdata* FtpHost::RecordOrDeny(const TFtpCtrlSocket& client, bool& allowed) {
  Usrdata* record = RecordOf(client);
  if (record == nullptr) allowed = false;
  return record;
}

void FtpHost::AssignAccessHooks() {
  // A session reaches these hooks only between the connection and disconnection hooks, so it
  // always has a record; a session without one is refused every access.
  FtpServer1.OnAuthenticate = [this](TFtpServer&, TFtpCtrlSocket& c, const std::string& user,
                                     const std::string& pass, bool& ok) {
    ok = false;
    if (RecordOf(c) == nullptr) return;
    ContinueLogin(c, user, pass, {});
  };
  FtpServer1.OnClientSecured = [this](TFtpServer&, TFtpCtrlSocket& c) {
    Usrdata* r = RecordOf(c);
    if (r == nullptr) return;
    r->Secure = true;
    LogEvent(1, c.GetPeerAddr() + " TLS " + (c.Tls() ? c.Tls()->Description() : std::string()));
    if (!r->Account.empty()) ui_.ClientListChanged();
  };
  FtpServer1.OnTlsFailed = [this](TFtpServer&, TFtpCtrlSocket& c, bool data,
                                  const std::string& reason) {
    LogEvent(1, c.GetPeerAddr() + (data ? " data connection" : "") + " TLS failed: " + reason);
  };
  FtpServer1.OnLogged = [this](TFtpServer&, TFtpCtrlSocket& c) {
    if (Usrdata* r = RecordOf(c)) authenticator_.FtpServer1Logged(c, *r);
  };
  FtpServer1.OnChangeDirectory = [this](TFtpServer&, TFtpCtrlSocket& c, const std::string& dir,
                                        bool& allowed) {
    if (Usrdata* r = RecordOrDeny(c, allowed))
      rights_.FtpServer1ChangeDirectory(c, dir, allowed, *r);
  };
  FtpServer1.OnValidatePut = [this](TFtpServer&, TFtpCtrlSocket& c, std::string& path,
                                    bool& allowed) {
    if (Usrdata* r = RecordOrDeny(c, allowed)) rights_.FtpServer1ValidatePut(c, path, allowed, *r);
  };
  FtpServer1.OnValidateDele = [this](TFtpServer&, TFtpCtrlSocket& c, std::string& path,
                                     bool& allowed) {
    if (Usrdata* r = RecordOrDeny(c, allowed)) rights_.FtpServer1ValidateDele(c, path, allowed, *r);
  };
  FtpServer1.OnValidateSize = [this](TFtpServer&, TFtpCtrlSocket& c, std::string& path,
                                     bool& allowed) {
    Usrdata* r = RecordOf(c);
    allowed = r != nullptr && rights_.CheckSize(c, *r, path);
  };
  FtpServer1.OnMakeDirectory = [this](TFtpServer&, TFtpCtrlSocket& c, std::string& dir,
                                      bool& allowed) {
    if (Usrdata* r = RecordOrDeny(c, allowed)) rights_.FtpServer1MakeDirectory(c, dir, allowed, *r);
  };
  FtpServer1.OnDirMade = [this](TFtpServer&, TFtpCtrlSocket& c, std::string& path, bool created) {
    if (Usrdata* r = RecordOf(c)) rights_.FtpServer1DirMade(c, path, created, *r);
  };
  FtpServer1.OnValidateListingDir = [this](TFtpServer&, TFtpCtrlSocket& c, bool& allowed) {
    if (Usrdata* r = RecordOrDeny(c, allowed)) rights_.FtpServer1ValidateListingDir(c, allowed, *r);
  };
  FtpServer1.OnDirectoryRights = [this](TFtpServer&, TFtpCtrlSocket& c, const std::string& dir,
                                        std::string& rights) {
    Usrdata* r = RecordOf(c);
    rights = r != nullptr ? rights_.RightsLetters(*r, dir) : "";
  };
  FtpServer1.OnAlterDirectory = [this](TFtpServer&, TFtpCtrlSocket& c, std::string& dir,
                                       bool detailed) {
    Usrdata* r = RecordOf(c);
    if (r == nullptr) throw std::runtime_error("Permission denied");
    rights_.FtpServer1AlterDirectory(c, dir, detailed, *r);
  };
  FtpServer1.OnCheckhidden = [this](TFtpServer&, TFtpCtrlSocket& c, const std::string& path,
                                    bool& hidden) {
    if (Usrdata* r = RecordOf(c)) rights_.FtpServer1Checkhidden(c, path, hidden, *r);
  };
  FtpServer1.OnAddLinks = [this](TFtpServer&, TFtpCtrlSocket& c, std::string& stream) {
    if (Usrdata* r = RecordOf(c)) rights_.FtpServer1AddLinks(c, stream, *r);
  };
  FtpServer1.OnValidateGet = [this](TFtpServer&, TFtpCtrlSocket& c, std::string& path,
                                    bool& allowed) {
    if (Usrdata* r = RecordOrDeny(c, allowed))
      accounting_.FtpServer1ValidateGet(c, path, allowed, *r);
  };
  FtpServer1.OnRetrSessionConnected = [this](TFtpServer&, TFtpCtrlSocket& c, TWSocket&,
                                             uint16_t e) {
    Usrdata* r = RecordOf(c);
    if (r == nullptr) return;
    accounting_.FtpServer1RetrSessionConnected(c, e, *r);
    if (e == 0) XferStarted(c, 'o', *r);
  };
  FtpServer1.OnUpdateXfer = [this](TFtpServer&, TFtpCtrlSocket& c, int count) {
    if (Usrdata* r = RecordOf(c)) accounting_.FtpServer1UpdateXfer(c, count, *r);
  };
  FtpServer1.OnRetrDataSent = [this](TFtpServer&, TFtpCtrlSocket& c, TWSocket&, uint16_t e) {
    if (Usrdata* r = RecordOf(c)) accounting_.FtpServer1RetrDataSent(c, e, *r);
  };
  FtpServer1.OnRetrSessionClosed = [this](TFtpServer&, TFtpCtrlSocket& c, TWSocket&, uint16_t e) {
    Usrdata* r = RecordOf(c);
    if (r == nullptr) return;
    accounting_.FtpServer1RetrSessionClosed(c, e, *r);
    XferEnded(c, *r, e == 0 && c.Data().AllSent());
  };
  FtpServer1.OnStorSessionConnected = [this](TFtpServer&, TFtpCtrlSocket& c, TWSocket&,
                                             uint16_t e) {
    Usrdata* r = RecordOf(c);
    if (r == nullptr) return;
    accounting_.FtpServer1StorSessionConnected(c, e, *r);
    if (e == 0) XferStarted(c, 'i', *r);
  };
  FtpServer1.OnStorDataAvailable = [this](TFtpServer&, TFtpCtrlSocket& c, TWSocket&,
                                          const char* buf, int len, uint16_t e) {
    if (Usrdata* r = RecordOf(c)) accounting_.FtpServer1StorDataAvailable(c, buf, len, e, *r);
  };
  FtpServer1.OnStorSessionClosed = [this](TFtpServer&, TFtpCtrlSocket& c, TWSocket&, uint16_t e) {
    Usrdata* r = RecordOf(c);
    if (r == nullptr) return;
    accounting_.FtpServer1StorSessionClosed(c, e, *r);
    XferEnded(c, *r, e == 0 && !c.Data().Aborted());
  };
}

}  // namespace orvane
