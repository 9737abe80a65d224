// The data-connection commands of TFtpServer: PORT, PASV, REST, STOR, APPE, RETR, ABOR, LIST
// and NLST. They check and answer; the session's DataChannel runs the transfer.
#include <netinet/in.h>

#include <cstring>

#include "ftp/ClientPaths.h"
#include "ftp/FileStream.h"
#include "ftp/ListingBuilder.h"
#include "ftp/MemoryStream.h"
#include "ftp/TFtpServer.h"
#include "net/SocketAddress.h"
#include "platform/FileSystem.h"

namespace orvane {

namespace {

// A download moves a file in chunks of this size: large enough that the per-chunk work (the
// hooks, the file-exists test, one loop turn) costs little next to the bytes, small enough that
// every other session is served between two chunks of a fast client. It is also what keeps a
// fast download cheap: the pages of a 128 KiB chunk are still in the processor's cache when
// the receiver copies them out, so a loopback RETR ran at twice the speed and half the CPU of
// 1 MiB chunks (and better than 64 or 256 KiB) on the machine this was measured on.
constexpr int64_t kFileChunkSize = 128 * 1024;
// While downloads wait for their turn in the loop's rounds (RoundBudget), their bytes sit in the
// sockets for a while anyway, and what counts is the work per chunk: larger chunks halve it, and
// the round's budget still bounds the round. 256 KiB moved about a tenth more with 100 and 500
// concurrent downloads than 128 KiB did.
constexpr int64_t kBusyFileChunkSize = 256 * 1024;

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

// The part of an NLST argument (with "\" for "/") that each listed name is given, in the client's
// spelling with "/": all of it when the listing shows a directory's contents (`listed`, the
// argument as the host resolved it, ends with "\"), else what precedes its last separator.
// Leading option words ("-l") are no part of it.
std::string NamePrefix(const std::string& asked, const std::string& listed) {
  std::size_t pos = 0;
  for (;;) {
    while (pos < asked.size() && (asked[pos] == ' ' || asked[pos] == '\t')) ++pos;
    if (pos >= asked.size() || asked[pos] != '-') break;
    while (pos < asked.size() && asked[pos] != ' ' && asked[pos] != '\t') ++pos;
  }
  std::string argument = asked.substr(pos);
  if (argument.empty()) return "";
  if (listed.empty() || listed.back() != '\\') {
    const std::size_t last = argument.rfind('\\');
    argument = last == std::string::npos ? "" : argument.substr(0, last + 1);
  } else if (argument.back() != '\\') {
    argument += '\\';
  }
  return BackSlashesToSlashes(argument);
}

// Active data connections go to unprivileged ports only (1024 and above).
bool IsAcceptableDataPort(int64_t port) {
  return port >= 1024 && port <= 65535;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// PORT, PASV, REST

bool TFtpServer::IsOwnControlPort(int64_t port) {
  const std::string text = std::to_string(port);
  if (text == serverSocket_->GetXPort()) return true;
  return implicitSocket_->State() != wsClosed && text == implicitSocket_->GetXPort();
}

void TFtpServer::CommandPORT(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
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
    if (!IsAcceptableDataPort(port) || IsOwnControlPort(port)) {
      throw std::runtime_error("privileged port");
    }
    client.Data().GivePort(addr, std::to_string(port));
    answer = "200 Port command successful.";
  } catch (const std::exception&) {
    answer = "501 Invalid PORT command.";
  }
}

void TFtpServer::CommandPASV(TFtpCtrlSocket& client, std::string&, std::string&,
                             std::string& answer) {
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
    const uint16_t port = client.Data().OpenListener(PassivePortRange, false);
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

std::string TFtpServer::RefusedAfterEpsvAll(const TFtpCtrlSocket& client, const std::string& verb) {
  if (!client.ExtendedPassiveOnly) return "";
  return "503 " + verb + " refused after EPSV ALL; use EPSV.";
}

void TFtpServer::CommandREST(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  client.CurCmdType = ftpcREST;
  int64_t value = 0;
  if (!ParseInt64(params, value)) {
    client.Data().SetRestartOffset(0);
    answer = "501 Syntax error in parameter: '" + params + "' is not a valid integer value.";
    return;
  }
  if (value < 0 || (value == 0 && !Compatibility.AcceptsRestartAtZero())) {
    client.Data().SetRestartOffset(0);
    answer = "501 Required byte offset parameter bad or missing.";
    return;
  }
  client.Data().SetRestartOffset(value);
  answer = "350 REST supported. Ready to resume at byte offset " + std::to_string(value) + ".";
}

// ---------------------------------------------------------------------------------------------
// Uploads

void TFtpServer::CommandSTOR(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  StoreCommand(client, params, answer, false);
}

void TFtpServer::CommandAPPE(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  StoreCommand(client, params, answer, true);
}

void TFtpServer::StoreCommand(TFtpCtrlSocket& client, std::string& params, std::string& answer,
                              bool append) {
  const std::string verb = append ? "APPE" : "STOR";
  client.Data().TakeRestartOffset();
  try {
    client.CurCmdType = ftpcSTOR;
    client.FileName = SlashesToBackSlashes(params);
    std::string path = BuildFilePath(client.Directory(), client.FileName);
    bool allowed = true;
    if (OnValidatePut) OnValidatePut(*this, client, path, allowed);
    if (!allowed) {
      answer = Compatibility.RightsRefusal("500 Cannot " + verb + ". No permission");
      return;
    }
    client.FilePath = path;
    client.FileIsNew = !FileSystem::FileExists(path);
    client.Data().StartUpload(append);
    answer = "150 Opening data connection for " + params + ".";
  } catch (const std::exception& e) {
    answer = "501 Cannot " + verb + ". " + e.what();
  }
}

// ---------------------------------------------------------------------------------------------
// Downloads and listings

void TFtpServer::CommandRETR(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  client.Data().TakeRestartOffset();
  try {
    client.CurCmdType = ftpcRETR;
    client.FileName = SlashesToBackSlashes(params);
    std::string path = BuildFilePath(client.Directory(), client.FileName);
    // The file is looked up once here; the hook and this command take that answer.
    client.FoundFile(path, FileSystem::FileSize(path));
    bool allowed = true;
    if (OnValidateGet) OnValidateGet(*this, client, path, allowed);
    if (!allowed) {
      answer = "550 Permission denied.";
      return;
    }
    client.FilePath = path;
    if (client.FoundFileSize(path) < 0) {
      answer = "550 " + params + " : No Such File or Directory.";
      return;
    }
    answer = "150 Opening data connection for " + params + ".";
    client.Data().StartDownload(nullptr);
  } catch (const std::exception& e) {
    answer = std::string("501 Cannot RETR. ") + e.what();
  }
}

// A download's chunk size. A rate-limited download takes at most one step of its rate of it
// (TransferPacer::StepSize) and waits for its next chunk on a timer.
int64_t TFtpServer::DownloadChunkSize(const TFtpCtrlSocket&) const {
  return Pacing.DownloadRounds().Waiting() > 0 ? kBusyFileChunkSize : kFileChunkSize;
}

std::unique_ptr<TransferPacer> TFtpServer::PacerFor(bool download, int64_t ownLimit,
                                                    EventLoop::Token owner) {
  return Pacing.PacerFor(download, ownLimit, owner);
}

// ---------------------------------------------------------------------------------------------
// The data channels' events: the transfer hooks and the transfer's answer

void TFtpServer::UploadConnected(TFtpCtrlSocket& client, TWSocket& data, uint16_t error) {
  if (OnStorSessionConnected) OnStorSessionConnected(*this, client, data, error);
}

void TFtpServer::UploadData(TFtpCtrlSocket& client, TWSocket& data, const char* buffer, int length,
                            uint16_t error) {
  if (OnStorDataAvailable) OnStorDataAvailable(*this, client, data, buffer, length, error);
}

void TFtpServer::UploadClosed(TFtpCtrlSocket& client, TWSocket& data, const Transfer& transfer,
                              uint16_t error) {
  if (OnStorSessionClosed) OnStorSessionClosed(*this, client, data, transfer, error);
}

void TFtpServer::DownloadConnected(TFtpCtrlSocket& client, TWSocket& data, uint16_t error) {
  if (OnRetrSessionConnected) OnRetrSessionConnected(*this, client, data, error);
}

void TFtpServer::DownloadChunk(TFtpCtrlSocket& client, int count) {
  if (OnUpdateXfer) OnUpdateXfer(*this, client, count);
}

void TFtpServer::DownloadDataSent(TFtpCtrlSocket& client, TWSocket& data, uint16_t error) {
  if (OnRetrDataSent) OnRetrDataSent(*this, client, data, error);
}

void TFtpServer::DownloadClosed(TFtpCtrlSocket& client, TWSocket& data, const Transfer& transfer,
                                uint16_t error) {
  if (OnRetrSessionClosed) OnRetrSessionClosed(*this, client, data, transfer, error);
}

void TFtpServer::TransferAnswer(TFtpCtrlSocket& client, const std::string& answer) {
  SendAnswer(client, answer);
}

void TFtpServer::CommandABOR(TFtpCtrlSocket& client, std::string&, std::string&,
                             std::string& answer) {
  const bool transferring = client.Data().AbortByClient();
  answer = Compatibility.AbortReply(transferring);
}

void TFtpServer::CommandLIST(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  client.CurCmdType = ftpcLIST;
  ListingStep(client, ListingFormat::Long, params, answer);
}

void TFtpServer::CommandNLST(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  client.CurCmdType = ftpcNLST;
  ListingStep(client, ListingFormat::Names, params, answer);
}

// The whole listing is built in memory, then sent with the download path.
void TFtpServer::ListingStep(TFtpCtrlSocket& client, ListingFormat format, std::string& params,
                             std::string& answer) {
  const bool detailed = format != ListingFormat::Names;
  client.Data().TakeRestartOffset();
  bool allowed = true;
  if (OnValidateListingDir) OnValidateListingDir(*this, client, allowed);
  if (!allowed) {
    std::string links;
    if (OnAddLinks) OnAddLinks(*this, client, links);
    if (format == ListingFormat::Facts) links = ListingBuilder::FactsFromLinkLines(links);
    client.FilePath.clear();
    answer = "150 Opening data connection for directory list.";
    client.Data().StartDownload(std::make_unique<MemoryStream>(std::move(links)));
    return;
  }
  std::string listing;
  try {
    params = SlashesToBackSlashes(params);
    const std::string asked = params;
    if (OnAlterDirectory) OnAlterDirectory(*this, client, params, detailed);
    ListingBuilder builder;
    builder.style = Compatibility.Listing();
    if (format == ListingFormat::Names && Compatibility.NamesListedWithDirectory()) {
      builder.namePrefix = NamePrefix(asked, params);
    }
    builder.addLinks = [this, &client](std::string& stream) {
      if (OnAddLinks) OnAddLinks(*this, client, stream);
    };
    builder.checkHidden = [this, &client](const std::string& pattern) {
      bool hidden = false;
      if (OnCheckhidden) OnCheckhidden(*this, client, pattern, hidden);
      return hidden;
    };
    if (format == ListingFormat::Facts) {
      // The perm facts of one listing may share what the rights worked out from lookups.
      const FileSystem::GenerationScope lookups;
      const std::string listed = ListingBuilder::ListedDirectory(client.Directory(), params);
      const std::string rights = RightsOf(client, listed);
      builder.permOf = [this, &client, &listed, &rights](const FileInfo& entry) {
        return PermFact(client, listed, rights, entry);
      };
      listing = builder.BuildFacts(client.Directory(), params);
    } else {
      listing = builder.Build(client.Directory(), params, detailed);
    }
  } catch (const ListingNotFound& e) {
    answer = std::string("550 ") + e.what();
    return;
  } catch (const std::exception& e) {
    // A directory the client may not list, or one that does not exist (the host grants no
    // right on it): clients such as rclone read 550 as "not there".
    answer = Compatibility.RightsRefusal(std::string("451 Failed: ") + e.what() + ".");
    return;
  }
  try {
    client.FilePath.clear();
    answer = "150 Opening data connection for directory list.";
    client.Data().StartDownload(std::make_unique<MemoryStream>(std::move(listing)));
  } catch (const std::exception& e) {
    answer = std::string("451 Failed: ") + e.what() + ".";
  }
}

}  // namespace orvane
