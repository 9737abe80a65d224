#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ftp/CompatibilityPolicy.h"
#include "ftp/PassiveAddress.h"
#include "ftp/PassivePorts.h"
#include "ftp/TFtpCtrlSocket.h"
#include "ftp/TransferPacing.h"
#include "net/EventLoop.h"
#include "net/TWSocket.h"
#include "net/TlsCredentials.h"
#include "platform/FileSystem.h"

namespace orvane {

class FtpServerException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The FTP server engine: the listening socket, one TFtpCtrlSocket per client, the command table
// and dispatcher, the command handlers, and the published hooks through which the host decides
// every access. Everything runs on the loop thread.
//
// Commands: one table, one row per keyword with its handler and the rules the dispatcher
// applies before the handler runs (login needed, extension, TLS only). The dispatcher's one
// gate: a row it does not know (an extension under classic, a TLS command without a
// certificate) is "500 ... not understood"; a row that needs a login answers "530 Please login
// with USER and PASS." before login; a session a hook held while its command ran keeps the
// answer until ReleaseHeldAnswer. Handlers check only what is particular to their command.
//
// The sessions' data channels reach the engine through DataChannelEvents, which the engine
// implements by firing the transfer hooks; the close hooks receive the ended Transfer.
//
// Ownership: the server owns its sessions. A session is closed synchronously or from a deferred
// action, and always freed from the deferred client-closed action, never inside its own event.
// Deferred actions are addressed to the server's loop token and find sessions by sequence
// number, so an action for a session (or a server) that is gone does nothing.
class TFtpServer : private DataChannelEvents {
 public:
  using CommandProc = void (TFtpServer::*)(TFtpCtrlSocket& client, std::string& keyword,
                                           std::string& params, std::string& answer);
  // One row of the command table.
  struct TFtpSrvCommandTableItem {
    std::string KeyWord;
    CommandProc Proc = nullptr;
    // Before login the dispatcher answers "530 Please login with USER and PASS." instead.
    bool NeedsLogin = false;
    // Unknown under classic (CompatibilityPolicy::KnowsExtensions).
    bool Extension = false;
    // Unknown while the server holds no certificate (Tls).
    bool TlsOnly = false;
  };
  // The rows of the original commands, the host's own (AddCommand) among them; the extension
  // rows come on top of these.
  static constexpr int kMaxCommands = 33;

  // Hook types. Sender first, then the session, then the event's own arguments.
  using NotifyHook = std::function<void(TFtpServer& sender)>;
  using ClientEventHook =
      std::function<void(TFtpServer& sender, TFtpCtrlSocket& client, uint16_t error)>;
  using AuthenticateHook =
      std::function<void(TFtpServer& sender, TFtpCtrlSocket& client, const std::string& userName,
                         const std::string& password, bool& authenticated)>;
  using ClientCommandHook =
      std::function<void(TFtpServer& sender, TFtpCtrlSocket& client, std::string& keyword,
                         std::string& params, std::string& answer)>;
  using AnswerHook =
      std::function<void(TFtpServer& sender, TFtpCtrlSocket& client, std::string& answer)>;
  using ValidateHook = std::function<void(TFtpServer& sender, TFtpCtrlSocket& client,
                                          std::string& filePath, bool& allowed)>;
  using ChangeDirectoryHook = std::function<void(TFtpServer& sender, TFtpCtrlSocket& client,
                                                 const std::string& directory, bool& allowed)>;
  using BuildDirectoryHook = std::function<void(TFtpServer& sender, TFtpCtrlSocket& client,
                                                std::string& directory, bool detailed)>;
  using DataEventHook = std::function<void(TFtpServer& sender, TFtpCtrlSocket& client,
                                           TWSocket& data, uint16_t error)>;
  // The close of a transfer's data connection, with the ended transfer and its outcome.
  using TTransferClosed =
      std::function<void(TFtpServer& sender, TFtpCtrlSocket& client, TWSocket& data,
                         const Transfer& transfer, uint16_t error)>;
  using TDataAvailable =
      std::function<void(TFtpServer& sender, TFtpCtrlSocket& client, TWSocket& data,
                         const char* buf, int len, uint16_t error)>;
  using LoggedHook = std::function<void(TFtpServer& sender, TFtpCtrlSocket& client)>;
  using AddLinksHook =
      std::function<void(TFtpServer& sender, TFtpCtrlSocket& client, std::string& stream)>;
  using DirMadeHook = std::function<void(TFtpServer& sender, TFtpCtrlSocket& client,
                                         std::string& filePath, bool created)>;
  using UpdateXferHook = std::function<void(TFtpServer& sender, TFtpCtrlSocket& client, int count)>;
  using CheckHiddenHook = std::function<void(TFtpServer& sender, TFtpCtrlSocket& client,
                                             const std::string& path, bool& hidden)>;
  using DirectoryRightsHook =
      std::function<void(TFtpServer& sender, TFtpCtrlSocket& client, const std::string& directory,
                         std::string& rights)>;
  using ValidateListingHook =
      std::function<void(TFtpServer& sender, TFtpCtrlSocket& client, bool& allowed)>;

  explicit TFtpServer(EventLoop& loop);
  ~TFtpServer();
  TFtpServer(const TFtpServer&) = delete;
  TFtpServer& operator=(const TFtpServer&) = delete;

  std::string Port = "ftp";
  std::string Banner = "220 FTP server ready.";
  int UserData = 0;
  int MaxClients = 0;
  std::string Name = "FtpServer1";
  // Where the server behaves as today's clients expect, or (classic) as it always did.
  CompatibilityPolicy Compatibility;
  // Passive data connections: the ports they listen on and the address PASV announces
  // (FTPsrv.ini, section Passive, keys "ports" and "address").
  PassivePorts PassivePortRange;
  PassiveAddress ExternalAddress;
  // Transfer rate limits: the server-wide rates and the timers of the transfers that wait.
  // Declared before the sessions, whose transfers refer to it.
  TransferPacing Pacing;
  // FTPS. Tls holds the certificate; without it AUTH, PBSZ, PROT and CCC are unknown commands
  // and FEAT does not name them. TlsRequireLogin refuses USER on a connection that is not TLS;
  // TlsRequireReuse refuses a protected data connection that does not resume the control
  // connection's TLS session. ImplicitPort, when not empty (and Tls is set), is a second port
  // where TLS starts at once and data connections are protected from the start.
  std::shared_ptr<TlsCredentials> Tls;
  bool TlsRequireLogin = false;
  bool TlsRequireReuse = false;
  std::string ImplicitPort;

  NotifyHook OnStart;
  NotifyHook OnStop;
  AuthenticateHook OnAuthenticate;
  ClientEventHook OnClientDisconnect;
  ClientEventHook OnClientConnect;
  ClientCommandHook OnClientCommand;
  AnswerHook OnAnswerToClient;
  ChangeDirectoryHook OnChangeDirectory;
  // The directory is passed by reference so that the host can hand back the path it checked.
  ValidateHook OnMakeDirectory;
  BuildDirectoryHook OnAlterDirectory;
  DataEventHook OnStorSessionConnected;
  DataEventHook OnRetrSessionConnected;
  // An upload's or download's data connection closed; `transfer` says how it ended (AllSent,
  // Aborted). The transfer has left the channel by then: the channel is idle.
  TTransferClosed OnStorSessionClosed;
  TTransferClosed OnRetrSessionClosed;
  DataEventHook OnRetrDataSent;
  ValidateHook OnValidatePut;
  ValidateHook OnValidateDele;
  ValidateHook OnValidateGet;
  // SIZE, before the search: a refusal is answered as if the file did not exist, so that SIZE
  // reveals nothing of a file the client may not read.
  ValidateHook OnValidateSize;
  TDataAvailable OnStorDataAvailable;
  LoggedHook OnLogged;
  AddLinksHook OnAddLinks;
  DirMadeHook OnDirMade;
  UpdateXferHook OnUpdateXfer;
  CheckHiddenHook OnCheckhidden;
  ValidateListingHook OnValidateListingDir;
  // The rights the account holds on a local directory, for the perm fact of MLSD and MLST:
  // letters R, W, D, M and L as the account grants them, and E where the client may enter it.
  // The engine fills in all of them first, so an unassigned hook grants everything.
  DirectoryRightsHook OnDirectoryRights;
  // The control connection's TLS handshake is complete (after AUTH TLS, or on the implicit port).
  LoggedHook OnClientSecured;
  // A TLS handshake failed: the control connection (data false) or a data connection (true).
  std::function<void(TFtpServer& sender, TFtpCtrlSocket& client, bool data,
                     const std::string& reason)>
      OnTlsFailed;
  // STAT without argument: lines the host adds to the status reply (each " text" + CR LF).
  std::function<void(TFtpServer& sender, TFtpCtrlSocket& client, std::string& lines)> OnStatusLines;

  // Listens on Port unless already listening; a failure reaches the caller as ESocketException.
  // The implicit port's listener is opened too; a failure there leaves ImplicitSocket() closed.
  void Start();
  void Stop();
  bool Active() const;
  int ClientCount() const { return static_cast<int>(clients_.size()); }
  // Whether the session is in the list of open sessions (not yet disconnected or closed).
  bool Lists(const TFtpCtrlSocket& client) const;
  // Takes the session out of the list and closes it; its disconnection hook runs from the loop.
  // False for a session no longer listed.
  bool Disconnect(TFtpCtrlSocket& client);
  // The session with this sequence number, listed or already disconnected and not yet freed.
  TFtpCtrlSocket* FindClient(uint64_t sequence) const;
  void DisconnectAll();
  void SendToClient(TFtpCtrlSocket& client, const std::string& text);
  // A command of the host's own: a row without rules (its handler checks what it needs), after
  // the original commands; at most kMaxCommands such rows, else FtpServerException.
  void AddCommand(const std::string& keyword, CommandProc proc);
  TWSocket& ServerSocket() { return *serverSocket_; }
  TWSocket& ImplicitSocket() { return *implicitSocket_; }
  EventLoop& Loop() const { return loop_; }

  // The answer step: OnAnswerToClient, then the answer and CR LF on the session. Failures are
  // swallowed (a gone connection closes through the socket layer).
  void SendAnswer(TFtpCtrlSocket& client, std::string answer);
  // Ends a hold that a hook put on the session while its command ran (HoldCommands): sends the
  // command's answer kept in HeldAnswer, then lets the client's further commands run.
  void ReleaseHeldAnswer(TFtpCtrlSocket& client);
  // The end of a PASS whose OnAuthenticate deferred its decision (DeferAuthentication): sets
  // the session's state as PASS does with that decision (OnLogged included) and keeps the
  // "230"/"530" answer in HeldAnswer; the session stays held until ReleaseHeldAnswer.
  void CompleteAuthentication(TFtpCtrlSocket& client, bool authenticated);
  // The size of a download's next chunk, asked by the session's DataChannel before each one:
  // the place for a per-account bandwidth limit.
  int64_t DownloadChunkSize(const TFtpCtrlSocket& client) const override;
  RoundBudget& DownloadRounds() override { return Pacing.DownloadRounds(); }
  // A pacer for a limited transfer of the session, from Pacing; none for an unlimited one.
  std::unique_ptr<TransferPacer> PacerFor(bool download, int64_t ownLimit,
                                          EventLoop::Token owner) override;

 protected:
  // Command handlers, in table order of their keyword.
  void CommandUSER(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  // PASS's answer and state once the login is decided.
  void AnswerPass(TFtpCtrlSocket& client, bool authenticated, std::string& answer);
  void CommandPASS(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandQUIT(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandNOOP(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandLIST(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandNLST(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandDELE(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandSIZE(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandREST(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandRNFR(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandRNTO(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandPORT(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandSTOR(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandAPPE(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandRETR(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandTYPE(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandCWD(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                  std::string& answer);
  void CommandMKD(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                  std::string& answer);
  void CommandRMD(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                  std::string& answer);
  void CommandCDUP(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandXPWD(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandPWD(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                  std::string& answer);
  void CommandSYST(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandABOR(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandPASV(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);

  // Extension commands, known unless classic (CompatibilityPolicy::KnowsExtensions).
  void CommandFEAT(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandOPTS(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandMDTM(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandMFMT(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandMLSD(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandMLST(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandSTAT(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandHELP(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandALLO(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandMODE(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandSTRU(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandSITE(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandEPSV(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandEPRT(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  // FTPS (RFC 4217), known when Tls is set.
  void CommandAUTH(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandPBSZ(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandPROT(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                   std::string& answer);
  void CommandCCC(TFtpCtrlSocket& client, std::string& keyword, std::string& params,
                  std::string& answer);

 private:
  enum class ListingFormat { Names, Long, Facts };

  // DataChannelEvents: the transfer hooks, the transfer's answer and TLS on data connections.
  void UploadConnected(TFtpCtrlSocket& client, TWSocket& data, uint16_t error) override;
  void UploadData(TFtpCtrlSocket& client, TWSocket& data, const char* buffer, int length,
                  uint16_t error) override;
  void UploadClosed(TFtpCtrlSocket& client, TWSocket& data, const Transfer& transfer,
                    uint16_t error) override;
  void DownloadConnected(TFtpCtrlSocket& client, TWSocket& data, uint16_t error) override;
  void DownloadChunk(TFtpCtrlSocket& client, int count) override;
  void DownloadDataSent(TFtpCtrlSocket& client, TWSocket& data, uint16_t error) override;
  void DownloadClosed(TFtpCtrlSocket& client, TWSocket& data, const Transfer& transfer,
                      uint16_t error) override;
  void TransferAnswer(TFtpCtrlSocket& client, const std::string& answer) override;
  // Starts TLS on a data connection just established, when PROT P asks for it. A failure is
  // reported and closes the connection.
  void SecureDataConnection(TFtpCtrlSocket& client) override;
  // OnTlsFailed for a data connection whose handshake failed (not while the engine is going).
  void DataTlsFailed(TFtpCtrlSocket& client, const std::string& reason) override;
  const CompatibilityPolicy& Policy() const override { return Compatibility; }

  // The command table
  void AddRow(const TFtpSrvCommandTableItem& row);
  // The row the dispatcher runs for `keyword`: the first row of that keyword that this server
  // knows now (no extension under classic, no TLS command without a certificate), or null.
  const TFtpSrvCommandTableItem* FindCommand(const std::string& keyword) const;

  // Sessions
  void ServerSessionAvailable(TWSocket& listener, bool implicitTls, uint16_t error);
  void ClientCommand(TFtpCtrlSocket& client, const char* line, int length);
  void ClientSessionClosed(TFtpCtrlSocket& client);
  void ClientDataSent(TFtpCtrlSocket& client);

  // Deferred actions
  void PostCloseRequest(TFtpCtrlSocket& client);
  void PostClientClosed(TFtpCtrlSocket& client);
  void ClientClosedAction(uint64_t sequence);

  // Login, directories
  // RNTO alone checks the login itself, after its own first check (see CommandRNTO).
  bool LoggedIn(TFtpCtrlSocket& client, std::string& answer);
  void ChangeDirectory(TFtpCtrlSocket& client, std::string& params, std::string& answer);

  // Data connections
  // SECURITY: whether an active data connection to `port` would reach one of this server's own
  // control ports (the plain one or the implicit TLS one), where a listing arrives as commands.
  bool IsOwnControlPort(int64_t port);
  // The reply to a data-connection command after EPSV ALL, or empty.
  static std::string RefusedAfterEpsvAll(const TFtpCtrlSocket& client, const std::string& verb);
  void StoreCommand(TFtpCtrlSocket& client, std::string& params, std::string& answer, bool append);
  void ListingStep(TFtpCtrlSocket& client, ListingFormat format, std::string& params,
                   std::string& answer);

  // FTPS
  void AddSecurityCommands();
  // Starts TLS on the control connection (after the 234 reply, or at once on the implicit
  // port); false when no certificate can be used.
  bool SecureControl(TFtpCtrlSocket& client);

  // Extensions
  std::string RightsOf(TFtpCtrlSocket& client, const std::string& directory);
  // Whether the host leaves hidden entries out for this client (OnCheckhidden).
  bool HidesHidden(TFtpCtrlSocket& client, const std::string& path);
  // The perm fact of `entry`, found in local directory `directory` (with a closing "\").
  std::string PermFact(TFtpCtrlSocket& client, const std::string& directory,
                       const std::string& rights, const FileInfo& entry);

  EventLoop& loop_;
  EventLoop::Token token_;
  std::unique_ptr<TWSocket> serverSocket_;
  std::unique_ptr<TWSocket> implicitSocket_;
  std::vector<std::unique_ptr<TFtpCtrlSocket>> clients_;
  // Sessions taken out of the list (Disconnect) whose client-closed action has not run yet.
  std::vector<std::unique_ptr<TFtpCtrlSocket>> detached_;
  uint64_t sequence_ = 0;
  // The command table: the original commands and the host's own first, then the extensions.
  std::vector<TFtpSrvCommandTableItem> commands_;
  bool destroying_ = false;
};

}  // namespace orvane
