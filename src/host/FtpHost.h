#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "access/HostView.h"
#include "access/AccountStore.h"
#include "access/Authenticator.h"
#include "access/DirectoryRights.h"
#include "access/FreeList.h"
#include "access/MacroExpander.h"
#include "access/TransferAccounting.h"
#include "access/Usrdata.h"
#include "ftp/TFtpServer.h"
#include "host/AccountLimits.h"
#include "host/Admission.h"
#include "host/BanList.h"
#include "host/ClientRegistry.h"
#include "host/EventLog.h"
#include "host/HostUi.h"
#include "host/LogMemo.h"
#include "host/LogSettings.h"
#include "host/LoginGuard.h"
#include "host/PassiveSettings.h"
#include "host/Messages.h"
#include "host/LiveServerSettings.h"
#include "host/ReadOnceSettings.h"
#include "host/Statistics.h"
#include "host/TransferLog.h"
#include "net/EventLoop.h"
#include "net/LocalAddressCache.h"
#include "net/TSockets.h"
#include "net/TThreadedTimer.h"
#include "platform/IniFile.h"
#include "net/WorkerPool.h"

namespace orvane {

class IniFile;

// The server host: owns the engine FtpServer1 and the per-client records, reads and writes
// FTPsrv.ini, starts and stops the engine, admits and greets clients, logs events and keeps the
// statistics. It is the logic of the main window; what it shows or asks goes through HostUi.
//
// Its face: the windows, the control socket's console and the two mains reach the server only
// through the operations below (start-up, start/stop, kick, ban, apply a setting, finish) and
// read it through const views; its parts are private and the engine is reachable from nowhere
// else. Where a window edits a live value in place (the setup switches, the log switches, the
// messages, the free files, the accounts), the non-const accessor to that one model is the
// operation. Clients are named by ClientRef (record and sequence number), never by a list
// position. The parts that read well on their own are classes of their own: the records in
// ClientRegistry, the admission rules in Admission, the settings read once in ReadOnceSettings,
// the access rules in the access layer. Everything runs on the loop thread.
class FtpHost : public HostView {
 public:
  static constexpr const char* kProductLine = "Orvane FTP Server v1.3";

  // programDir holds FTPsrv.ini, Accounts.ini and the default log; it ends with "/".
  FtpHost(EventLoop& loop, HostUi& ui, std::string programDir);
  ~FtpHost() override;
  FtpHost(const FtpHost&) = delete;
  FtpHost& operator=(const FtpHost&) = delete;

  // The start-up steps: configuration, log file and its start block, statistics, empty engine
  // banner, lists, setup keys, then the automatic start (portArgument replaces the configured
  // port for it). forceStart starts the engine whatever "demarrageauto" says. Ends by enabling
  // the periodic timers. Before anything starts, FTPsrv.ini and Accounts.ini are checked and
  // each problem is reported once to the memo and the log file (ConfigurationCheck). Returns
  // false when the log file could not be opened or the configuration refuses the start.
  bool StartUp(const std::optional<std::string>& portArgument, bool forceStart);
  // Called by StartUp once the main window's steps are done (log open, statistics, lists
  // loaded) and before the client limit is set and the engine is started: the desktop shows
  // its tip window and loading window there.
  std::function<void()> OnBeforeAutoStart;
  // The close of the main window: asks to stop a server with clients; false when the operator
  // answered No (the program keeps running).
  bool RequestClose();
  // Whether the last StartUp refused to start for a configuration value without a safe
  // default (the programs exit with status 2 then).
  bool ConfigurationRefused() const { return configurationRefused_; }
  // The one end of a session, for both programs: with stopCommandFirst the stop command as
  // RequestClose gives it (the front end answers its question), then every remaining session
  // closed and its disconnection hook run, the engine stopped, the timers off, the statistics
  // saved, the session end block written and the logs closed. Only the first call acts.
  void Finish(bool stopCommandFirst);
  bool Finished() const { return finished_; }

  // Log rotation (SIGHUP in orvane-ftpd): the log file and the transfer log are opened again by
  // their names. False when one of them could not be; it then keeps its old file.
  bool ReopenLogs();
  // Reload (SIGHUP in orvane-ftpd, after ReopenLogs): the settings of FTPsrv.ini that count
  // while running (the log switches and memo size, the messages, the free files, the login
  // defences, section Passive) and Accounts.ini. The next login uses the new accounts; clients
  // logged in keep the copy they got. An account file that cannot be read keeps the old
  // accounts, with the reason logged. False then.
  bool Reload();

  // The start/stop command. Returns false when the operator abandoned it.
  bool StartStopCommand();
  // The engine as the windows see it: listening or not, its open sessions, the port asked for
  // and the client limit.
  bool Active() const { return FtpServer1.Active(); }
  int SessionCount() const { return FtpServer1.ClientCount(); }
  const std::string& Port() const { return FtpServer1.Port; }
  int MaxClients() const { return FtpServer1.MaxClients; }
  // "Closed": new clients are refused while it is on.
  bool Closed() const { return serverClosed_; }
  void SetClosed(bool closed) { serverClosed_ = closed; }

  // The clients. A reference names a listed client; everything taken by reference does nothing
  // for a client that left meanwhile (its record is never read then).
  const ClientRegistry& Clients() const { return clients_; }
  std::optional<ClientRef> RefOf(const Usrdata* record) const { return clients_.RefOf(record); }
  std::optional<ClientRef> RefOf(uint64_t sequence) const { return clients_.RefOf(sequence); }
  const Usrdata* Resolve(const ClientRef& ref) const { return clients_.Resolve(ref); }
  // The record itself, for the user information panels, which restart its speed count.
  Usrdata* Resolve(const ClientRef& ref) { return clients_.Resolve(ref); }
  // Disconnects the client; false when it is no longer listed or already going.
  bool Kick(const ClientRef& ref);
  // Disconnects every client; returns how many there were.
  int KickAll();
  // Bans the client's address: added with the screen line "<IP> added to the ban list !" when
  // not listed yet, and then, with writeFileLine, the stamped file line "<UserName> (<IP>)
  // banned" whatever the log switches say. An address already listed writes nothing (an
  // automatic ban of it becomes the operator's). The client stays connected. Returns whether
  // the address was added.
  bool Ban(const ClientRef& ref, bool writeFileLine);
  // An address the operator typed or sent: added when not listed (an automatic ban of it
  // becomes the operator's); nothing is logged. Returns whether it was added.
  bool AddBan(const std::string& address);
  // The ban list's entry at position removed; nothing is logged. False outside the list.
  bool Unban(std::size_t position);
  const BanList& Bans() const { return banList_; }
  // When the host's own ban of an address ends (LoginGuard::BanEnd).
  const LoginGuard& Guard() const { return loginGuard_; }
  // The user information window opens: every listed client's speed counts from zero.
  void RestartSpeeds();

  // The setup window's OK: the keys stored, the new client limit and port given to the engine.
  // The port counts at the next start ("You will need to restart ..." when it changed).
  void ApplySetup(IniFile& ini);
  // The network window's OK: the passive settings given to the engine.
  void ApplyPassive(const PassiveSettings& passive);

  // The live models the windows edit in place (a change counts at once).
  LiveServerSettings& Setup() { return setup_; }
  const LiveServerSettings& Setup() const { return setup_; }
  LogSettings& LogSwitches() { return logSettings_; }
  const LogSettings& LogSwitches() const { return logSettings_; }
  Messages& MessageTexts() { return messages_; }
  const Messages& MessageTexts() const { return messages_; }
  FreeList& FreeFileList() { return freeFiles_; }
  AccountStore& Accounts() { return accounts_; }
  const AccountStore& Accounts() const { return accounts_; }
  const Statistics& Stats() const { return stats_; }
  const LogMemo& Memo() const { return memo_; }
  // Quota usage per account and the server-wide rates.
  const AccountLimits& Limits() const { return limits_; }
  void ClearMemo() { memo_.Clear(); }
  // The start failed: "Port number N is already in use !", or, when the port needs a privilege
  // the process lacks, a message that says so and what to do; then the engine is stopped.
  void ReportPortInUse(bool notPermitted = false);
  void SaveStats();
  // Writes the log lines, transfer log lines and memo lines that wait (once per loop round on
  // its own; call it before something must find them on disk).
  void FlushOutput();
  // Timer ticks (public so that front ends and tests can drive them).
  void Timer2Timer();  // idle time-outs
  void Timer3Timer();  // throughput
  void Timer4Timer();  // memo trimming
  void Timer5Timer();  // held answers to refused passwords

  // Multi-line reply: code + "-" for all lines but the last, code + " " for the last; logged
  // under category 11.
  void SendReplyLines(TFtpCtrlSocket& client, const std::string& code,
                      const std::vector<std::string>& lines, bool withRatio);
  // The greeting macros of one message to the client of this record.
  MacroExpander GreetingMacros(const Usrdata& record, bool withRatio);
  // HostView: what the access checks and the transfer accounting need from the host.
  void LogEvent(int category, const std::string& text) override { log_.LogEvent(category, text); }
  void LogEventSplit(int category, const std::string& screenText,
                     const std::string& fileText) override;
  void LogScreenOnly(const std::string& text) override { memo_.Append(text); }
  void AddAcceptedLogin() override { ++stats_.ConnectionsAC; }
  void AddAnonymousLogin() override { ++stats_.ConnectionsA; }
  void AddRefusedLogin() override { ++stats_.ConnectionsRF; }
  void AddDownloaded(int64_t bytes) override;
  void AddUploaded(int64_t bytes) override;
  void ShowClientCount() override;
  void ClientLoggedIn(Usrdata& record) override;
  void ClientStatusChanged(Usrdata& record) override;
  int ClientRecordCount() override { return static_cast<int>(clients_.Count()); }
  // The last answer of the background lookup (LocalAddressCache): no resolver call here.
  std::string LocalIPAddr() override { return localAddress_.Text(); }
  const FreeList& FreeFiles() override { return freeFiles_; }
  std::string CurrentDate() override;
  std::string CurrentTime() override;
  const CompatibilityPolicy& Compatibility() override { return FtpServer1.Compatibility; }
  int LoggedInSessions(const std::string& account) override;

  // Watchers of one client's conversation (the spy window): a command received, a reply about
  // to be sent, and the client leaving (its record is still valid during the call).
  std::function<void(const Usrdata& record, const std::string& keyword, const std::string& params)>
      OnCommandSeen;
  std::function<void(const Usrdata& record, const std::string& answer)> OnAnswerSeen;
  std::function<void(const Usrdata& record)> OnClientLeaving;

  const std::string& ProgramDir() const { return programDir_; }
  std::string IniPath() const { return programDir_ + "FTPsrv.ini"; }
  EventLog& Log() { return log_; }
  HostUi& Ui() { return ui_; }
  EventLoop& Loop() { return loop_; }

 private:
  // The tests look at the engine and the parts directly.
  friend class FtpHostTestAccess;

  // The client's record, listed or not; none for a session the host has no record of.
  Usrdata* RecordOf(const TFtpCtrlSocket& client) const { return clients_.Find(client); }
  // After the end of a session: timers off, session end block written, log closed.
  void Shutdown();
  void FtpServer1Start(TFtpServer& sender);
  void FtpServer1Stop(TFtpServer& sender);
  void FtpServer1ClientConnect(TFtpServer& sender, TFtpCtrlSocket& client, uint16_t error);
  void FtpServer1ClientDisconnect(TFtpServer& sender, TFtpCtrlSocket& client, uint16_t error);
  void FtpServer1ClientCommand(TFtpServer& sender, TFtpCtrlSocket& client, std::string& keyword,
                               std::string& params, std::string& answer);
  void FtpServer1AnswerToClient(TFtpServer& sender, TFtpCtrlSocket& client, std::string& answer);
  // The access hooks: each finds the client's record and hands over to the access checks.
  void AssignAccessHooks();
  // What a hook does for a session without a record: nothing, or refuse (its last argument,
  // the bool& allowed, set false).
  enum class NoRecord { Ignore, Refuse };
  // An engine hook (TFtpServer&, TFtpCtrlSocket&, args...) as body(client, record, args...)
  // with the client's record; without one, as noRecord says.
  template <NoRecord kNoRecord = NoRecord::Ignore, typename Body>
  auto WithRecord(Body body);

  // Sends one line the host itself writes to a client and logs it under category 11.
  void SendHostLine(TFtpCtrlSocket& client, const std::string& line);
  void Refuse(TFtpCtrlSocket& client, const std::string& reply, const std::string& reason);
  void StartEngine(const std::string& port);
  // Logs once each account whose home directory is missing or on no configured drive.
  void ReportAccountHomes();
  // A refused password: counted for the connection and the address, answered late (the
  // session is held meanwhile), the connection ended after too many, the address banned.
  // True when the answer is held (Timer5 sends it).
  bool RefusedPassword(TFtpCtrlSocket& client, Usrdata& record);
  // A login decided off the loop thread: the session is held while the password checks it
  // needs are hashed on passwordWorkers_, one at a time; each answer comes back to the loop,
  // which finds the session again by its sequence number (it may have gone meanwhile).
  void ContinueLogin(TFtpCtrlSocket& client, const std::string& userName,
                     const std::string& password, const Authenticator::PasswordAnswers& known);
  void ResumeLogin(uint64_t sequence, const std::string& userName, const std::string& password,
                   const Authenticator::PasswordAnswers& known);
  // A log, transfer log or memo line waits: flush at the round's end (at once outside a round).
  void OutputPending();
  void AutoBan(const std::string& address, int64_t now);
  // Section ServerFTP's transfer rates, to the engine.
  void ApplyServerRates(const IniFile& ini);
  // A ban ends the address's sessions that have not logged in (guesses in flight), except the
  // guesser's own, which ends after its held answer.
  void EndLoginsFrom(const std::string& address, const TFtpCtrlSocket& guesser);
  // PASS from a banned address, or (outside classic) with every logged-in place taken: refused
  // without judging the password, and the connection ends. True when it was refused.
  bool PasswordRefusedUnjudged(TFtpCtrlSocket& client, Usrdata& record, std::string& answer);
  // Ends a session the engine still lists: the line (when not empty) sent and logged under
  // category 11 with logPrefix, then the disconnection. False for one already going.
  bool EndSession(TFtpCtrlSocket& client, const std::string& line, const std::string& logPrefix);
  // The transfer log's side of the transfer hooks: a file transfer began or ended.
  void XferStarted(TFtpCtrlSocket& client, char direction, const Usrdata& record);
  void XferEnded(TFtpCtrlSocket& client, const Usrdata& record, bool complete);

  TFtpServer FtpServer1;
  ClientRegistry clients_;  // the per-client records, in connection order
  bool serverClosed_ = false;
  LogSettings logSettings_;
  Statistics stats_;
  Messages messages_;
  LiveServerSettings setup_;
  BanList banList_;
  LoginGuard loginGuard_;
  AccountStore accounts_;
  FreeList freeFiles_;
  AccountLimits limits_;  // quota usage per account, server-wide rates
  LogMemo memo_;
  EventLoop& loop_;
  HostUi& ui_;
  std::string programDir_;
  EventLog log_;
  TransferLog xferLog_;
  bool statsLoaded_ = false;  // the counters have been read from the file
  bool configurationRefused_ = false;
  bool finished_ = false;
  TSockets sockets1_;
  Authenticator authenticator_;
  DirectoryRights rights_;
  TransferAccounting accounting_;
  ReadOnceSettings startupSettings_;
  Admission admission_;
  TThreadedTimer timer2_;
  TThreadedTimer timer3_;
  TThreadedTimer timer4_;
  TThreadedTimer timer5_;
  // The identity that the round-end flush and the login answers are posted to; released
  // first in the destructor, so that nothing posted runs on a host being destroyed.
  EventLoop::Token hostToken_;
  bool outputFlushDue_ = false;
  bool statsDue_ = false;  // a new peak of clients not yet written (next Timer2 tick)
  LocalAddressCache localAddress_;
  // Last, so that it is destroyed (its threads joined) before anything else of the host.
  WorkerPool passwordWorkers_;
};

}  // namespace orvane
