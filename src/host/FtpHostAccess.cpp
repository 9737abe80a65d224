// The host's access hooks and its side of HostView: each engine hook finds the client's
// record and hands over to the authentication, directory rights and transfer accounting.
#include <system_error>

#include "host/FtpHost.h"

#include <tuple>

#include "platform/Clock.h"
#include "platform/FileSystem.h"

namespace orvane {

void FtpHost::LogEventSplit(int category, const std::string& screenText,
                            const std::string& fileText) {
  log_.LogEventSplit(category, screenText, fileText);
}

void FtpHost::AddDownloaded(int64_t bytes) {
  stats_.Dl += bytes;
  stats_.Throughput += bytes;
}

void FtpHost::AddUploaded(int64_t bytes) {
  stats_.Upl += bytes;
  stats_.Throughput += bytes;
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
  for (const users* a : accounts_.AccountList()) {
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

namespace {

// The access component's handler as a hook body: component.method(client, args..., record).
template <typename Component, typename Method>
auto Handler(Component& component, Method method) {
  return [&component, method](TFtpCtrlSocket& c, Usrdata& r, auto&&... args) {
    (component.*method)(c, args..., r);
  };
}

}  // namespace

template <FtpHost::NoRecord kNoRecord, typename Body>
auto FtpHost::WithRecord(Body body) {
  return [this, body](TFtpServer&, TFtpCtrlSocket& c, auto&&... args) {
    Usrdata* r = RecordOf(c);
    if (r != nullptr) {
      body(c, *r, args...);
    } else if constexpr (kNoRecord == NoRecord::Refuse) {
      bool& allowed = std::get<sizeof...(args) - 1>(std::forward_as_tuple(args...));
      allowed = false;
    }
  };
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
    if (ok) {
      client.DownloadRateLimit = int64_t{record->DownloadRate} * 1024;
      client.UploadRateLimit = int64_t{record->UploadRate} * 1024;
      limits_.LoggedIn(*record);
    }
    // Every login asks for one check at least, so the session is deferred by now.
    FtpServer1.CompleteAuthentication(client, ok);
    // A refusal may be answered late (Timer5); everything else is answered now. A full
    // account is no guess (its password matched): its refusal is answered at once.
    if (ok || !record->RefusalAnswer.empty() || !RefusedPassword(client, *record)) {
      FtpServer1.ReleaseHeldAnswer(client);
    }
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
  // A session that left meanwhile is not found; one found no longer waiting is left alone.
  TFtpCtrlSocket* client = FtpServer1.FindClient(sequence);
  if (client != nullptr && FtpServer1.Lists(*client) && client->AuthenticationDeferred()) {
    ContinueLogin(*client, userName, password, known);
  }
}

void FtpHost::AssignAccessHooks() {
  // A session reaches these hooks only between the connection and disconnection hooks, so it
  // always has a record; a session without one is refused every access.
  constexpr NoRecord kRefuse = NoRecord::Refuse;
  FtpServer1.OnAuthenticate = [this](TFtpServer&, TFtpCtrlSocket& c, const std::string& user,
                                     const std::string& pass, bool& ok) {
    ok = false;
    if (RecordOf(c) == nullptr) return;
    ContinueLogin(c, user, pass, {});
  };
  FtpServer1.OnStatusLines = [this](TFtpServer&, TFtpCtrlSocket& c, std::string& lines) {
    const Usrdata* r = RecordOf(c);
    if (r == nullptr) return;
    const std::string quota = limits_.QuotaText(*r);
    if (!quota.empty()) lines += " Quota: " + quota + "\r\n";
    const std::string rates = AccountLimits::RatesText(c.DownloadRateLimit, c.UploadRateLimit);
    if (!rates.empty()) lines += " Rate limits: " + rates + "\r\n";
  };
  FtpServer1.OnClientSecured = WithRecord([this](TFtpCtrlSocket& c, Usrdata& r) {
    r.Secure = true;
    LogEvent(1, c.GetPeerAddr() + " TLS " + (c.Tls() ? c.Tls()->Description() : std::string()));
    if (!r.Account.empty()) ui_.ClientListChanged();
  });
  FtpServer1.OnTlsFailed = [this](TFtpServer&, TFtpCtrlSocket& c, bool data,
                                  const std::string& reason) {
    LogEvent(1, c.GetPeerAddr() + (data ? " data connection" : "") + " TLS failed: " + reason);
  };
  FtpServer1.OnLogged = WithRecord(Handler(authenticator_, &Authenticator::FtpServer1Logged));
  FtpServer1.OnChangeDirectory =
      WithRecord<kRefuse>(Handler(rights_, &DirectoryRights::FtpServer1ChangeDirectory));
  // An upload the rights allow may still pass the account's quota.
  FtpServer1.OnValidatePut = WithRecord<kRefuse>(
      [this](TFtpCtrlSocket& c, Usrdata& r, std::string& path, bool& allowed) {
        rights_.FtpServer1ValidatePut(c, path, allowed, r);
        if (!allowed || c.CurCmdType != ftpcSTOR) return;
        const std::string why = limits_.RefuseUpload(r, path);
        if (why.empty()) return;
        allowed = false;
        r.RefusalAnswer = AccountLimits::kQuotaExceeded;
        LogEvent(5, c.UserName + " (" + c.GetPeerAddr() + ") asked to upload " + path +
                        " --> Quota exceeded: " + why);
      });
  FtpServer1.OnValidateDele = WithRecord<kRefuse>(
      [this](TFtpCtrlSocket& c, Usrdata& r, std::string& path, bool& allowed) {
        rights_.FtpServer1ValidateDele(c, path, allowed, r);
        if (allowed) limits_.DeleteAsked(r, path);
      });
  FtpServer1.OnValidateSize = WithRecord<kRefuse>(
      [this](TFtpCtrlSocket& c, Usrdata& r, std::string& path, bool& allowed) {
        allowed = rights_.CheckSize(c, r, path);
      });
  FtpServer1.OnMakeDirectory =
      WithRecord<kRefuse>(Handler(rights_, &DirectoryRights::FtpServer1MakeDirectory));
  FtpServer1.OnDirMade = WithRecord(Handler(rights_, &DirectoryRights::FtpServer1DirMade));
  FtpServer1.OnValidateListingDir =
      WithRecord<kRefuse>(Handler(rights_, &DirectoryRights::FtpServer1ValidateListingDir));
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
  FtpServer1.OnCheckhidden = WithRecord(Handler(rights_, &DirectoryRights::FtpServer1Checkhidden));
  FtpServer1.OnAddLinks = WithRecord(Handler(rights_, &DirectoryRights::FtpServer1AddLinks));
  FtpServer1.OnValidateGet =
      WithRecord<kRefuse>(Handler(accounting_, &TransferAccounting::FtpServer1ValidateGet));
  FtpServer1.OnUpdateXfer =
      WithRecord(Handler(accounting_, &TransferAccounting::FtpServer1UpdateXfer));
  // The data connection's hooks: the accounting's handler, then the transfer log's side.
  FtpServer1.OnRetrSessionConnected =
      WithRecord([this](TFtpCtrlSocket& c, Usrdata& r, TWSocket&, uint16_t e) {
        accounting_.FtpServer1RetrSessionConnected(c, e, r);
        if (e == 0) XferStarted(c, 'o', r);
      });
  FtpServer1.OnRetrDataSent = WithRecord([this](TFtpCtrlSocket& c, Usrdata& r, TWSocket&,
                                                uint16_t e) {
    accounting_.FtpServer1RetrDataSent(c, e, r);
  });
  FtpServer1.OnRetrSessionClosed = WithRecord(
      [this](TFtpCtrlSocket& c, Usrdata& r, TWSocket&, const Transfer& t, uint16_t e) {
        accounting_.FtpServer1RetrSessionClosed(c, e, r);
        XferEnded(c, r, e == 0 && t.AllSent());
      });
  FtpServer1.OnStorSessionConnected =
      WithRecord([this](TFtpCtrlSocket& c, Usrdata& r, TWSocket&, uint16_t e) {
        accounting_.FtpServer1StorSessionConnected(c, e, r);
        if (e == 0) XferStarted(c, 'i', r);
      });
  FtpServer1.OnStorDataAvailable = WithRecord(
      [this](TFtpCtrlSocket& c, Usrdata& r, TWSocket&, const char* buf, int len, uint16_t e) {
        if (!limits_.Receive(r, len)) {
          // Thrown before the block is written: the channel ends the upload, the close below
          // removes what it created, and the client reads why.
          r.RefusalAnswer = AccountLimits::kQuotaExceeded;
          throw std::runtime_error("Quota exceeded");
        }
        accounting_.FtpServer1StorDataAvailable(c, buf, len, e, r);
      });
  FtpServer1.OnStorSessionClosed = WithRecord(
      [this](TFtpCtrlSocket& c, Usrdata& r, TWSocket&, const Transfer& t, uint16_t e) {
        accounting_.FtpServer1StorSessionClosed(c, e, r);
        XferEnded(c, r, e == 0 && !t.Aborted());
        if (limits_.UploadEnded(r)) {
          LogEvent(6, c.UserName + " (" + c.GetPeerAddr() + ") upload of " + c.FileName + " in " +
                          c.Directory() + " ended: Quota exceeded (" + limits_.QuotaText(r) + ")");
        }
      });
}

}  // namespace orvane
