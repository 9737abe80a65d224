// The file commands of TFtpServer: DELE, SIZE, RNFR, RNTO, MKD and RMD. They act on the local
// file system at once, over the control connection only; answers name the resolved path as
// CompatibilityPolicy::ReplyPath shows it.
#include "ftp/ClientPaths.h"
#include "ftp/TFtpServer.h"
#include "platform/FileSystem.h"
#include "platform/Wildcard.h"

namespace orvane {

namespace {

bool PathExists(const std::string& path) {
  return FileSystem::FileExists(path) || FileSystem::DirectoryExists(path);
}

// A local path in a reply, as the client is shown it.
std::string Shown(const CompatibilityPolicy& policy, TFtpCtrlSocket& client,
                  const std::string& path) {
  return policy.ReplyPath(path, client.Directory());
}

}  // namespace

void TFtpServer::CommandDELE(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  client.CurCmdType = ftpcDELE;
  std::string path = BuildFilePath(client.Directory(), params);
  bool allowed = true;
  if (OnValidateDele) OnValidateDele(*this, client, path, allowed);
  if (!allowed) {
    answer = Compatibility.RightsRefusal("500 Cannot DELE. No permission");
  } else if (params.empty()) {
    answer = "501 Syntax error in parameter.";
  } else if (!PathExists(path)) {
    answer = "550 '" + Shown(Compatibility, client, path) + "': no such file or directory.";
  } else if (FileSystem::DeleteFile(path) || FileSystem::RemoveDirectory(path)) {
    answer = "250 File/Dir '" + Shown(Compatibility, client, path) + "' deleted.";
  } else {
    answer = "450 File/Dir '" + Shown(Compatibility, client, path) + "' can't be deleted.";
  }
}

void TFtpServer::CommandSIZE(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  client.CurCmdType = ftpcSIZE;
  std::string path = BuildFilePath(client.Directory(), params);
  if (params.empty()) {
    answer = "501 Syntax error in parameter.";
    return;
  }
  bool allowed = true;
  if (OnValidateSize) OnValidateSize(*this, client, path, allowed);
  // SECURITY: a wildcard searches the directory, so it would name files the account may read
  // but not list; outside classic it takes the listing right there too.
  if (allowed && HasWildcard(path) && Compatibility.SizeWildcardNeedsListing()) {
    const std::string directory = path.substr(0, path.rfind('\\') + 1);
    allowed = RightsOf(client, directory).find('L') != std::string::npos;
  }
  if (!allowed) {
    answer = "550 Command failed: File not found.";
    return;
  }
  try {
    for (const FileInfo& entry : FileSystem::Enumerate(path)) {
      if (entry.directory) continue;
      answer = "213 " + std::to_string(entry.size);
      return;
    }
    answer = "550 Command failed: File not found.";
  } catch (const std::exception& e) {
    answer = std::string("550 Command failed: ") + e.what() + ".";
  }
}

void TFtpServer::CommandRNFR(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  client.CurCmdType = ftpcRNFR;
  std::string path = BuildFilePath(client.Directory(), params);
  bool allowed = true;
  if (OnValidateDele) OnValidateDele(*this, client, path, allowed);
  if (!allowed) {
    answer = "550 No permission.";
    client.FromFileName.clear();
  } else if (params.empty()) {
    answer = "501 Syntax error is parameter.";
  } else if (PathExists(path)) {
    client.FromFileName = path;
    answer = "350 File exists, ready for destination name.";
  } else {
    answer = "550 '" + Shown(Compatibility, client, path) + "': no such file or directory.";
  }
}

void TFtpServer::CommandRNTO(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  // A missing RNFR is answered before the login: the one handler whose own check comes first,
  // so its row leaves the login to it.
  if (client.FromFileName.empty()) {
    answer = "550 Bad sequence of commands.";
    return;
  }
  if (!LoggedIn(client, answer)) return;
  client.CurCmdType = ftpcRNTO;
  std::string path = BuildFilePath(client.Directory(), params);
  if (params.empty()) {
    answer = "501 Syntax error in parameter.";
    return;
  }
  // SECURITY: the target is judged as an upload there before anything is said about it, so
  // that the reply never tells whether a path outside the account's rights exists.
  bool allowed = true;
  if (OnValidatePut) OnValidatePut(*this, client, path, allowed);
  if (!allowed) {
    answer = "550 No permission.";
  } else if (PathExists(path)) {
    answer = "553 '" + Shown(Compatibility, client, path) + "': file already exists.";
  } else if (!PathExists(client.FromFileName)) {
    answer = "550 '" + Shown(Compatibility, client, client.FromFileName) +
             "': no such file or directory.";
  } else {
    client.ToFileName = path;
    if (FileSystem::RenameFile(client.FromFileName, client.ToFileName)) {
      answer = "250 File '" + Shown(Compatibility, client, client.FromFileName) + "' renamed to '" +
               Shown(Compatibility, client, client.ToFileName) + "'.";
    } else {
      answer =
          "450 File '" + Shown(Compatibility, client, client.FromFileName) + "' can't be renamed.";
    }
  }
}

void TFtpServer::CommandMKD(TFtpCtrlSocket& client, std::string&, std::string& params,
                            std::string& answer) {
  client.CurCmdType = ftpcMKD;
  try {
    std::string path = BuildFilePath(client.Directory(), params);
    bool allowed = true;
    if (OnMakeDirectory) OnMakeDirectory(*this, client, path, allowed);
    if (!allowed) {
      answer = "550 '" + Shown(Compatibility, client, path) + "': can't create directory.";
    } else if (params.empty()) {
      answer = "501 Syntax error in parameter.";
    } else if (PathExists(path)) {
      answer =
          "550 '" + Shown(Compatibility, client, path) + "': file or directory already exists.";
    } else if (FileSystem::CreateDirectory(path)) {
      answer = Compatibility.DirectoryCreatedReply(path, client.Directory());
      if (OnDirMade) OnDirMade(*this, client, path, true);
    } else {
      answer = "550 '" + Shown(Compatibility, client, path) + "': can't create directory.";
    }
  } catch (const std::exception& e) {
    answer = std::string("550 '") + e.what() + "': can't create directory.";
  }
}

void TFtpServer::CommandRMD(TFtpCtrlSocket& client, std::string&, std::string& params,
                            std::string& answer) {
  client.CurCmdType = ftpcRMD;
  std::string path = BuildFilePath(client.Directory(), params);
  bool allowed = true;
  if (OnValidateDele) OnValidateDele(*this, client, path, allowed);
  if (!allowed) {
    answer = "550 '" + Shown(Compatibility, client, path) + "': can't remove directory.";
    return;
  }
  if (params.empty()) {
    answer = "501 Syntax error in parameter.";
    return;
  }
  // Hidden entries are not found, as the search for the directory leaves them out.
  const std::optional<FileInfo> info = FileSystem::Stat(path);
  if (!info || info->hidden) {
    answer = "550 '" + Shown(Compatibility, client, path) + "': no such directory.";
  } else if (FileSystem::RemoveDirectory(path)) {
    answer = "250 '" + Shown(Compatibility, client, path) + "': directory removed.";
  } else {
    answer = "550 '" + Shown(Compatibility, client, path) + "': can't remove directory.";
  }
}

}  // namespace orvane
