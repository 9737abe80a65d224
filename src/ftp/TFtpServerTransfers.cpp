// The data channel of TFtpServer: PORT, PASV, REST, STOR, APPE, RETR, ABOR, LIST and NLST, and
// the handler sets that run a transfer on the session's DataSocket.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>

#include <algorithm>
#include <cstring>

#include "ftp/ListingBuilder.h"
#include "ftp/PathRules.h"
#include "ftp/TFileStream.h"
#include "ftp/TFtpServer.h"
#include "ftp/TMemoryStream.h"
#include "platform/FileSystem.h"
#include "platform/UniqueFd.h"

namespace orvane {

namespace {

const char kAbortRequested[] = "ABORT requested by client";

// A download moves a file in chunks of this size: large enough that the per-chunk work (the
// hooks, the file-exists test, one loop turn) costs nothing next to the bytes, small enough that
// every other session is served between two chunks of a fast client.
constexpr int64_t kFileChunkSize = 1024 * 1024;

// An upload reads the connection in blocks of this size, each handed to the hooks and written
// to the file as it came; one such buffer per running upload.
constexpr int kUploadBlockSize = 256 * 1024;

// Every port of the configured passive range is taken.
class PassiveRangeExhausted : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads one number of a PORT argument: blanks, decimal digits (none = 0), blanks, then a ","
// or the end of the text.
int64_t ReadPortNumber(const std::string& text, size_t& pos) {
  auto blanks = [&]() {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
  };
  blanks();
  int64_t value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    if (value < 1000000) value = value * 10 + (text[pos] - '0');
    ++pos;
  }
  blanks();
  if (pos < text.size()) {
    if (text[pos] != ',') throw std::runtime_error("unexpected char");
    ++pos;
  }
  return value;
}

// The runtime's decimal conversion: optional blanks and sign, digits, nothing else.
bool ParseInt64(const std::string& text, int64_t& value) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (i >= text.size()) return false;
  uint64_t v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + static_cast<uint64_t>(text[i] - '0');
    if (v > static_cast<uint64_t>(INT64_MAX)) return false;
  }
  value = negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
  return true;
}

std::string PeerOf(int fd) {
  const std::optional<SocketAddress> peer = SocketAddress::Peer(fd);
  return peer ? peer->Text() : "";
}

// Active data connections go to unprivileged ports only (1024 and above).
bool IsAcceptableDataPort(int64_t port) {
  return port >= 1024 && port <= 65535;
}

// The last, short chunk of a download leaves at once instead of waiting for the client to
// acknowledge the previous one, and the close follows it without a delay the client can see.
void SendWithoutDelay(TWSocket& data) {
  if (data.HSocket() < 0) return;
  const int on = 1;
  ::setsockopt(data.HSocket(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

File::Mode CreateMode(const TFtpCtrlSocket& client) {
  return client.FileIsNew ? File::Mode::CreateNew : File::Mode::CreateTruncate;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// PORT, PASV, REST

void TFtpServer::CommandPORT(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  if (!LoggedIn(client, answer)) return;
  answer = RefusedAfterEpsvAll(client, "PORT");
  if (!answer.empty()) return;
  client.CurCmdType = ftpcPORT;
  try {
    size_t pos = 0;
    int64_t n[6];
    for (int64_t& v : n) v = ReadPortNumber(params, pos);
    for (int64_t v : n) {
      if (v < 0 || v > 255) throw std::runtime_error("out of range");
    }
    const std::string addr = std::to_string(n[0]) + "." + std::to_string(n[1]) + "." +
                             std::to_string(n[2]) + "." + std::to_string(n[3]);
    // SECURITY: the data connection goes only to the client's own address. Any other address
    // would let a client make this server connect to third parties (the FTP bounce attack).
    if (addr != client.PeerAddr) throw std::runtime_error("foreign address");
    // SECURITY: nor to a privileged port of that address (its own services), nor to this
    // server's control port, where a listing would arrive as commands.
    const int64_t port = n[4] * 256 + n[5];
    if (!IsAcceptableDataPort(port) || std::to_string(port) == serverSocket_->GetXPort()) {
      throw std::runtime_error("privileged port");
    }
    client.DataAddr = addr;
    client.DataPort = std::to_string(port);
    answer = "200 Port command successful.";
  } catch (const std::exception&) {
    answer = "501 Invalid PORT command.";
  }
}

void TFtpServer::CommandPASV(TFtpCtrlSocket& client, std::string&, std::string&,
                             std::string& answer) {
  if (!LoggedIn(client, answer)) return;
  answer = RefusedAfterEpsvAll(client, "PASV");
  if (!answer.empty()) return;
  // PASV can only name an IPv4 address; clients of an IPv6 connection use EPSV (RFC 2428).
  SocketAddress local = SocketAddress::Any(AF_INET);  // "0.0.0.0" should the system refuse
  client.GetSockName(local);
  if (local.IsIPv6()) {
    answer = "522 PASV is not possible on an IPv6 connection; use EPSV.";
    return;
  }
  try {
    const uint16_t port = OpenPassiveListener(client);
    std::string announced = ExternalAddress.Announced(local.Text(), client.PeerAddr);
    for (char& c : announced) {
      if (c == '.') c = ',';
    }
    answer = "227 Entering Passive Mode (" + announced + "," + std::to_string(port >> 8) + "," +
             std::to_string(port & 0xff) + ").";
  } catch (const PassiveRangeExhausted& e) {
    answer = std::string("425 ") + e.what();
  } catch (const std::exception& e) {
    answer = std::string("500 PASV exception: '") + e.what() + "'.";
  }
}

uint16_t TFtpServer::OpenPassiveListener(TFtpCtrlSocket& client) {
  TWSocket& data = *client.DataSocket;
  try {
    data.Close();
    // The listener takes the family of the control connection.
    SocketAddress local;
    client.GetSockName(local);
    data.SetAddr(local.IsIPv6() ? "::" : "0.0.0.0");
    data.SetProto("tcp");
    TFtpCtrlSocket* c = &client;
    data.OnSessionAvailable = [this, c](TCustomWSocket&, uint16_t error) {
      PassiveSessionAvailable(*c, error);
    };
    data.OnSessionConnected = nullptr;
    data.OnSessionClosed = nullptr;
    data.OnDataAvailable = nullptr;
    if (PassivePortRange.Any()) {
      data.SetPort("0");
      if (data.Listen() != 0) throw std::runtime_error("Listen failed");
    } else {
      // Each port of the range once, from the one after the last taken; a port in use by
      // another session (or another program) is skipped.
      bool listening = false;
      for (int tried = 0; tried < PassivePortRange.Count() && !listening; ++tried) {
        data.SetPort(std::to_string(PassivePortRange.Next()));
        try {
          listening = data.Listen() == 0;
        } catch (const std::exception&) {
          listening = false;
        }
        if (!listening) data.Close();
      }
      if (!listening) {
        throw PassiveRangeExhausted("No passive port is free in the range " +
                                    PassivePortRange.Text() + ".");
      }
    }
    SocketAddress bound;
    data.GetSockName(bound);
    client.PassiveMode = true;
    client.PassiveStart = false;
    client.PassiveConnected = false;
    return bound.Port();
  } catch (const std::exception&) {
    try {
      data.Close();
    } catch (const std::exception&) {
      // The caller reports the first failure.
    }
    throw;
  }
}

std::string TFtpServer::RefusedAfterEpsvAll(const TFtpCtrlSocket& client, const std::string& verb) {
  if (!client.ExtendedPassiveOnly) return "";
  return "503 " + verb + " refused after EPSV ALL; use EPSV.";
}

void TFtpServer::PassiveSessionAvailable(TFtpCtrlSocket& client, uint16_t) {
  TWSocket& data = *client.DataSocket;
  UniqueFd accepted(data.Accept());
  if (!accepted) return;
  // SECURITY: only the client's own address may use its passive port. A stranger who guessed
  // the port is dropped at once and the listener keeps waiting for the client.
  if (PeerOf(accepted.Get()) != client.PeerAddr) return;
  // A transfer command waiting for this connection (PassiveStart) has installed its handlers on
  // the listener already; they move over to the connection. They are not chosen again from
  // CurCmdType, which any command between the transfer command and the connection (NOOP, TYPE)
  // overwrites, and which cannot tell STOR from APPE. Without a waiting command the connection
  // gets no handlers: the transfer command installs its own when it comes, and a connection
  // closed after a refused command sends no stray reply.
  auto onConnected = std::move(data.OnSessionConnected);
  auto onDataAvailable = std::move(data.OnDataAvailable);
  auto onDataSent = std::move(data.OnDataSent);
  auto onClosed = std::move(data.OnSessionClosed);
  InstallHandlers(client, HandlerSet::None);  // closing the listener ends no transfer
  data.Close();
  if (client.PassiveStart) {
    data.OnSessionConnected = std::move(onConnected);
    data.OnDataAvailable = std::move(onDataAvailable);
    data.OnDataSent = std::move(onDataSent);
    data.OnSessionClosed = std::move(onClosed);
  }
  data.SetLingerOnOff(wsLingerOff);
  data.SetLingerTimeout(0);
  data.Dup(accepted.Release());
  SendWithoutDelay(data);
  SecureDataConnection(client);
  if (data.State() != wsConnected) return;
  client.PassiveConnected = true;
  if (client.PassiveStart) {
    if (data.OnSessionConnected) data.OnSessionConnected(data, 0);
  } else {
    // Unclaimed: its reports wait until a transfer command claims it, so that data sent ahead
    // of STOR is not discarded and a close before the command is not lost.
    data.Pause();
  }
}

void TFtpServer::CommandREST(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  if (!LoggedIn(client, answer)) return;
  client.CurCmdType = ftpcREST;
  int64_t value = 0;
  if (!ParseInt64(params, value)) {
    client.RestartPos = 0;
    answer = "501 Syntax error in parameter: '" + params + "' is not a valid integer value.";
    return;
  }
  if (value < 0 || (value == 0 && !Compatibility.AcceptsRestartAtZero())) {
    client.RestartPos = 0;
    answer = "501 Required byte offset parameter bad or missing.";
    return;
  }
  client.RestartPos = value;
  answer = "350 REST supported. Ready to resume at byte offset " + std::to_string(value) + ".";
}

// ---------------------------------------------------------------------------------------------
// Handler sets

void TFtpServer::InstallHandlers(TFtpCtrlSocket& client, HandlerSet set) {
  TWSocket& data = *client.DataSocket;
  TFtpCtrlSocket* c = &client;  // the data socket lives inside the session
  data.OnSessionConnected = nullptr;
  data.OnDataAvailable = nullptr;
  data.OnDataSent = nullptr;
  data.OnSessionClosed = nullptr;
  switch (set) {
    case HandlerSet::None:
      break;
    case HandlerSet::Store:
    case HandlerSet::Append: {
      const bool append = set == HandlerSet::Append;
      data.OnSessionConnected = [this, c](TCustomWSocket&, uint16_t e) { StoreConnected(*c, e); };
      data.OnDataAvailable = [this, c, append](TCustomWSocket&, uint16_t e) {
        StoreData(*c, e, append);
      };
      data.OnSessionClosed = [this, c, append](TCustomWSocket&, uint16_t e) {
        StoreClosed(*c, e, append);
      };
      break;
    }
    case HandlerSet::Send:
      data.OnSessionConnected = [this, c](TCustomWSocket&, uint16_t e) { SendConnected(*c, e); };
      data.OnDataSent = [this, c](TCustomWSocket&, uint16_t e) { SendDataSent(*c, e); };
      data.OnSessionClosed = [this, c](TCustomWSocket&, uint16_t e) { SendClosed(*c, e); };
      break;
  }
}

void TFtpServer::StartActiveConnect(TFtpCtrlSocket& client, HandlerSet set) {
  TWSocket& data = *client.DataSocket;
  data.SetProto("tcp");
  data.SetAddr(client.DataAddr);
  data.SetPort(client.DataPort);
  InstallHandlers(client, set);
  data.SetLingerOnOff(wsLingerOff);
  data.SetLingerTimeout(0);
  data.Connect();
  SendWithoutDelay(data);
  SecureDataConnection(client);
}

void TFtpServer::AbortTransfer(TFtpCtrlSocket& client, const std::string& reason) {
  client.TransferError = reason;
  client.AbortingTransfer = true;
  PostAbortData(client);
}

// ---------------------------------------------------------------------------------------------
// Uploads

void TFtpServer::CommandSTOR(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  if (!LoggedIn(client, answer)) return;
  StoreCommand(client, params, answer, false);
}

void TFtpServer::CommandAPPE(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  if (!LoggedIn(client, answer)) return;
  StoreCommand(client, params, answer, true);
}

void TFtpServer::StoreCommand(TFtpCtrlSocket& client, std::string& params, std::string& answer,
                              bool append) {
  const std::string verb = append ? "APPE" : "STOR";
  TakeRestartOffset(client);
  try {
    client.CurCmdType = ftpcSTOR;
    DropStaleStream(client);
    client.FileName = SlashesToBackSlashes(params);
    client.HasOpenedFile = false;
    client.AbortingTransfer = false;
    client.TransferError = "Transfer Ok";
    std::string path = BuildFilePath(client.Directory(), client.FileName);
    bool allowed = true;
    if (OnValidatePut) OnValidatePut(*this, client, path, allowed);
    if (!allowed) {
      answer = Compatibility.RightsRefusal("500 Cannot " + verb + ". No permission");
      return;
    }
    client.FilePath = path;
    client.FileIsNew = !FileSystem::FileExists(path);
    const HandlerSet set = append ? HandlerSet::Append : HandlerSet::Store;
    if (client.PassiveMode) {
      InstallHandlers(client, set);
      if (client.PassiveConnected) {
        client.DataSocket->Resume();
        StoreConnected(client, 0);
      } else {
        client.PassiveStart = true;
      }
    } else {
      StartActiveConnect(client, set);
    }
    answer = "150 Opening data connection for " + params + ".";
  } catch (const std::exception& e) {
    answer = "501 Cannot " + verb + ". " + e.what();
  }
}

void TFtpServer::StoreConnected(TFtpCtrlSocket& client, uint16_t error) {
  client.PassiveMode = false;
  if (error == 0 && !client.UploadBuffer) {
    client.UploadBuffer = std::make_unique_for_overwrite<char[]>(kUploadBlockSize);
  }
  if (OnStorSessionConnected) OnStorSessionConnected(*this, client, *client.DataSocket, error);
  // A data connection that could not be made ends the upload with its error, never with a
  // report of success (the socket layer closes it right after this event).
  if (error != 0) {
    client.TransferError = "Error #" + std::to_string(error);
    client.AbortingTransfer = true;
  }
}

void TFtpServer::StoreData(TFtpCtrlSocket& client, uint16_t error, bool append) {
  if (!client.UploadBuffer) {
    client.UploadBuffer = std::make_unique_for_overwrite<char[]>(kUploadBlockSize);
  }
  char* buffer = client.UploadBuffer.get();
  const int n = client.DataSocket->Receive(buffer, kUploadBlockSize);
  if (n <= 0 || client.AbortingTransfer) return;
  try {
    if (OnStorDataAvailable) {
      OnStorDataAvailable(*this, client, *client.DataSocket, buffer, n, error);
    }
    if (!client.HasOpenedFile && !client.FilePath.empty() && !client.DataStream) {
      std::unique_ptr<TFileStream> file;
      if (append) {
        file = std::make_unique<TFileStream>(client.FilePath, File::Mode::Write);
        file->SeekToEnd();
      } else {
        file = std::make_unique<TFileStream>(
            client.FilePath, client.TransferStartPos != 0 ? File::Mode::Write : CreateMode(client));
        file->Seek(client.TransferStartPos);
      }
      client.DataStream = std::move(file);
      client.HasOpenedFile = true;
    }
    if (client.DataStream) client.DataStream->Write(buffer, n);
  } catch (const std::exception& e) {
    AbortTransfer(client, e.what());
  }
}

// What every closed data connection resets: the passive state, the transfer's start offset, the
// data port (to the "ftp-data" service) and the stream the engine opened.
void TFtpServer::EndTransfer(TFtpCtrlSocket& client) {
  // A data connection whose TLS handshake failed ends the transfer with the reason.
  if (!client.DataSocket->TlsFailure().empty()) {
    const std::string reason = client.DataSocket->TakeTlsFailure();
    client.AbortingTransfer = true;
    client.TransferError = "TLS failed: " + reason;
    if (OnTlsFailed && !destroying_) OnTlsFailed(*this, client, true, reason);
  }
  client.PassiveStart = false;
  client.PassiveConnected = false;
  client.TransferStartPos = 0;
  client.DataPort = "ftp-data";
  // Every stream ends with its transfer, also one the host supplied: a stream left behind would
  // be taken by the next transfer instead of its own file.
  client.DataStream.reset();
  client.HasOpenedFile = false;
  client.UploadBuffer.reset();
}

// REST applies to the next transfer command only: STOR, APPE, RETR, LIST and NLST take the
// offset at their start, so that one refused, failed or never connected leaves no offset for a
// later command (a stale offset would make the next upload of a new file fail).
void TFtpServer::TakeRestartOffset(TFtpCtrlSocket& client) {
  client.TransferStartPos = client.RestartPos;
  client.RestartPos = 0;
}

// A transfer command that finds no data connection established drops any stream left by a
// command whose data connection never came (a LIST that failed, a PASV never connected).
void TFtpServer::DropStaleStream(TFtpCtrlSocket& client) {
  if (client.DataSocket->State() == wsConnected) return;
  client.DataStream.reset();
  client.HasOpenedFile = false;
}

void TFtpServer::StoreClosed(TFtpCtrlSocket& client, uint16_t error, bool append) {
  // A passive listener closed before the client connected (by the next PASV, or with the
  // session): no data came, so nothing is created and nothing is reported as received.
  const bool neverConnected = client.PassiveStart && !client.PassiveConnected;
  if (neverConnected) {
    client.TransferError = "Can't open data connection";
    client.AbortingTransfer = true;
  }
  // An empty upload still stores an empty file: the file is otherwise opened with the first
  // chunk, and "226 File received ok" over an old file's unchanged content would be false.
  if (!append && !client.AbortingTransfer && error == 0 && !client.HasOpenedFile &&
      !client.DataStream && !client.FilePath.empty() && client.TransferStartPos == 0) {
    try {
      TFileStream created(client.FilePath, CreateMode(client));
    } catch (const std::exception& e) {
      client.TransferError = e.what();
      client.AbortingTransfer = true;
    }
  }
  EndTransfer(client);
  // The host hears of an upload that never connected as "not connected" (10057), not as done.
  const uint16_t reported = neverConnected ? 10057 : error;
  if (OnStorSessionClosed) OnStorSessionClosed(*this, client, *client.DataSocket, reported);
  if (neverConnected) {
    SendAnswer(client, "425 Can't open data connection.");
  } else if (client.AbortingTransfer) {
    SendAnswer(client, "426 Connection closed; " + client.TransferError + ".");
  } else if (error == 0) {
    SendAnswer(client, "226 File received ok");
  } else {
    SendAnswer(client, "426 Connection closed; transfer aborted. Error #" + std::to_string(error));
  }
}

// ---------------------------------------------------------------------------------------------
// Downloads and listings

void TFtpServer::CommandRETR(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  if (!LoggedIn(client, answer)) return;
  TakeRestartOffset(client);
  try {
    client.CurCmdType = ftpcRETR;
    DropStaleStream(client);
    client.HasOpenedFile = false;
    client.FileName = SlashesToBackSlashes(params);
    std::string path = BuildFilePath(client.Directory(), client.FileName);
    bool allowed = true;
    if (OnValidateGet) OnValidateGet(*this, client, path, allowed);
    if (!allowed) {
      answer = "550 Permission denied.";
      return;
    }
    client.FilePath = path;
    if (!FileSystem::FileExists(client.FilePath)) {
      answer = "550 " + params + " : No Such File or Directory.";
      return;
    }
    answer = "150 Opening data connection for " + params + ".";
    StartOutgoingData(client);
  } catch (const std::exception& e) {
    answer = std::string("501 Cannot RETR. ") + e.what();
  }
}

void TFtpServer::StartOutgoingData(TFtpCtrlSocket& client) {
  client.AbortingTransfer = false;
  client.DataSent = false;
  client.TransferError = "Transfer Ok";
  if (client.PassiveMode) {
    InstallHandlers(client, HandlerSet::Send);
    if (client.PassiveConnected) {
      client.DataSocket->Resume();
      SendConnected(client, 0);
    } else {
      client.PassiveStart = true;
    }
    return;
  }
  client.DataSocket->Close();
  StartActiveConnect(client, HandlerSet::Send);
}

void TFtpServer::SendConnected(TFtpCtrlSocket& client, uint16_t error) {
  client.PassiveMode = false;
  try {
    if (OnRetrSessionConnected) OnRetrSessionConnected(*this, client, *client.DataSocket, error);
    // A data connection that could not be made ends the download with its error.
    if (error != 0) throw std::runtime_error("Error #" + std::to_string(error));
    if (!client.HasOpenedFile && !client.FilePath.empty() && !client.DataStream) {
      auto file = std::make_unique<TFileStream>(client.FilePath, File::Mode::Read);
      file->Seek(client.TransferStartPos);
      client.DataStream = std::move(file);
      client.HasOpenedFile = true;
    }
  } catch (const std::exception& e) {
    AbortTransfer(client, e.what());
    return;
  }
  SendNextChunk(client);
}

// One chunk per emptying of the send queue, so a download holds at most one chunk in flight. A
// file goes to the connection in the kernel (SendFile) in large chunks; listings, memory streams
// and the host's own streams are read through the session's buffer, RcvSize bytes at a time.
void TFtpServer::SendNextChunk(TFtpCtrlSocket& client) {
  try {
    if (auto* file = dynamic_cast<TFileStream*>(client.DataStream.get())) {
      SendFileChunk(client, *file);
      return;
    }
    char* buffer = client.TransferBuffer.data();
    const int64_t n = client.DataStream ? client.DataStream->Read(buffer, client.RcvSize()) : 0;
    if (n > 0) {
      if (!client.FilePath.empty() && FileSystem::FileExists(client.FilePath) && OnUpdateXfer) {
        OnUpdateXfer(*this, client, static_cast<int>(n));
      }
      client.DataSocket->Send(buffer, static_cast<int>(n));
    } else if (!client.DataSent) {
      client.DataSent = true;
      PostCloseData(client);
    }
  } catch (const std::exception& e) {
    AbortTransfer(client, e.what());
  }
}

// The next chunk of a file download: what the file holds beyond the current offset, up to the
// chunk size. A file that grows while it is sent is sent to its new end; one that became shorter
// than what has already been sent ends the download as a failure, since the client's copy
// matches neither the old nor the new content.
void TFtpServer::SendFileChunk(TFtpCtrlSocket& client, TFileStream& file) {
  const int64_t position = file.Position();
  const int64_t size = file.Size();
  if (position > size && position > client.TransferStartPos) {
    throw std::runtime_error("File truncated while being sent");
  }
  const int64_t n = std::min(size - position, DownloadChunkSize(client));
  if (n > 0) {
    if (!client.FilePath.empty() && FileSystem::FileExists(client.FilePath) && OnUpdateXfer) {
      OnUpdateXfer(*this, client, static_cast<int>(n));
    }
    client.DataSocket->SendFile(file.Handle(), n);
  } else if (!client.DataSent) {
    client.DataSent = true;
    PostCloseData(client);
  }
}

// The size of the next download chunk. This is where a per-account bandwidth limit belongs: it
// would hand out fewer bytes here, or hold the next chunk back with a timer, and every hook would
// keep its place around the chunk.
int64_t TFtpServer::DownloadChunkSize(const TFtpCtrlSocket&) const {
  return kFileChunkSize;
}

void TFtpServer::SendDataSent(TFtpCtrlSocket& client, uint16_t error) {
  if (client.AbortingTransfer) return;
  try {
    if (OnRetrDataSent) OnRetrDataSent(*this, client, *client.DataSocket, error);
    if (error != 0) throw std::runtime_error("Send: error #" + std::to_string(error));
    if (client.DataSocket->FileShortfall() != 0) {
      throw std::runtime_error("File truncated while being sent");
    }
    SendNextChunk(client);
  } catch (const std::exception& e) {
    client.TransferError = e.what();
    client.AbortingTransfer = true;
    SendAnswer(client, "426 Connection closed; " + client.TransferError + ".");
    PostAbortData(client);
  }
}

void TFtpServer::SendClosed(TFtpCtrlSocket& client, uint16_t error) {
  EndTransfer(client);
  if (client.AbortingTransfer && client.TransferError == kAbortRequested) {
    SendAnswer(client, Compatibility.AbortedDownloadReply(client.TransferError));
  } else if (client.AbortingTransfer) {
    SendAnswer(client, "501 Cannot RETR. " + client.TransferError);
  } else if (error != 0) {
    SendAnswer(client, "501 Cannot RETR. Error #" + std::to_string(error));
  } else if (!client.DataSent) {
    // The client closed the data connection before the end of the data: never report that as
    // a complete transfer.
    SendAnswer(client, "426 Connection closed; transfer aborted.");
  } else {
    SendAnswer(client, "226 File sent ok");
  }
  if (OnRetrSessionClosed) OnRetrSessionClosed(*this, client, *client.DataSocket, error);
}

void TFtpServer::CommandABOR(TFtpCtrlSocket& client, std::string&, std::string&,
                             std::string& answer) {
  const bool transferring = client.DataSocket->State() == wsConnected;
  if (transferring) {
    client.TransferError = kAbortRequested;
    client.AbortingTransfer = true;
    client.DataSocket->Close();
  }
  answer = Compatibility.AbortReply(transferring);
}

void TFtpServer::CommandLIST(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  if (!LoggedIn(client, answer)) return;
  client.CurCmdType = ftpcLIST;
  ListingStep(client, ListingFormat::Long, params, answer);
}

void TFtpServer::CommandNLST(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  if (!LoggedIn(client, answer)) return;
  client.CurCmdType = ftpcNLST;
  ListingStep(client, ListingFormat::Names, params, answer);
}

// The whole listing is built in memory, then sent with the download path.
void TFtpServer::ListingStep(TFtpCtrlSocket& client, ListingFormat format, std::string& params,
                             std::string& answer) {
  const bool detailed = format != ListingFormat::Names;
  TakeRestartOffset(client);
  client.DataStream.reset();
  client.HasOpenedFile = false;
  bool allowed = true;
  if (OnValidateListingDir) OnValidateListingDir(*this, client, allowed);
  if (!allowed) {
    std::string links;
    if (OnAddLinks) OnAddLinks(*this, client, links);
    if (format == ListingFormat::Facts) links = ListingBuilder::FactsFromLinkLines(links);
    client.DataStream = std::make_unique<TMemoryStream>(std::move(links));
    client.HasOpenedFile = true;
    client.FilePath.clear();
    answer = "150 Opening data connection for directory list.";
    StartOutgoingData(client);
    return;
  }
  std::string listing;
  try {
    params = SlashesToBackSlashes(params);
    if (OnAlterDirectory) OnAlterDirectory(*this, client, params, detailed);
    ListingBuilder builder;
    builder.addLinks = [this, &client](std::string& stream) {
      if (OnAddLinks) OnAddLinks(*this, client, stream);
    };
    builder.checkHidden = [this, &client](const std::string& pattern) {
      bool hidden = false;
      if (OnCheckhidden) OnCheckhidden(*this, client, pattern, hidden);
      return hidden;
    };
    if (format == ListingFormat::Facts) {
      const std::string listed = ListingBuilder::ListedDirectory(client.Directory(), params);
      const std::string rights = RightsOf(client, listed);
      builder.permOf = [this, &client, &listed, &rights](const FileInfo& entry) {
        return PermFact(client, listed, rights, entry);
      };
      listing = builder.BuildFacts(client.Directory(), params);
    } else {
      listing = builder.Build(client.Directory(), params, detailed);
    }
  } catch (const std::exception& e) {
    // A directory the client may not list, or one that does not exist (the host grants no
    // right on it): clients such as rclone read 550 as "not there".
    answer = Compatibility.RightsRefusal(std::string("451 Failed: ") + e.what() + ".");
    return;
  }
  try {
    client.DataStream = std::make_unique<TMemoryStream>(std::move(listing));
    client.HasOpenedFile = true;
    client.FilePath.clear();
    answer = "150 Opening data connection for directory list.";
    StartOutgoingData(client);
  } catch (const std::exception& e) {
    client.DataStream.reset();
    client.HasOpenedFile = false;
    answer = std::string("451 Failed: ") + e.what() + ".";
  }
}

}  // namespace orvane
