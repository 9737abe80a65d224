#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ftp/DataChannel.h"
#include "ftp/FtpTypes.h"
#include "ftp/LineReader.h"
#include "ftp/SessionView.h"
#include "net/TWSocket.h"

namespace orvane {

// One client's FTP session: the accepted control connection plus everything the engine
// remembers about the client between commands, and the data channel it owns.
// Created, driven and freed by TFtpServer; the host reaches it through the hooks' Client, and
// the access rules through its SessionView.
class TFtpCtrlSocket : public TWSocket, public SessionView {
 public:
  using TCommandEvent = std::function<void(TFtpCtrlSocket& sender, const char* cmdBuf, int cmdLen)>;
  using SessionNotifyHook = std::function<void(TFtpCtrlSocket& sender)>;

  static constexpr int kDefaultRcvSize = 2048;
  // Commands are not read while more answer bytes than this wait to be sent: a client that
  // sends commands but never reads the answers cannot make the server queue without end.
  static constexpr int64_t kMaxAnswerBacklog = 64 * 1024;

  explicit TFtpCtrlSocket(EventLoop& loop);
  ~TFtpCtrlSocket() override;

  // The data connection and the state of its transfer.
  DataChannel& Data() { return data_; }
  const DataChannel& Data() const { return data_; }

  std::string Banner;
  std::string UserName;
  std::string PassWord;
  bool CloseRequest = false;
  std::string HomeDir = "C:\\TEMP\\";
  TFtpCtrlState FtpState = ftpcInvalid;
  std::string PeerAddr;
  TCommandEvent OnCommand;
  // Called when a client fills the receive buffer without ending its line; the over-long line
  // is discarded up to its LF and the server answers it.
  SessionNotifyHook OnCommandTooLong;

  std::string FileName;
  std::string FilePath;
  // The upload's file did not exist when STOR was accepted: it is then created only if it still
  // does not exist, so a file that appeared meanwhile is never overwritten by a client that was
  // allowed to create new files only.
  bool FileIsNew = false;
  // The session's own transfer rates in bytes per second, 0 = none (the host sets them at login).
  int64_t DownloadRateLimit = 0;
  int64_t UploadRateLimit = 0;
  TFtpCmdType CurCmdType = ftpcNOOP;
  // The running command came without an argument ("RMD", not "RMD /home/solo/"): DELE, RNFR,
  // RMD and MKD then act on the current directory itself. Set by the dispatcher per command.
  bool CurCmdWithoutArgument = false;
  std::string FromFileName;
  std::string ToFileName;
  // After "EPSV ALL" the client sets up every data connection with EPSV; PORT, PASV and EPRT
  // are refused.
  bool ExtendedPassiveOnly = false;

  // FTPS: PBSZ was given on the protected control connection, PROT P asks for protected data
  // connections, and the answer just queued (234 to AUTH TLS) is the last in clear: the engine
  // starts TLS right after it.
  bool ProtectionBufferSet = false;
  bool ProtectData = false;
  bool SecureAfterAnswer = false;
  // Drops the command bytes received and not yet run: what a client sent behind AUTH TLS, in
  // clear, must never run as if it had come protected.
  void DiscardReceivedLines();

  // Position of the session in the server's sequence of accepted connections.
  uint64_t SequenceNumber = 0;

  // The chunk buffer of listings and memory streams, RcvSize bytes once the first one runs.
  std::vector<char> TransferBuffer;

  int RcvSize() const { return lines_.Size(); }
  void SetRcvSize(int size);
  int RcvCnt() const { return lines_.Count(); }

  const std::string& Directory() const override { return directory_; }
  // Applies the engine's directory rule; throws FtpPathError on refused input and then keeps
  // the previous directory.
  void SetDirectory(const std::string& value) override;

  // Holding the commands: a hook may hold the session while its command runs (the host does so
  // after a refused password). The engine then keeps that command's answer in HeldAnswer
  // instead of sending it, and no further command of the client is read or run, also none
  // already received, until ReleaseCommands(). Nothing blocks: other sessions go on.
  void HoldCommands() { commandsHeld_ = true; }
  bool CommandsHeld() const { return commandsHeld_; }
  // Ends the hold; the commands that waited are read and run again from the loop.
  void ReleaseCommands();
  std::string HeldAnswer;
  // An OnAuthenticate hook that decides later (a password hash computed off the loop thread)
  // holds the session and defers: PASS then answers nothing until the host calls
  // TFtpServer::CompleteAuthentication.
  void DeferAuthentication() {
    HoldCommands();
    authenticationDeferred_ = true;
  }
  bool AuthenticationDeferred() const { return authenticationDeferred_; }
  // Ends the deferral (the session stays held); false when none was under way.
  bool EndDeferredAuthentication() {
    const bool was = authenticationDeferred_;
    authenticationDeferred_ = false;
    return was;
  }

  // Starts the session: waiting for USER, banner sent (not through the answer hook).
  virtual void StartConnection();
  void SendAnswer(const std::string& answer);
  std::string GetPeerAddr() override;

  // SessionView: the fields above as the access rules read and change them.
  const std::string& LoginName() const override { return UserName; }
  const std::string& HomeDirectory() const override { return HomeDir; }
  bool CommandWithoutArgument() const override { return CurCmdWithoutArgument; }
  const std::string& TransferFilePath() const override { return FilePath; }
  const std::string& TransferFileName() const override { return FileName; }
  int64_t FoundFileSize(const std::string& path) override;
  // What the engine found at `path` for the running download (size, or -1 for no file); the
  // answer FoundFileSize gives for that path until the next command.
  void FoundFile(const std::string& path, int64_t size);
  void SetHomeDirectory(const std::string& directory) override { HomeDir = directory; }
  void AddReplyLine(const std::string& line) override;
  [[noreturn]] void RefuseTransfer(const std::string& reason) override;
  void Dup(int newHandle) override;

 protected:
  bool TriggerDataAvailable(uint16_t error) override;
  void TriggerDataSent(uint16_t error) override;
  void TriggerSessionConnected(uint16_t error) override;
  virtual void TriggerCommand(const char* line, int length);

 private:
  LineReader lines_;  // the command lines received and not yet run
  bool readingHeld_ = false;
  bool authenticationDeferred_ = false;
  bool commandsHeld_ = false;
  std::string directory_;
  std::string foundPath_;
  int64_t foundSize_ = -1;
  DataChannel data_;
};

}  // namespace orvane
