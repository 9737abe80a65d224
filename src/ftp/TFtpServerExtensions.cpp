// The extension commands of TFtpServer that today's clients use when FEAT names them: FEAT,
// OPTS, MDTM, MFMT, MLSD, MLST, STAT, HELP, ALLO, MODE, STRU, SITE and the X aliases. Their rows in
// the command table are marked as extensions: none of them is known in classic mode.
#include <optional>
#include <vector>

#include "ftp/ClientPaths.h"
#include "ftp/ListingBuilder.h"
#include "ftp/TFtpServer.h"
#include "net/SocketAddress.h"
#include "platform/AsciiCase.h"
#include "platform/FileSystem.h"
#include "platform/Trim.h"

namespace orvane {

namespace {

bool Holds(const std::string& rights, char letter) {
  return rights.find(letter) != std::string::npos;
}

// RFC 2428's network protocol number of the control connection: "2" for IPv6, "1" for IPv4
// (an IPv4 client of the dual-stack listener too).
std::string NetworkProtocol(TFtpCtrlSocket& client) {
  SocketAddress local;
  client.GetSockName(local);
  return local.IsIPv6() ? "2" : "1";
}

std::string ProtocolNotSupported(const std::string& protocol) {
  return "522 Network protocol not supported, use (" + protocol + ")";
}

}  // namespace

// Whether hidden entries are left out for this client, as LIST and MLSD decide it.
bool TFtpServer::HidesHidden(TFtpCtrlSocket& client, const std::string& path) {
  bool hidden = false;
  if (OnCheckhidden) OnCheckhidden(*this, client, path, hidden);
  return hidden;
}

void TFtpServer::CommandFEAT(TFtpCtrlSocket&, std::string&, std::string&, std::string& answer) {
  answer = Compatibility.FeatureReply(Tls != nullptr);
}

// File names pass through as bytes, so UTF-8 is always on; the option is accepted either way.
void TFtpServer::CommandOPTS(TFtpCtrlSocket&, std::string&, std::string& params,
                             std::string& answer) {
  const std::string option = AsciiUpper(Trim(params));
  if (option == "UTF8 ON" || option == "UTF8") {
    answer = "200 UTF8 set to on.";
  } else if (option == "UTF8 OFF") {
    answer = "200 UTF8 set to off.";
  } else {
    answer = "501 Option not understood.";
  }
}

// Under the rights of SIZE: a file the client may not read is reported as not found.
void TFtpServer::CommandMDTM(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  if (params.empty()) {
    answer = "501 Syntax error in parameter.";
    return;
  }
  std::string path = BuildFilePath(client.Directory(), SlashesToBackSlashes(params));
  bool allowed = true;
  if (OnValidateSize) OnValidateSize(*this, client, path, allowed);
  const std::optional<FileInfo> info = allowed ? FileSystem::Stat(path) : std::optional<FileInfo>();
  if (!info || info->directory || (info->hidden && HidesHidden(client, path))) {
    answer = "550 Command failed: File not found.";
    return;
  }
  answer = "213 " + ListingBuilder::UtcTimestamp(info->mtime);
}

// "MFMT YYYYMMDDHHMMSS path", under the rights of an upload over the file.
void TFtpServer::CommandMFMT(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  const size_t blank = params.find(' ');
  int64_t mtime = 0;
  if (blank == std::string::npos ||
      !ListingBuilder::ParseUtcTimestamp(params.substr(0, blank), mtime)) {
    answer = "501 Syntax error in parameter.";
    return;
  }
  const std::string name = params.substr(blank + 1);
  std::string path = BuildFilePath(client.Directory(), SlashesToBackSlashes(name));
  bool allowed = true;
  if (OnValidatePut) OnValidatePut(*this, client, path, allowed);
  if (!allowed) {
    answer = "550 No permission.";
  } else if (!FileSystem::FileExists(path)) {
    answer = "550 " + name + " : No Such File or Directory.";
  } else if (!FileSystem::SetModificationTime(path, mtime)) {
    answer = "550 Cannot set the modification time of " + name + ".";
  } else {
    answer = "213 Modify=" + ListingBuilder::UtcTimestamp(mtime) + "; " + name;
  }
}

void TFtpServer::CommandMLSD(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  client.CurCmdType = ftpcLIST;
  ListingStep(client, ListingFormat::Facts, params, answer);
}

// The facts of one file or directory, over the control connection, under the rights of LIST.
void TFtpServer::CommandMLST(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  try {
    std::string target = SlashesToBackSlashes(Trim(params));
    bool allowed = true;
    if (!target.empty() && OnAlterDirectory) OnAlterDirectory(*this, client, target, true);
    // No target, also once the host has dropped an argument of options only ("MLST -a"): the
    // current directory, under its listing right.
    if (target.empty() && OnValidateListingDir) OnValidateListingDir(*this, client, allowed);
    if (!allowed) throw std::runtime_error("Permission denied");
    std::string path =
        target.empty() ? client.Directory() : BuildFilePath(client.Directory(), target);
    if (path.size() > 3 && path.back() == '\\') path.pop_back();
    const std::optional<FileInfo> info = FileSystem::Stat(path);
    if (!info || (info->hidden && HidesHidden(client, path))) {
      answer = "550 " + Trim(params) + " : No Such File or Directory.";
      return;
    }
    const std::string directory = info->directory ? (path.back() == '\\' ? path : path + "\\")
                                                  : path.substr(0, path.rfind('\\') + 1);
    const FileSystem::GenerationScope lookups;  // see ListingStep
    const std::string rights = RightsOf(client, directory);
    ListingBuilder builder;
    builder.permOf = [&](const FileInfo& entry) {
      return PermFact(client, directory, rights, entry);
    };
    // A directory's own facts: the rights held in it, not those of its parent.
    FileInfo facts = *info;
    if (facts.directory) facts.name = ".";
    const std::string shown = Compatibility.ShownPath(path, client.Directory());
    answer = "250-Listing " + shown + "\r\n " + builder.FactsLine(facts, shown) + "250 End";
  } catch (const std::exception& e) {
    answer = Compatibility.RightsRefusal(std::string("451 Failed: ") + e.what() + ".");
  }
}

std::string TFtpServer::RightsOf(TFtpCtrlSocket& client, const std::string& directory) {
  std::string rights = "RWDMLE";
  if (OnDirectoryRights) OnDirectoryRights(*this, client, directory, rights);
  return rights;
}

// RFC 3659 perm letters from the account's rights. A file: r (R), w and a (replacing it takes W
// and, where W with D replaces, D), d and f (D). A directory listed in `directory`: d (D of the
// parent); e, l, c, m and p from its own rights (E, L, W, M, D).
std::string TFtpServer::PermFact(TFtpCtrlSocket& client, const std::string& directory,
                                 const std::string& rights, const FileInfo& entry) {
  std::string perm;
  if (!entry.directory) {
    if (Holds(rights, 'R')) perm += 'r';
    if (Holds(rights, 'W') && Holds(rights, 'D') && Compatibility.WriteWithDeleteReplaces()) {
      perm += "wa";
    }
    if (Holds(rights, 'D')) perm += "df";
    return perm;
  }
  const bool self = entry.name.empty() || entry.name == ".";
  const std::string own = self ? rights : RightsOf(client, directory + entry.name + "\\");
  if (!self && Holds(rights, 'D')) perm += "df";
  if (Holds(own, 'E')) perm += 'e';
  if (Holds(own, 'L')) perm += 'l';
  if (Holds(own, 'W')) perm += 'c';
  if (Holds(own, 'M')) perm += 'm';
  if (Holds(own, 'D')) perm += 'p';
  return perm;
}

void TFtpServer::CommandSTAT(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  if (!Trim(params).empty()) {
    answer = "504 STAT with an argument is not supported; use LIST.";
    return;
  }
  std::string hostLines;
  if (OnStatusLines) OnStatusLines(*this, client, hostLines);
  answer = "211-FTP server status:\r\n Connected to " + client.PeerAddr + "\r\n Logged in as " +
           client.UserName + "\r\n Current directory " +
           Compatibility.ShownPath(client.Directory(), client.Directory()) + "\r\n " +
           std::to_string(ClientCount()) + " session(s)\r\n" + hostLines + "211 End of status";
}

void TFtpServer::CommandHELP(TFtpCtrlSocket&, std::string&, std::string&, std::string& answer) {
  answer = "214-The following commands are recognized:\r\n";
  std::string line;
  int count = 0;
  for (const TFtpSrvCommandTableItem& item : commands_) {
    line += " " + item.KeyWord;
    if (++count % 8 == 0) {
      answer += line + "\r\n";
      line.clear();
    }
  }
  if (!line.empty()) answer += line + "\r\n";
  answer += "214 Help OK.";
}

void TFtpServer::CommandALLO(TFtpCtrlSocket&, std::string&, std::string&, std::string& answer) {
  answer = "202 ALLO command ignored.";
}

void TFtpServer::CommandMODE(TFtpCtrlSocket&, std::string&, std::string& params,
                             std::string& answer) {
  if (AsciiUpper(Trim(params)) == "S") {
    answer = "200 Mode set to S.";
  } else {
    answer = "504 Only mode S is supported.";
  }
}

void TFtpServer::CommandSTRU(TFtpCtrlSocket&, std::string&, std::string& params,
                             std::string& answer) {
  if (AsciiUpper(Trim(params)) == "F") {
    answer = "200 Structure set to F.";
  } else {
    answer = "504 Only structure F is supported.";
  }
}

// SITE CHMOD and SITE HELP. File modes are not the account's to set: its rights decide what it
// may do, whatever the disk's bits say. So CHMOD changes nothing and answers 200 where the
// account may write the file (under the rights of an upload over it, as MFMT), for clients such
// as lftp's reverse mirror that set the modes of what they uploaded and fail on a refusal.
void TFtpServer::CommandSITE(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  const std::string text = Trim(params);
  const size_t blank = text.find(' ');
  const std::string command = AsciiUpper(text.substr(0, blank));
  if (command == "HELP") {
    answer = "214-The following SITE commands are recognized:\r\n CHMOD HELP\r\n214 Help OK.";
    return;
  }
  if (command != "CHMOD") {
    answer = "500 'SITE " + command + "': command not understood.";
    return;
  }
  const std::string rest = blank == std::string::npos ? "" : Trim(text.substr(blank + 1));
  const size_t nameStart = rest.find(' ');
  const std::string mode = rest.substr(0, nameStart);
  const bool octal =
      !mode.empty() && mode.size() <= 4 && mode.find_first_not_of("01234567") == std::string::npos;
  if (!octal || nameStart == std::string::npos) {
    answer = "501 Syntax error in parameter: SITE CHMOD <octal mode> <file>.";
    return;
  }
  const std::string name = rest.substr(nameStart + 1);
  std::string path = BuildFilePath(client.Directory(), SlashesToBackSlashes(name));
  bool allowed = true;
  if (FileSystem::DirectoryExists(path)) {
    // A directory: where the account may create files in it.
    allowed = Holds(RightsOf(client, path.back() == '\\' ? path : path + "\\"), 'W');
  } else if (!FileSystem::FileExists(path)) {
    answer = "550 " + name + " : No Such File or Directory.";
    return;
  } else if (OnValidatePut) {
    OnValidatePut(*this, client, path, allowed);
  }
  answer = allowed ? "200 SITE CHMOD command ok." : "550 No permission.";
}

// RFC 2428's passive mode: the port alone, on the address of the control connection, for the
// network protocol of that connection only (the passive port admits the client's own address).
void TFtpServer::CommandEPSV(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  const std::string argument = AsciiUpper(Trim(params));
  if (argument == "ALL") {
    client.ExtendedPassiveOnly = true;
    answer = "200 EPSV ALL command successful.";
    return;
  }
  const std::string protocol = NetworkProtocol(client);
  if (!argument.empty() && argument != protocol) {
    answer = ProtocolNotSupported(protocol);
    return;
  }
  try {
    answer = "229 Entering Extended Passive Mode (|||" +
             std::to_string(client.Data().OpenListener(PassivePortRange, protocol == "2")) + "|)";
  } catch (const std::exception& e) {
    answer = std::string("425 Cannot open a passive port. ") + e.what();
  }
}

// "EPRT |1|address|port|" (IPv4) or "EPRT |2|address|port|" (IPv6), the protocol of the control
// connection, under PORT's rules: the data connection goes to the client's own address only,
// and never to a port below 1024 (a system service of the client's host).
void TFtpServer::CommandEPRT(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  answer = RefusedAfterEpsvAll(client, "EPRT");
  if (!answer.empty()) return;
  const std::string text = Trim(params);
  std::vector<std::string> fields;
  if (text.size() >= 2 && text.back() == text.front()) {
    const char delimiter = text.front();
    size_t start = 1;
    for (size_t end; (end = text.find(delimiter, start)) != std::string::npos; start = end + 1) {
      fields.push_back(text.substr(start, end - start));
    }
  }
  if (fields.size() != 3) {
    answer = "501 Invalid EPRT command.";
    return;
  }
  const std::string protocol = NetworkProtocol(client);
  if (fields[0] != protocol) {
    answer = ProtocolNotSupported(protocol);
    return;
  }
  // The address as the client's own is shown ("0:0::1" is "::1"); one of the other family is
  // nobody's.
  const std::optional<SocketAddress> address = SocketAddress::FromNumeric(fields[1]);
  const bool sameFamily = address && (address->Family() == AF_INET6) == (protocol == "2");
  const std::string shown = sameFamily ? address->Text() : std::string();
  int port = 0;
  for (char c : fields[2]) {
    if (c < '0' || c > '9' || port > 65535) {
      port = -1;
      break;
    }
    port = port * 10 + (c - '0');
  }
  // SECURITY: as PORT, no connection to a third party (the FTP bounce attack).
  if (shown.empty() || shown != client.PeerAddr) {
    answer = "501 EPRT refused: the address is not the client's own.";
  } else if (fields[2].empty() || port < 1024 || port > 65535) {
    answer = "501 EPRT refused: the port must be between 1024 and 65535.";
  } else if (IsOwnControlPort(port)) {
    // SECURITY: a listing sent to this server's control port would arrive as commands.
    answer = "501 EPRT refused: the port is this server's own.";
  } else {
    client.Data().GivePort(shown, std::to_string(port));
    answer = "200 EPRT command successful.";
  }
}

}  // namespace orvane
