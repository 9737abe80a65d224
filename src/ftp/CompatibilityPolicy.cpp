#include "ftp/CompatibilityPolicy.h"

#include "ftp/ClientPaths.h"
#include "platform/AsciiCase.h"
#include "platform/IniFile.h"

namespace orvane {

namespace {

bool OnDrive(const std::string& path, const std::string& directory) {
  return path.size() >= 2 && directory.size() >= 2 && path[1] == ':' && directory[1] == ':' &&
         AsciiUpper(path[0]) == AsciiUpper(directory[0]);
}

// RFC 959: a '"' inside a quoted path name is doubled.
std::string Quoted(const std::string& path) {
  std::string result = "\"";
  for (char c : path) {
    result += c;
    if (c == '"') result += '"';
  }
  return result + "\"";
}

}  // namespace

CompatibilityPolicy CompatibilityPolicy::Read(const IniFile& ini) {
  return CompatibilityPolicy(ini.ReadBool(kSection, kKey, false),
                             ini.ReadBool(kSection, kListLocalTimeKey, false));
}

ListingStyle CompatibilityPolicy::Listing() const {
  ListingStyle style;
  if (classic_) return style;
  style.utcTimes = !listLocalTime_;
  style.diskModes = true;
  style.leavesOutDots = true;
  style.emptyWhenNothing = true;
  return style;
}

std::string CompatibilityPolicy::ShownPath(const std::string& localPath,
                                           const std::string& currentDirectory) const {
  if (classic_ || !OnDrive(localPath, currentDirectory)) return BackSlashesToSlashes(localPath);
  const std::string path = BackSlashesToSlashes(localPath.substr(2));
  std::string shown;
  if (path.empty() || path[0] != '/') shown.push_back('/');
  shown += path;
  // No closing "/" but for the root: lftp takes "/home/user/" for a directory other than the
  // "/home/user" it builds from it, and then walks to its target from the root.
  if (shown.size() > 1 && shown.back() == '/') shown.pop_back();
  return shown;
}

std::string CompatibilityPolicy::DirectoryCreatedReply(const std::string& localPath,
                                                       const std::string& currentDirectory) const {
  if (classic_) return "257 '" + localPath + "': directory created.";
  return "257 " + Quoted(ShownPath(localPath, currentDirectory)) + " directory created.";
}

std::string CompatibilityPolicy::RightsRefusal(const std::string& classicReply) const {
  if (classic_ || classicReply.size() < 3) return classicReply;
  return "550" + classicReply.substr(3);
}

std::string CompatibilityPolicy::AbortedDownloadReply(const std::string& reason) const {
  if (classic_) return "501 Cannot RETR. " + reason;
  return "426 Connection closed; transfer aborted.";
}

std::string CompatibilityPolicy::AbortReply(bool abortedTransfer) const {
  if (classic_ || !abortedTransfer) return "225 ABOR command successful.";
  return "226 ABOR command successful.";
}

std::string CompatibilityPolicy::FeatureReply(bool tls) const {
  if (!KnowsExtensions()) return "";
  return std::string("211-Features:\r\n") + (tls ? " AUTH TLS\r\n" : "") +
         " EPRT\r\n"
         " EPSV\r\n"
         " MDTM\r\n"
         " MFMT\r\n"
         " MLST type*;size*;modify*;perm*;\r\n" +
         (tls ? " PBSZ\r\n PROT\r\n" : "") +
         " REST STREAM\r\n"
         " SIZE\r\n"
         " UTF8\r\n"
         "211 End";
}

}  // namespace orvane
