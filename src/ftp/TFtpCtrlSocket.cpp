#include "ftp/TFtpCtrlSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <stdexcept>

#include "ftp/ClientPaths.h"
#include "net/ESocketException.h"
#include "platform/FileSystem.h"

namespace orvane {

TFtpCtrlSocket::TFtpCtrlSocket(EventLoop& loop) : TWSocket(loop), data_(loop, *this) {
  // The control connection closes gracefully: the last replies ("221 Goodbye.", a refusal)
  // are still in the system's buffer when the session closes, and an abortive close (the
  // socket's default) would discard them and reset the connection.
  SetLingerOnOff(wsLingerOff);
  // The answers of one round leave together: a small download's "150" and "226" reach the
  // client in one segment, one wake-up of the client instead of two.
  SetGatherSends(true);
  directory_ = HomeDir;
  SetRcvSize(kDefaultRcvSize);
}

TFtpCtrlSocket::~TFtpCtrlSocket() {
  SetRcvSize(0);
  // A running transfer finishes its close handling while the session still exists.
  try {
    data_.Close();
  } catch (const std::exception&) {
    // The session is going away; a failed close changes nothing.
  }
}

void TFtpCtrlSocket::SetRcvSize(int size) {
  if (!lines_.Resize(size)) return;
  std::vector<char>().swap(TransferBuffer);  // remade at the next listing in the new size
}

void TFtpCtrlSocket::SetDirectory(const std::string& value) {
  directory_ = ApplyDirectory(directory_, value);
}

void TFtpCtrlSocket::ReleaseCommands() {
  if (!commandsHeld_) return;
  commandsHeld_ = false;
  readingHeld_ = false;
  if (State() == wsConnected) PostReadiness(FD_READ, 0);
}

void TFtpCtrlSocket::DiscardReceivedLines() {
  lines_.Clear();
}

void TFtpCtrlSocket::StartConnection() {
  FtpState = ftpcWaitingUserCode;
  if (!Banner.empty()) SendStr(Banner + "\r\n");
}

void TFtpCtrlSocket::SendAnswer(const std::string& answer) {
  SendStr(answer + "\r\n");
}

std::string TFtpCtrlSocket::GetPeerAddr() {
  return PeerAddr;
}

void TFtpCtrlSocket::Dup(int newHandle) {
  TWSocket::Dup(newHandle);
  // Asked without the error rule: a client that reset the connection at once leaves the
  // failure text, and its close report ends the session in the normal way.
  // An IPv4 client of the dual-stack listener is shown dotted (SocketAddress::Text).
  SocketAddress peer;
  PeerAddr = GetPeerName(peer) == 0 ? peer.Text() : "error";
  // Clients send ABOR as urgent data (Telnet "synch"): keep urgent bytes in the command stream,
  // where the dispatcher drops the Telnet bytes, instead of losing the line's last byte.
  if (HSocket() >= 0) {
    const int on = 1;
    ::setsockopt(HSocket(), SOL_SOCKET, SO_OOBINLINE, &on, sizeof on);
    // Every reply leaves at once. With Nagle's algorithm a reply written while the previous
    // one is unacknowledged ("226" right after "150") waits for the client's delayed ACK,
    // about 40 ms per transfer.
    ::setsockopt(HSocket(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
}

void TFtpCtrlSocket::TriggerSessionConnected(uint16_t error) {
  PeerAddr = TWSocket::GetPeerAddr();
  TWSocket::TriggerSessionConnected(error);
}

void TFtpCtrlSocket::TriggerCommand(const char* line, int length) {
  if (OnCommand) OnCommand(*this, line, length);
}

void TFtpCtrlSocket::TriggerDataSent(uint16_t error) {
  if (readingHeld_) {
    readingHeld_ = false;
    PostReadiness(FD_READ, 0);  // the commands that waited are read again
  }
  TWSocket::TriggerDataSent(error);
}

bool TFtpCtrlSocket::TriggerDataAvailable(uint16_t) {
  if (commandsHeld_ || BufferedBytes() > kMaxAnswerBacklog) {
    // Nothing is read: read reports stay off until the answers have left (TriggerDataSent) or
    // the hold ends (ReleaseCommands).
    readingHeld_ = true;
    return true;
  }
  if (lines_.Size() <= 1) {
    char scratch[256];
    Receive(scratch, sizeof scratch);
    return true;
  }
  // Runs the command lines (LineReader cuts them). An over-long line is answered once. Lines
  // kept back by a hold are run before anything new is read; once a command has closed the
  // session, the lines still held are dropped.
  const bool heldLines = lines_.HasLine();
  if (!heldLines) {
    int room = 0;
    char* into = lines_.ReadSpace(room);
    const int n = Receive(into, room);
    if (n <= 0) return true;
    if (lines_.Commit(n)) {
      if (OnCommandTooLong) OnCommandTooLong(*this);
      if (State() != wsConnected) return true;
    }
  }

  for (;;) {
    const char* line = nullptr;
    int length = 0;
    if (!lines_.Front(line, length)) {
      // Read reports come again only after a Receive: one that ran held lines without reading
      // asks for the next round itself.
      if (heldLines) PostReadiness(FD_READ, 0);
      return true;
    }
    const int sizeBefore = lines_.Size();
    TriggerCommand(line, length);
    // A handler that resized the buffer has dropped the data held in it.
    if (lines_.Size() != sizeBefore) return true;
    // A session closed by the command (the host disconnected it) runs no further lines.
    if (State() != wsConnected) {
      lines_.Clear();
      return true;
    }
    if (!lines_.Pop()) return true;
    // A held session runs no further line until the hold ends; the lines stay in the buffer.
    if (commandsHeld_) {
      readingHeld_ = true;
      return true;
    }
  }
}

void TFtpCtrlSocket::AddReplyLine(const std::string& line) {
  try {
    SendStr(line + "\r\n");
  } catch (const ESocketException&) {
    // Not connected any more: the session is closing and nobody is left to read the line.
  }
}

void TFtpCtrlSocket::RefuseTransfer(const std::string& reason) {
  FilePath.clear();
  // The engine turns an exception from a transfer hook into the end of that transfer.
  throw std::runtime_error(reason);
}

int64_t TFtpCtrlSocket::FoundFileSize(const std::string& path) {
  if (path == foundPath_) return foundSize_;
  return FileSystem::FileSize(path);
}

void TFtpCtrlSocket::FoundFile(const std::string& path, int64_t size) {
  foundPath_ = path;
  foundSize_ = size;
}

}  // namespace orvane
