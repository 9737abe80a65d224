#pragma once

#include <cstdint>
#include <string>

namespace orvane {

// A client session as the access rules see it: what a rule reads about the client and the
// command, and the few things a rule may do to the session. The access layer takes this view
// instead of TFtpCtrlSocket, so no rule can reach the sockets, the transfer state or the flow
// of commands, and a rule is tested against a plain object, without a loop or a socket.
//
// TFtpCtrlSocket implements it. The view is declared here, beside the session, and not in the
// access layer, so that the dependency keeps pointing one way: access includes ftp, never the
// reverse. Everything is called on the loop thread, from inside the engine's hooks.
class SessionView {
 public:
  virtual ~SessionView() = default;

  // --- What a rule reads ---------------------------------------------------------------------
  // The client's dotted address.
  virtual std::string GetPeerAddr() = 0;
  // The user name the client sent with USER.
  virtual const std::string& LoginName() const = 0;
  // The home and the current directory (local paths ending with "\").
  virtual const std::string& HomeDirectory() const = 0;
  virtual const std::string& Directory() const = 0;
  // The running command came without an argument ("RMD", not "RMD /home/solo/").
  virtual bool CommandWithoutArgument() const = 0;
  // The local path of the file the running transfer reads or writes (empty for a listing) and
  // the name the client gave for an upload.
  virtual const std::string& TransferFilePath() const = 0;
  virtual const std::string& TransferFileName() const = 0;
  // The size of the regular file at `path` as the engine found it for the running download,
  // -1 where there is none: RETR looks its file up once as it is validated, and the size of the
  // opened file stands in for it as the data connection opens. A rule asks here instead of the
  // file system, so that it judges the very file the engine sends; for another path, or
  // outside a download's hooks, the answer is the file system's at the time of asking.
  virtual int64_t FoundFileSize(const std::string& path) = 0;

  // --- What a rule may do --------------------------------------------------------------------
  // The home directory of the account that admitted the client (the engine then makes it the
  // current directory).
  virtual void SetHomeDirectory(const std::string& directory) = 0;
  // The current directory, by the engine's directory rule; throws FtpPathError on a value the
  // rule refuses and keeps the previous directory then.
  virtual void SetDirectory(const std::string& value) = 0;
  // Sends one line of the reply ("550-...", "230-...") at once, with CR LF, ahead of the
  // engine's own final line. A connection that has gone away drops the line.
  virtual void AddReplyLine(const std::string& line) = 0;
  // Refuses the transfer whose data connection is opening: its file is forgotten, so that no
  // later hook reports it, and the engine ends the transfer with the failure `reason`, as for
  // any failure inside the hook. Does not return.
  [[noreturn]] virtual void RefuseTransfer(const std::string& reason) = 0;
};

}  // namespace orvane
