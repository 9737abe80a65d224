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
// Ownership: the server owns its sessions. A session is closed synchronously or from a deferred
// action, and always freed from the deferred client-closed action, never inside its own event.
// Deferred actions are addressed to the server's loop token and find sessions by sequence
// number, so an action for a session (or a server) that is gone does nothing.
class TFtpServer {
 public:
  using TFtpSrvCommandProc = void (TFtpServer::*)(TFtpCtrlSocket& client, std::string& keyword,
                                                  std::string& params, std::string& answer);
  struct TFtpSrvCommandTableItem {
    std::string KeyWord;
    TFtpSrvCommandProc Proc = nullptr;
  };
  static constexpr int kMaxCommands = 33;

  // Hook types. Sender first, then the session, then the event's own arguments.
  using TNotify = std::function<void(TFtpServer& sender)>;
  using TClientEvent =
      std::function<void(TFtpServer& sender, TFtpCtrlSocket& client, uint16_t error)>;
  using TAuthenticate =
      std::function<void(TFtpServer& sender, TFtpCtrlSocket& client, const std::string& userName,
                         const std::string& password, bool& authenticated)>;
  using TClientCommand =
      std::function<void(TFtpServer& sender, TFtpCtrlSocket& client, std::string& keyword,
                         std::string& params, std::string& answer)>;
  using TAnswer =
      std::function<void(TFtpServer& sender, TFtpCtrlSocket& client, std::string& answer)>;
  using TValidate = std::function<void(TFtpServer& sender, TFtpCtrlSocket& client,
                                       std::string& filePath, bool& allowed)>;
  using TChangeDirectory = std::function<void(TFtpServer& sender, TFtpCtrlSocket& client,
                                              const std::string& directory, bool& allowed)>;
  using TBuildDirectory = std::function<void(TFtpServer& sender, TFtpCtrlSocket& client,
                                             std::string& directory, bool detailed)>;
  using TDataEvent = std::function<void(TFtpServer& sender, TFtpCtrlSocket& client, TWSocket& data,
                                        uint16_t error)>;
  using TDataAvailable =
      std::function<void(TFtpServer& sender, TFtpCtrlSocket& client, TWSocket& data,
                         const char* buf, int len, uint16_t error)>;
  using TLogged = std::function<void(TFtpServer& sender, TFtpCtrlSocket& client)>;
  using TAddLinks =
      std::function<void(TFtpServer& sender, TFtpCtrlSocket& client, std::string& stream)>;
  using TDirMade = std::function<void(TFtpServer& sender, TFtpCtrlSocket& client,
                                      std::string& filePath, bool created)>;
  using TUpdateXfer = std::function<void(TFtpServer& sender, TFtpCtrlSocket& client, int count)>;
  using TCheckHidden = std::function<void(TFtpServer& sender, TFtpCtrlSocket& client,
                                          const std::string& path, bool& hidden)>;
  using TDirectoryRights = std::function<void(TFtpServer& sender, TFtpCtrlSocket& client,
                                              const std::string& directory, std::string& rights)>;
  using TValidateListing =
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
  // FTPS. Tls holds the certificate; without it AUTH, PBSZ, PROT and CCC are unknown commands
  // and FEAT does not name them. TlsRequireLogin refuses USER on a connection that is not TLS;
  // TlsRequireReuse refuses a protected data connection that does not resume the control
  // connection's TLS session. ImplicitPort, when not empty (and Tls is set), is a second port
  // where TLS starts at once and data connections are protected from the start.
  std::shared_ptr<TlsCredentials> Tls;
  bool TlsRequireLogin = false;
  bool TlsRequireReuse = false;
  std::string ImplicitPort;

  TNotify OnStart;
  TNotify OnStop;
  TAuthenticate OnAuthenticate;
  TClientEvent OnClientDisconnect;
  TClientEvent OnClientConnect;
  TClientCommand OnClientCommand;
  TAnswer OnAnswerToClient;
  TChangeDirectory OnChangeDirectory;
  // The directory is passed by reference so that the host can hand back the path it checked.
  TValidate OnMakeDirectory;
  TBuildDirectory OnBuildDirectory;  // never fired by the engine
  TBuildDirectory OnAlterDirectory;
  TDataEvent OnStorSessionConnected;
  TDataEvent OnRetrSessionConnected;
  TDataEvent OnStorSessionClosed;
  TDataEvent OnRetrSessionClosed;
  TDataEvent OnRetrDataSent;
  TValidate OnValidatePut;
  TValidate OnValidateDele;
  TValidate OnValidateGet;
  // SIZE, before the search: a refusal is answered as if the file did not exist, so that SIZE
  // reveals nothing of a file the client may not read.
  TValidate OnValidateSize;
  TDataAvailable OnStorDataAvailable;
  TLogged OnLogged;
  TAddLinks OnAddLinks;
  TDirMade OnDirMade;
  TUpdateXfer OnUpdateXfer;
  TCheckHidden OnCheckhidden;
  TValidateListing OnValidateListingDir;
  // The rights the account holds on a local directory, for the perm fact of MLSD and MLST:
  // letters R, W, D, M and L as the account grants them, and E where the client may enter it.
  // The engine fills in all of them first, so an unassigned hook grants everything.
  TDirectoryRights OnDirectoryRights;
  // The control connection's TLS handshake is complete (after AUTH TLS, or on the implicit port).
  TLogged OnClientSecured;
  // A TLS handshake failed: the control connection (data false) or a data connection (true).
  std::function<void(TFtpServer& sender, TFtpCtrlSocket& client, bool data,
                     const std::string& reason)>
      OnTlsFailed;

  // Listens on Port unless already listening; a failure reaches the caller as ESocketException.
  // The implicit port's listener is opened too; a failure there leaves ImplicitSocket() closed.
  void Start();
  void Stop();
  bool Active() const;
  int ClientCount() const { return static_cast<int>(clients_.size()); }
  TFtpCtrlSocket& Client(int position) { return *clients_.at(static_cast<size_t>(position)); }
  int IndexOf(const TFtpCtrlSocket& client) const;
  void Disconnect(int position);
  void DisconnectAll();
  void SendToClient(int position, const std::string& text);
  void AddCommand(const std::string& keyword, TFtpSrvCommandProc proc);
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
  int64_t DownloadChunkSize(const TFtpCtrlSocket& client) const;
  // Starts TLS on a data connection just established, when PROT P asks for it; asked by the
  // session's DataChannel. A failure is reported and closes the connection.
  void SecureDataConnection(TFtpCtrlSocket& client);
  // OnTlsFailed for a data connection whose handshake failed (not while the engine is going).
  void ReportDataTlsFailure(TFtpCtrlSocket& client, const std::string& reason);

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

  // Sessions
  void ServerSessionAvailable(TWSocket& listener, bool implicitTls, uint16_t error);
  void ClientCommand(TFtpCtrlSocket& client, const char* line, int length);
  void ClientSessionClosed(TFtpCtrlSocket& client);
  void ClientDataSent(TFtpCtrlSocket& client);
  TFtpCtrlSocket* FindClient(uint64_t sequence) const;

  // Deferred actions
  void PostCloseRequest(TFtpCtrlSocket& client);
  void PostClientClosed(TFtpCtrlSocket& client);
  void ClientClosedAction(uint64_t sequence);

  // Login, directories
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
  bool SecurityCommand(const std::string& keyword) const;
  // Starts TLS on the control connection (after the 234 reply, or at once on the implicit
  // port); false when no certificate can be used.
  bool SecureControl(TFtpCtrlSocket& client);

  // Extensions
  void AddExtensions();
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
  std::vector<TFtpSrvCommandTableItem> commands_;
  // The extension commands; consulted after commands_ and only when the policy knows them.
  std::vector<TFtpSrvCommandTableItem> extensions_;
  bool destroying_ = false;
};

}  // namespace orvane
