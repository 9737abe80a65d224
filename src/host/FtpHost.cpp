#include "host/FtpHost.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "host/ConfigurationCheck.h"
#include "host/Macros.h"
#include "host/TlsCredentialsMaker.h"
#include "net/ESocketException.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/WinsockError.h"

namespace orvane {

namespace {

int64_t SteadyMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

const std::string kHiddenPassword = "****";

int64_t SteadySeconds() {
  return SteadyMilliseconds() / 1000;
}

}  // namespace

FtpHost::FtpHost(EventLoop& loop, HostUi& ui, std::string programDir)
    : FtpServer1(loop),
      memo_(ui),
      loop_(loop),
      ui_(ui),
      programDir_(std::move(programDir)),
      log_(logSettings_, memo_),
      authenticator_(*this, accounts_),
      rights_(*this),
      accounting_(*this, rights_),
      admission_(banList_, clients_),
      timer2_(loop),
      timer3_(loop),
      timer4_(loop),
      timer5_(loop),
      hostToken_(loop.NewToken()),
      localAddress_(loop),
      // At the loop thread's own priority: lower, the logins of a server on a busy machine
      // starve behind every other program.
      passwordWorkers_(loop, 2) {
  if (!programDir_.empty() && programDir_.back() != '/') programDir_ += '/';
  // The values the main window gives its engine before start-up empties the banner.
  FtpServer1.Port = "21";
  FtpServer1.Banner = "220 Orvane FTP server v1.3 ready.";
  for (TThreadedTimer* t : {&timer2_, &timer3_, &timer4_, &timer5_}) t->SetEnabled(false);
  // Log lines are written once per loop round (whole lines, one write per file), and the
  // memo's lines leave the program after them.
  log_.SetBuffered(true);
  xferLog_.SetBuffered(true);
  log_.OnPending = [this]() { OutputPending(); };
  xferLog_.OnPending = [this]() { OutputPending(); };
  memo_.OnPending = [this]() { OutputPending(); };
  memo_.Append(kProductLine);

  FtpServer1.OnStart = [this](TFtpServer& s) { FtpServer1Start(s); };
  FtpServer1.OnStop = [this](TFtpServer& s) { FtpServer1Stop(s); };
  FtpServer1.OnClientConnect = [this](TFtpServer& s, TFtpCtrlSocket& c, uint16_t e) {
    FtpServer1ClientConnect(s, c, e);
  };
  FtpServer1.OnClientDisconnect = [this](TFtpServer& s, TFtpCtrlSocket& c, uint16_t e) {
    FtpServer1ClientDisconnect(s, c, e);
  };
  FtpServer1.OnClientCommand = [this](TFtpServer& s, TFtpCtrlSocket& c, std::string& k,
                                      std::string& p,
                                      std::string& a) { FtpServer1ClientCommand(s, c, k, p, a); };
  FtpServer1.OnAnswerToClient = [this](TFtpServer& s, TFtpCtrlSocket& c, std::string& a) {
    FtpServer1AnswerToClient(s, c, a);
  };
  AssignAccessHooks();
}

FtpHost::~FtpHost() {
  for (TThreadedTimer* t : {&timer2_, &timer3_, &timer4_, &timer5_}) t->SetEnabled(false);
  loop_.Release(hostToken_);
  FlushOutput();
}

void FtpHost::OutputPending() {
  if (outputFlushDue_) return;
  if (!loop_.InRound()) {
    FlushOutput();
    return;
  }
  outputFlushDue_ = true;
  // Before the round's gathered replies: a client that got an answer finds its lines logged.
  loop_.AtRoundEndFirst(hostToken_, [this]() { FlushOutput(); });
}

void FtpHost::FlushOutput() {
  outputFlushDue_ = false;
  log_.Flush();
  xferLog_.Flush();
  ui_.MemoFlush();
}

// ---------------------------------------------------------------------------------------------
// Start-up, start and stop, shutdown

bool FtpHost::StartUp(const std::optional<std::string>& portArgument, bool forceStart) {
  IniFile ini(IniPath());
  startupSettings_.Read(ini);
  startupSettings_.Apply(FtpServer1);
  logSettings_.Load(ini);
  // The session block names the port the server is about to listen on.
  const int maxClients = setup_.Load(ini);
  const std::string port = portArgument ? *portArgument : setup_.Port;
  const std::string logName = logSettings_.ResolvedLogFileName(programDir_);
  std::vector<ConfigurationCheck::Finding> findings =
      ConfigurationCheck::Check(ini, SettingsReference::File::Server);
  for (ConfigurationCheck::Finding& finding : ConfigurationCheck::Check(
           IniFile(programDir_ + "Accounts.ini"), SettingsReference::File::Accounts)) {
    findings.push_back(std::move(finding));
  }
  configurationRefused_ = ConfigurationCheck::Fatal(findings);
  if (!log_.Open(logName, port)) {
    const int error = errno;
    for (const ConfigurationCheck::Finding& finding : findings) memo_.Append(finding.text);
    ui_.MessageBox("Cannot open the log file " + logName + " (" + std::strerror(error) + ")");
    return false;
  }
  for (const ConfigurationCheck::Finding& finding : findings) log_.Notice(finding.text);
  if (configurationRefused_) {
    log_.Close();
    return false;
  }
  if (TransferLog::Enabled(ini)) {
    const std::string xferName = TransferLog::FileName(ini, programDir_);
    if (!xferLog_.Open(xferName)) {
      ui_.MessageBox("Cannot open the transfer log " + xferName + " (" + std::strerror(errno) +
                     ")");
    }
  }
  stats_.Load(ini);
  statsLoaded_ = true;
  TlsStartSettings tls;
  tls.Load(ini);
  FtpServer1.Tls = TlsCredentialsMaker::Prepare(
      tls, programDir_, [this](const std::string& line) { LogEvent(1, line); });
  // Required logins stay refused in clear even when the certificate cannot be used.
  FtpServer1.TlsRequireLogin = tls.Enabled && tls.RequireLogin;
  FtpServer1.TlsRequireReuse = tls.RequireReuse;
  FtpServer1.ImplicitPort = tls.Implicit ? std::to_string(tls.ImplicitPort) : "";
  FtpServer1.Banner.clear();  // every greeting is the connection hook's
  accounts_.HashPasswords = FtpServer1.Compatibility.StoresPasswordHashes();
  accounts_.Load(programDir_ + "Accounts.ini");
  ReportAccountHomes();
  messages_.Load(ini);
  freeFiles_.Load(ini);
  loginGuard_.Load(ini);
  ApplyServerRates(ini);

  if (OnBeforeAutoStart) OnBeforeAutoStart();
  FtpServer1.MaxClients = maxClients;
  if (setup_.AutoLaunch || forceStart) StartEngine(port);
  ShowClientCount();

  timer2_.SetOnTimer([this](TThreadedTimer&) { Timer2Timer(); });
  timer3_.SetOnTimer([this](TThreadedTimer&) { Timer3Timer(); });
  timer4_.SetOnTimer([this](TThreadedTimer&) { Timer4Timer(); });
  // Held answers are looked at five times a second, so a delay of n seconds lasts about n s.
  timer5_.SetInterval(200);
  timer5_.SetOnTimer([this](TThreadedTimer&) { Timer5Timer(); });
  for (TThreadedTimer* t : {&timer2_, &timer3_, &timer4_, &timer5_}) t->SetEnabled(true);
  localAddress_.Refresh();  // so that the first greeting with %LOCALIP finds an answer
  return true;
}

void FtpHost::StartEngine(const std::string& port) {
  FtpServer1.Port = port;
  try {
    FtpServer1.Start();
    if (FtpServer1.Tls && !FtpServer1.ImplicitPort.empty() &&
        FtpServer1.ImplicitSocket().State() != wsListening) {
      LogEvent(1, "Implicit TLS port " + FtpServer1.ImplicitPort + " cannot be opened");
    }
  } catch (const ESocketException&) {
    // Linux keeps the ports below 1024 for privileged programs: say so rather than call the
    // port taken.
    ReportPortInUse(FtpServer1.ServerSocket().LastError() == kWsaEacces);
  } catch (const std::exception&) {
    ReportPortInUse();
  }
}

void FtpHost::ReportPortInUse(bool notPermitted) {
  if (notPermitted) {
    ui_.MessageBox("Port number " + FtpServer1.Port +
                   " is reserved for privileged programs ! Use a port of 1024 or more, or give "
                   "the program the right to bind low ports (setcap "
                   "cap_net_bind_service=+ep PROGRAM).");
  } else {
    ui_.MessageBox("Port number " + FtpServer1.Port + " is already in use !");
  }
  try {
    FtpServer1.Stop();
  } catch (const std::exception&) {
    // Stopping a socket that never listened cannot fail in a way worth reporting.
  }
}

bool FtpHost::StartStopCommand() {
  SaveStats();
  if (!FtpServer1.Active()) {
    StartEngine(setup_.Port);
    return true;
  }
  const int n = FtpServer1.ClientCount();
  if (n > 0) {
    const std::string question =
        n == 1 ? "There is still 1 user connected, do you really want to stop the server ?"
               : "There are still " + std::to_string(n) +
                     " users connected, do you really want to stop the server ?";
    if (!ui_.Confirm(question)) return false;
    FtpServer1.DisconnectAll();
    ui_.ActivateCaption("Activate");
    FtpServer1.Stop();
  } else {
    FtpServer1.Stop();  // the stopped event empties Clients
    ui_.ClientListChanged();
    ui_.ActivateCaption("Activate");
  }
  ShowClientCount();
  return true;
}

bool FtpHost::RequestClose() {
  const std::vector<Usrdata*> listed = clients_.Listed();
  const bool anyListed = std::any_of(listed.begin(), listed.end(),
                                     [](const Usrdata* r) { return !r->Account.empty(); });
  if (anyListed && FtpServer1.Active()) return StartStopCommand();
  return true;
}

void FtpHost::Finish(bool stopCommandFirst) {
  if (finished_) return;
  finished_ = true;
  if (stopCommandFirst) RequestClose();
  FtpServer1.DisconnectAll();
  if (FtpServer1.Active()) FtpServer1.Stop();
  // The disconnection hooks run from the loop: a bounded number of rounds lets them run before
  // the session end block is written.
  for (int i = 0; i < 10 && loop_.HasPending(); ++i) loop_.ProcessReady(0);
  Shutdown();
}

void FtpHost::Shutdown() {
  for (TThreadedTimer* t : {&timer2_, &timer3_, &timer4_, &timer5_}) t->SetEnabled(false);
  // Counters changed since the last start/stop command would be lost otherwise. Never before
  // they were read: that would overwrite the stored totals with zeros.
  if (statsLoaded_) SaveStats();
  log_.Close();
  xferLog_.Close();
  FlushOutput();
}

bool FtpHost::Kick(const ClientRef& ref) {
  TFtpCtrlSocket* client = clients_.SessionOf(ref);
  return client != nullptr && FtpServer1.Disconnect(*client);
}

int FtpHost::KickAll() {
  const int n = FtpServer1.ClientCount();
  FtpServer1.DisconnectAll();
  return n;
}

bool FtpHost::Ban(const ClientRef& ref, bool writeFileLine) {
  const Usrdata* record = clients_.Resolve(ref);
  if (record == nullptr) return false;
  if (banList_.Contains(record->IP)) {
    banList_.Add(record->IP);  // an automatic ban becomes the operator's and stays
    return false;
  }
  // Copies: the screen line may run a window's refresh.
  const std::string ip = record->IP;
  const std::string user = record->UserName;
  banList_.Add(ip);
  memo_.Append(ip + " added to the ban list !");
  if (writeFileLine) {
    log_.WriteStampedLine(user + " (" + ip + ") banned");
    log_.Flush();
  }
  return true;
}

bool FtpHost::AddBan(const std::string& address) {
  const bool listed = banList_.Contains(address);
  banList_.Add(address);  // also makes an automatic ban of the address the operator's
  return !listed;
}

bool FtpHost::Unban(std::size_t position) {
  if (position >= banList_.Items().size()) return false;
  banList_.Delete(static_cast<int>(position));
  return true;
}

void FtpHost::RestartSpeeds() {
  for (Usrdata* record : clients_.Listed()) record->IntervalBytes = 0;
}

void FtpHost::ApplySetup(IniFile& ini) {
  const LiveServerSettings::OkResult result = setup_.StoreOk(ini, FtpServer1.MaxClients);
  if (result.maxClientsChanged) {
    FtpServer1.MaxClients = result.maxClients;
    ShowClientCount();
  }
  if (setup_.Port != FtpServer1.Port) {
    ui_.MessageBox("You will need to restart the server for change of the port takes effect !");
  }
  FtpServer1.Port = setup_.Port;
}

void FtpHost::ApplyPassive(const PassiveSettings& passive) {
  passive.ApplyTo(FtpServer1);
}

bool FtpHost::ReopenLogs() {
  FlushOutput();  // what was logged before the rotation belongs to the renamed files
  const bool logOk = log_.Reopen() || !log_.IsOpen();
  const bool xferOk = xferLog_.Reopen() || !xferLog_.IsOpen();
  return logOk && xferOk;
}

void FtpHost::ReportAccountHomes() {
  for (const users* account : accounts_.AccountList()) {
    const std::string problem = Authenticator::HomeProblem(*account);
    if (!problem.empty()) {
      LogEvent(2, "Account " + account->Name + ": " + problem + "; it cannot log in");
    }
  }
}

bool FtpHost::Reload() {
  // Settings first: a broken account file must not keep the new settings from counting.
  IniFile ini(IniPath());
  LogSettings newLog;
  newLog.Load(ini);
  // The log file keeps its name: a new one takes the Log Setup window or a restart.
  for (int category = 1; category <= LogSettings::kCategories; ++category) {
    logSettings_.Screen[category] = newLog.Screen[category];
    logSettings_.File[category] = newLog.File[category];
  }
  logSettings_.MaxLines = newLog.MaxLines;
  messages_.Load(ini);
  freeFiles_.Load(ini);
  loginGuard_.Load(ini);
  ApplyServerRates(ini);
  startupSettings_.Passive.Load(ini);
  startupSettings_.Passive.ApplyTo(FtpServer1);

  std::string why;
  const bool loaded = accounts_.ReloadLive(why);
  if (!loaded) {
    LogEvent(1, "Accounts.ini not reloaded, the accounts stay as they were: " + why);
  } else {
    LogEvent(1, "Reloaded FTPsrv.ini and Accounts.ini: " +
                    std::to_string(accounts_.AccountList().size()) + " accounts");
    ReportAccountHomes();
  }
  return loaded;
}

void FtpHost::FtpServer1Start(TFtpServer&) {
  if (!setup_.MaxUsr.empty()) {
    int64_t value = 0;
    if (!IniFile::ParseInteger(setup_.MaxUsr, INT32_MIN, INT32_MAX, value)) {
      throw std::runtime_error("'" + setup_.MaxUsr + "' is not a valid integer value");
    }
    FtpServer1.MaxClients = static_cast<int>(value);
  }
  // The port the socket is bound to: the same as the one asked for, except that port 0 lets
  // the system choose, and a client must be told the chosen one.
  std::string port = FtpServer1.ServerSocket().GetXPort();
  if (port.empty() || port == "0") port = FtpServer1.Port;
  ui_.StatusPanel(1, "FTP Server On-line/Port : " + port);
  ui_.ActivateCaption("Arrêter");
  log_.ServerStateLine("FTP Server On-line on port " + port + " ...", false);
}

void FtpHost::FtpServer1Stop(TFtpServer&) {
  // The records leave the list; the sessions still open keep theirs until they disconnect.
  clients_.UnlistAll();
  ui_.StatusPanel(1, "FTP Server Off-line");
  ui_.ActivateCaption("Activer");
  log_.ServerStateLine("FTP Server Off-line ...", true);
}

void FtpHost::ShowClientCount() {
  const int n = FtpServer1.ClientCount();
  const int m = FtpServer1.MaxClients;
  if (n == 0) {
    ui_.StatusPanel(0, "No client");
  } else {
    ui_.StatusPanel(0, m == 0 ? std::to_string(n) + " clients"
                              : std::to_string(n) + "/" + std::to_string(m) + " clients");
  }
  const std::string hint = n == 0   ? "No client"
                           : n == 1 ? "1 client"
                                    : std::to_string(n) + " users";
  ui_.TrayIcon(n == 0 ? 0 : 1, hint);
}

void FtpHost::SaveStats() {
  statsDue_ = false;
  IniFile ini(IniPath());
  stats_.Save(ini);
}

// ---------------------------------------------------------------------------------------------
// Timers

bool FtpHost::EndSession(TFtpCtrlSocket& client, const std::string& line,
                         const std::string& logPrefix) {
  if (!FtpServer1.Lists(client)) return false;
  if (!line.empty()) {
    FtpServer1.SendToClient(client, line + "\r\n");
    LogEvent(11, logPrefix + line);
  }
  return FtpServer1.Disconnect(client);
}

void FtpHost::Timer2Timer() {
  // A new peak is written at most once a tick, however many clients came since the last.
  if (statsDue_) SaveStats();
  // One pass counts and decides; the few sessions to end are found and closed afterwards, so a
  // tick costs the same per session with ten thousand sessions as with one.
  std::vector<std::pair<Usrdata*, bool>> ending;  // the record and whether it never logged in
  for (Usrdata* record : clients_.Listed()) {
    ++record->Idle;
    // Only a record whose session is still open: one already closing is not timed out a
    // second time (EndSession asks the engine again for the few that end).
    const TFtpCtrlSocket* session = clients_.SessionOf(record);
    if (session == nullptr || session->State() != wsConnected) continue;
    // SECURITY: a client that never logs in would hold one of the few places for good.
    if (session->FtpState != ftpcReady) {
      // A password being hashed is the server's wait, not the client's: no time-out meanwhile.
      if (session->AuthenticationDeferred()) continue;
      ++record->SecondsWithoutLogin;
      const int limit = loginGuard_.settings.LoginTimeout;
      if (limit > 0 && record->SecondsWithoutLogin >= limit) ending.emplace_back(record, true);
      continue;
    }
    record->SecondsWithoutLogin = 0;
    if (record->AllowTimeout && record->Idle > record->Timeout) ending.emplace_back(record, false);
  }
  for (const auto& [record, withoutLogin] : ending) {
    TFtpCtrlSocket* session = clients_.SessionOf(record);
    if (session == nullptr) continue;
    if (withoutLogin) {
      EndSession(*session, "421 Login time-out !", record->IP + " ");
    } else {
      EndSession(*session, "421 Connection timed-out !",
                 record->UserName + " (" + record->IP + ") ");
    }
  }
  bool changed = false;
  for (const std::string& address : loginGuard_.TakeExpiredBans(SteadySeconds())) {
    // Only the host's own ban ends: one the operator made of the address meanwhile stays.
    if (banList_.RemoveAutomatic(address)) {
      LogEvent(1, address + " ban ended");
      changed = true;
    }
  }
  if (changed) ui_.BanListChanged();
}

void FtpHost::Timer5Timer() {
  const int64_t now = SteadyMilliseconds();
  // due; releasing one runs the client's next commands, so the list is not walked meanwhile.
  std::vector<ClientRef> due;
  for (Usrdata* record : clients_.Listed()) {
    const TFtpCtrlSocket* client = clients_.SessionOf(record);
    // A login still being hashed is held too, but has no answer to release yet.
    if (client == nullptr || !client->CommandsHeld() || client->AuthenticationDeferred() ||
        record->HeldAnswerDueMs > now) {
      continue;
    }
    if (const std::optional<ClientRef> ref = clients_.RefOf(record)) due.push_back(*ref);
  }
  for (const ClientRef& ref : due) {
    // A client that left while an earlier one's commands ran is not touched.
    TFtpCtrlSocket* client = clients_.SessionOf(ref);
    if (client == nullptr || !FtpServer1.Lists(*client)) continue;
    const Usrdata& record = *clients_.Resolve(ref);
    FtpServer1.ReleaseHeldAnswer(*client);
    if (record.CloseAfterHeldAnswer && clients_.Resolve(ref) != nullptr) {
      EndSession(*client, record.ClosingLine, record.IP + " ");
    }
  }
}

bool FtpHost::RefusedPassword(TFtpCtrlSocket& client, Usrdata& record) {
  ++record.LoginFailures;
  const std::string address = client.GetPeerAddr();
  if (loginGuard_.RecordFailure(address, SteadySeconds())) {
    AutoBan(address, SteadySeconds());
    EndLoginsFrom(address, client);
  }
  record.CloseAfterHeldAnswer =
      loginGuard_.EndsConnection(record.LoginFailures) || banList_.Contains(address);
  record.ClosingLine = "421 Too many failed logins !";
  const int delay = loginGuard_.DelayFor(record.LoginFailures);
  if (delay == 0 && !record.CloseAfterHeldAnswer) return false;
  // SECURITY: the refusal is answered late, and the client's next commands (pipelined guesses
  // too) wait behind it, without holding up any other client.
  record.HeldAnswerDueMs = SteadyMilliseconds() + int64_t{1000} * delay;
  client.HoldCommands();
  return true;
}

void FtpHost::EndLoginsFrom(const std::string& address, const TFtpCtrlSocket& guesser) {
  const std::string reply = Admission::Reply(Admission::Verdict::Banned);
  const std::vector<Usrdata*> listed = clients_.Listed();
  for (auto it = listed.rbegin(); it != listed.rend(); ++it) {
    const Usrdata* record = *it;
    TFtpCtrlSocket* client = clients_.SessionOf(record);
    if (client == nullptr || client == &guesser || record->IP != address) continue;
    if (!record->Account.empty()) continue;  // a client that logged in keeps its session
    if (!FtpServer1.Lists(*client)) continue;
    FtpServer1.SendToClient(*client, reply + "\r\n");
    LogEvent(1, address + " connection failed : " + Admission::Reason(Admission::Verdict::Banned));
    FtpServer1.Disconnect(*client);
  }
}

bool FtpHost::PasswordRefusedUnjudged(TFtpCtrlSocket& client, Usrdata& record,
                                      std::string& answer) {
  if (!record.Account.empty()) return false;  // a new login of a logged-in client
  Admission::Verdict verdict = Admission::Verdict::Admitted;
  if (banList_.Contains(record.IP)) {
    verdict = Admission::Verdict::Banned;
  } else if (FtpServer1.Compatibility.CountsOnlyLoggedInClients() &&
             !admission_.LoginPlaceFree(record, FtpServer1.MaxClients)) {
    verdict = Admission::Verdict::TooManyUsers;
  }
  if (verdict == Admission::Verdict::Admitted) return false;
  answer = Admission::Reply(verdict);
  if (verdict == Admission::Verdict::TooManyUsers && !messages_.TooManyUsers.empty()) {
    // The operator's message, as at the connection in classic mode.
    MacroExpander macros = GreetingMacros(record, false);
    answer.clear();
    const std::vector<std::string>& lines = messages_.TooManyUsers;
    for (size_t i = 0; i < lines.size(); ++i) {
      if (i > 0) answer += "\r\n";
      answer += (i + 1 < lines.size() ? "421-" : "421 ") + macros.Expand(lines[i]);
    }
  }
  LogEvent(1, record.IP + " connection failed : " + Admission::Reason(verdict));
  // The refusal was the answer; the connection ends from the held-answer tick, never inside
  // its own command.
  record.CloseAfterHeldAnswer = true;
  record.ClosingLine.clear();
  record.HeldAnswerDueMs = SteadyMilliseconds();
  client.HoldCommands();
  return true;
}

void FtpHost::ApplyServerRates(const IniFile& ini) {
  limits_.Load(ini);
  FtpServer1.Pacing.SetServerRates(limits_.ServerDownloadRate(), limits_.ServerUploadRate());
}

int FtpHost::LoggedInSessions(const std::string& account) {
  int count = 0;
  for (const Usrdata* record : clients_.Listed()) {
    if (record->Account == account) ++count;
  }
  return count;
}

void FtpHost::AutoBan(const std::string& address, int64_t now) {
  // A ban the operator made stays his: only the host's own ban ends by itself.
  const bool listed = !banList_.AddAutomatic(address);
  if (!listed) loginGuard_.Banned(address, now);
  const int seconds = loginGuard_.settings.BanTime;
  LogEvent(1, address + " banned" +
                  (seconds > 0 ? " for " + std::to_string(seconds) + " s" : std::string()) +
                  " after " + std::to_string(loginGuard_.settings.BanFailures) + " failed logins");
  if (!listed) ui_.BanListChanged();
}

void FtpHost::Timer3Timer() {
  ui_.StatusPanel(2, stats_.TakeThroughputText());
}

void FtpHost::Timer4Timer() {
  const std::optional<int> maxLines = logSettings_.MaxLinesValue();
  if (maxLines && *maxLines >= 0) memo_.TrimTo(static_cast<size_t>(*maxLines));
}

// ---------------------------------------------------------------------------------------------
// Admission and greeting

MacroExpander FtpHost::GreetingMacros(const Usrdata& record, bool withRatio) {
  MacroValues values;
  values.ip = record.IP;
  const std::time_t now = Now();
  values.time = LongTime(now);
  values.date = ShortDate(now);
  values.numbr = static_cast<int>(clients_.Count());
  values.xupl = record.Xupl;
  values.xdl = record.Xdl;
  values.localIp = [this]() { return localAddress_.Text(); };
  return orvane::GreetingMacros(values, withRatio);
}

void FtpHost::SendHostLine(TFtpCtrlSocket& client, const std::string& line) {
  try {
    client.SendStr(line + "\r\n");
  } catch (const std::exception&) {
    // A client already gone is closed by the socket layer; the hook goes on.
  }
  LogEvent(11, client.GetPeerAddr() + " " + line);
}

void FtpHost::SendReplyLines(TFtpCtrlSocket& client, const std::string& code,
                             const std::vector<std::string>& lines, bool withRatio) {
  const Usrdata* record = RecordOf(client);
  Usrdata empty;
  MacroExpander macros = GreetingMacros(record ? *record : empty, withRatio);
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string text = macros.Expand(lines[i]);
    const std::string prefix = code + (i + 1 < lines.size() ? "-" : " ");
    SendHostLine(client, prefix + text);
  }
}

void FtpHost::Refuse(TFtpCtrlSocket& client, const std::string& reply, const std::string& reason) {
  SendHostLine(client, reply);
  LogEvent(1, client.GetPeerAddr() + " connection failed : " + reason);
  client.Close();
}

void FtpHost::FtpServer1ClientConnect(TFtpServer&, TFtpCtrlSocket& client, uint16_t) {
  ++stats_.Connections;
  Usrdata* record = &clients_.Add(client);
  record->IP = client.GetPeerAddr();
  record->UserName = client.UserName;
  record->Idle = 0;
  record->IntervalBytes = 0;
  record->FreeFile = false;
  const std::string& a = record->IP;

  Admission::Facts facts;
  facts.sessions = FtpServer1.ClientCount();
  facts.maxClients = FtpServer1.MaxClients;
  facts.sameAddressRefused = setup_.SameIpConnection;
  facts.closed = serverClosed_;
  facts.countsOnlyLoggedIn = FtpServer1.Compatibility.CountsOnlyLoggedInClients();
  facts.maxLoggingIn = loginGuard_.settings.MaxLoggingIn;
  facts.maxPerAddress = loginGuard_.settings.MaxPerAddress;
  const Admission::Verdict verdict = admission_.Judge(*record, facts);
  if (verdict == Admission::Verdict::TooManyUsers) {
    if (!messages_.TooManyUsers.empty()) {
      SendReplyLines(client, "421", messages_.TooManyUsers, false);
    } else {
      SendHostLine(client, Admission::Reply(verdict));
      LogEvent(1, a + " connection failed : " + Admission::Reason(verdict));
    }
    client.Close();
    return;
  }
  if (verdict == Admission::Verdict::TooManyLoggingIn ||
      verdict == Admission::Verdict::TooManyFromAddress) {
    Refuse(client, Admission::Reply(verdict), Admission::Reason(verdict));
    return;
  }
  // A client refused as one too many is not a peak; one refused by the later rules is.
  if (FtpServer1.ClientCount() > stats_.MaxConnections) {
    stats_.MaxConnections = FtpServer1.ClientCount();
    statsDue_ = true;
  }
  if (verdict != Admission::Verdict::Admitted) {
    Refuse(client, Admission::Reply(verdict), Admission::Reason(verdict));
    return;
  }
  LogEvent(1, a + " try to connect");
  if (!messages_.Welcome.empty()) {
    SendHostLine(client, std::string("220-") + kProductLine);
    SendReplyLines(client, "220", messages_.Welcome, true);
  } else {
    SendHostLine(client, std::string("220 ") + kProductLine);
  }
  LogEvent(1, a + " sending welcome message");
}

void FtpHost::FtpServer1ClientDisconnect(TFtpServer&, TFtpCtrlSocket& client, uint16_t) {
  Usrdata* record = RecordOf(client);
  if (record == nullptr) return;
  const bool listed = clients_.IsListed(record);
  const std::string a = client.GetPeerAddr();
  // A transfer still running when its session goes is logged as incomplete.
  XferEnded(client, *record, false);
  limits_.LoggedOut(*record);
  LogEvent(3, record->UserName.empty() ? a + " disconnected"
                                       : record->UserName + " (" + a + ") disconnected");
  // Out of the list before the windows look at it again; freed when this hook ends.
  const std::unique_ptr<Usrdata> leaving = clients_.Take(client);
  if (!record->Account.empty() && listed) ui_.ClientListChanged();
  if (OnClientLeaving) OnClientLeaving(*record);
  ShowClientCount();
  log_.Flush();
}

// ---------------------------------------------------------------------------------------------
// Command and answer echo

void FtpHost::FtpServer1ClientCommand(TFtpServer&, TFtpCtrlSocket& client, std::string& keyword,
                                      std::string& params, std::string& answer) {
  Usrdata* record = RecordOf(client);
  if (record == nullptr) return;
  const std::string a = client.GetPeerAddr();
  // SECURITY: a password is never shown or logged, whoever watches (memo, spy, log file).
  const std::string& shown = keyword == "PASS" ? kHiddenPassword : params;
  if (logSettings_.Screen[12] || logSettings_.File[12]) {
    log_.LogCommand(record->Account + " (" + a + ") >" + keyword + " " + shown);
  }
  if (OnCommandSeen) OnCommandSeen(*record, keyword, shown);
  limits_.Command(*record, keyword, params);
  // SECURITY: a banned address, or a login with every place taken, is refused before its
  // password is judged.
  if (keyword == "PASS" && answer.empty()) PasswordRefusedUnjudged(client, *record, answer);
  if (!answer.empty()) LogEvent(11, client.UserName + " (" + a + ") " + answer);
  if (keyword == "NOOP" && !record->AllowNoop) record->Idle = 0;
}

void FtpHost::FtpServer1AnswerToClient(TFtpServer&, TFtpCtrlSocket& client, std::string& answer) {
  Usrdata* record = RecordOf(client);
  if (record != nullptr) {
    record->Idle = 0;
    // A refusal the host gave its own reason replaces the engine's failure reply.
    if (!record->RefusalAnswer.empty() && !answer.empty() &&
        (answer[0] == '4' || answer[0] == '5')) {
      answer = std::move(record->RefusalAnswer);
      record->RefusalAnswer.clear();
    }
    limits_.AfterCommand(*record);
  }
  if (record != nullptr && OnAnswerSeen) OnAnswerSeen(*record, answer);
  if (!answer.empty()) LogEvent(11, client.UserName + " (" + client.GetPeerAddr() + ") " + answer);
}

}  // namespace orvane
