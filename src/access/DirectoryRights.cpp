#include "access/DirectoryRights.h"

#include <stdexcept>

#include "access/HostView.h"
#include "access/ResolvedPaths.h"
#include "access/TextFileLines.h"
#include "access/Usrdata.h"
#include "access/Who.h"
#include "ftp/ClientPaths.h"
#include "ftp/CompatibilityPolicy.h"
#include "ftp/SessionView.h"
#include "platform/AsciiCase.h"
#include "platform/FileSystem.h"
#include "platform/Wildcard.h"

namespace orvane {

namespace {

const int kMakeDirCategory = 4;
const int kUploadCategory = 5;
const int kDownloadCategory = 7;
const int kChangeDirCategory = 9;
const int kDeleteCategory = 10;

bool Holds(const std::string& attr, char letter) {
  return attr.find(letter) != std::string::npos;
}

bool StartsWithIgnoreCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() &&
         EqualsIgnoreAsciiCase(std::string_view(text).substr(0, prefix.size()), prefix);
}

// SECURITY: rights are decided on the directory a path reaches on disk, not on its spelling.
// Names resolve without regard to case, but Linux keeps "home" and "HOME" apart: comparing the
// texts without regard to case would let an entry for one cover its twin. Both the entry and the
// directory are therefore compared as the POSIX paths they resolve to, exactly, each ending
// with "/" so that "C:\home" never covers "C:\homesecret". Empty for a path that maps nowhere
// (no drive letter, an unknown drive, a ".." left in it), which nothing covers.
std::string DiskKey(const std::string& winDirectory) {
  const std::optional<std::string> posix = FileSystem::ToPosix(WithBackslash(winDirectory));
  if (!posix) return "";
  return posix->back() == '/' ? *posix : *posix + "/";
}

bool IsBelowOrEqual(const std::string& key, const std::string& entryKey) {
  return !key.empty() && !entryKey.empty() && key.compare(0, entryKey.size(), entryKey) == 0;
}

// Whether an entry whose disk key is `entryKey` covers the directory whose disk key is `key`:
// with S, the directory is the entry's or one below it; without S, it is the entry's.
bool Covers(const TDir& entry, const std::string& entryKey, const std::string& key) {
  return Holds(entry.Attr, 'S') ? IsBelowOrEqual(key, entryKey)
                                : !entryKey.empty() && key == entryKey;
}

bool Covers(const TDir& entry, const std::string& key) {
  return Covers(entry, DiskKey(entry.Dir), key);
}

// The path a file command acts on. A command without an argument (DELE, RNFR, RMD, MKD) hands
// over the current directory itself: it is judged as that directory, not as an entry of its
// parent, and keeps its closing backslash. An argument is always judged as an entry of its
// parent, also one that names the current directory ("RMD /home/solo/" from /home/solo):
// removing or renaming a directory needs D where it sits.
std::string ResolveTarget(const SessionView& client, const std::string& path) {
  return client.CommandWithoutArgument() ? ResolveDirectoryPath(path) : ResolveFilePath(path);
}

std::string Verdict(bool allowed) {
  return allowed ? " --> Access allowed" : " --> Access denied";
}

// ---------------------------------------------------------------------------------------------
// The rules

bool SameEntries(const DirectoryRights::Entries& a, const DirectoryRights::Entries& b) {
  for (std::size_t i = 0; i < kDirEntries; ++i) {
    if (a[i].Dir != b[i].Dir || a[i].Attr != b[i].Attr) return false;
  }
  return true;
}

// The disk keys of every entry, in table order (empty for an empty entry), found once for the
// rules that need them several times.
std::vector<std::string> EntryKeys(const DirectoryRights::Entries& dirs) {
  std::vector<std::string> keys;
  for (const TDir& entry : dirs) keys.push_back(entry.Dir.empty() ? "" : DiskKey(entry.Dir));
  return keys;
}

bool DirAllowedByKey(const DirectoryRights::Entries& dirs, const std::vector<std::string>& keys,
                     const std::string& key) {
  // Any entry of the whole table admits its own directory, even after an empty entry.
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (!dirs[i].Dir.empty() && !keys[i].empty() && key == keys[i]) return true;
  }
  // Entries up to the first empty one admit what they cover. SECURITY: an S entry covers the
  // directories below it, never a sibling whose name merely starts with the same letters.
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (dirs[i].Dir.empty()) break;
    if (Covers(dirs[i], keys[i], key)) return true;
  }
  return false;
}

bool LeadsToEntryByKey(const DirectoryRights::Entries& dirs, const std::vector<std::string>& keys,
                       const std::string& key) {
  // On disk as for the rights: a case twin of a directory above an entry leads nowhere.
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (dirs[i].Dir.empty()) break;
    if (IsBelowOrEqual(keys[i], key)) return true;
  }
  return false;
}

// One rule for both callers: keyOf(i) gives the disk key of entry i, found only when the walk
// reaches it (a single lookup stops at the first entry that decides).
template <typename KeyOf>
bool GrantsWith(const DirectoryRights::Entries& dirs, KeyOf keyOf, char letter,
                const std::string& key) {
  bool verdict = false;
  for (std::size_t i = 0; i < dirs.size(); ++i) {
    const TDir& entry = dirs[i];
    if (entry.Dir.empty()) break;
    const std::string entryKey = keyOf(i);
    if (!Covers(entry, entryKey, key)) {
      verdict = false;
      continue;
    }
    const bool exact = key == entryKey;
    if (Holds(entry.Attr, 'S')) {
      if (Holds(entry.Attr, letter)) verdict = true;
      if (exact) break;
    } else {
      verdict = Holds(entry.Attr, letter);
      break;
    }
  }
  return verdict;
}

bool GrantsByKey(const DirectoryRights::Entries& dirs, const std::vector<std::string>& keys,
                 char letter, const std::string& key) {
  return GrantsWith(
      dirs, [&](std::size_t i) { return keys[i]; }, letter, key);
}

}  // namespace

bool DirectoryRights::DirAllowed(const Entries& dirs, const std::string& path) {
  if (!FileSystem::DirectoryExists(path)) return false;
  return DirAllowedByKey(dirs, EntryKeys(dirs), DiskKey(path));
}

bool DirectoryRights::LeadsToEntry(const Entries& dirs, const std::string& path) {
  if (!FileSystem::DirectoryExists(path)) return false;
  return LeadsToEntryByKey(dirs, EntryKeys(dirs), DiskKey(path));
}

bool DirectoryRights::Grants(const Entries& dirs, char letter, const std::string& dir) {
  if (!FileSystem::DirectoryExists(dir)) return false;
  return GrantsWith(
      dirs, [&](std::size_t i) { return DiskKey(dirs[i].Dir); }, letter, DiskKey(dir));
}

bool DirectoryRights::PutAllowed(const Entries& dirs, const std::string& filePath,
                                 bool writeWithDeleteReplaces) {
  const std::string dir = DirectoryPart(filePath);
  if (!FileSystem::DirectoryExists(dir)) return false;
  // W alone creates new files only: never over an existing one, also not by APPE or a resumed
  // STOR. Where the directory's rights hold both W and D, decided as for every other right, the
  // file may be replaced: the account could delete it and upload it anew anyway.
  if (FileSystem::FileExists(filePath)) {
    return writeWithDeleteReplaces && Grants(dirs, 'W', dir) && Grants(dirs, 'D', dir);
  }
  const std::string key = DiskKey(dir);
  for (const TDir& entry : dirs) {
    if (entry.Dir.empty()) break;
    if (Covers(entry, key) && Holds(entry.Attr, 'W')) return true;
  }
  return false;
}

TGo DirectoryRights::ParseLinkLine(const std::string& line) {
  TGo link;
  const std::size_t first = line.find('?');
  link.Name = line.substr(0, first);
  if (first == std::string::npos) return link;
  const std::size_t targetStart = line.find_first_not_of('?', first);
  if (targetStart == std::string::npos) return link;
  const std::size_t targetEnd = line.find('?', targetStart);
  link.Target = line.substr(
      targetStart, targetEnd == std::string::npos ? std::string::npos : targetEnd - targetStart);
  return link;
}

std::string DirectoryRights::LinkListingLine(const std::string& name) {
  return "lrwxr-xr-x   1 ftp      ftp            0 Jan  1  1980 " + name + " -> \r\n";
}

std::string DirectoryRights::WithoutListingOptions(const std::string& argument) {
  std::size_t pos = 0;
  for (;;) {
    while (pos < argument.size() && (argument[pos] == ' ' || argument[pos] == '\t')) ++pos;
    if (pos >= argument.size() || argument[pos] != '-') break;
    while (pos < argument.size() && argument[pos] != ' ' && argument[pos] != '\t') ++pos;
  }
  return argument.substr(pos);
}

// ---------------------------------------------------------------------------------------------
// Checks on a client record

bool DirectoryRights::CheckDir(Usrdata& record, const std::string& path) {
  record.Idle = 0;
  return DirAllowed(record.Dirs, path) ||
         (host_.Compatibility().EntersDirectoriesAboveEntries() && LeadsToEntry(record.Dirs, path));
}

bool DirectoryRights::CheckGet(Usrdata& record, const std::string& filePath) {
  record.Idle = 0;
  return Grants(record.Dirs, 'R', DirectoryPart(filePath));
}

bool DirectoryRights::CheckPut(Usrdata& record, const std::string& filePath) {
  record.Idle = 0;
  return PutAllowed(record.Dirs, filePath, host_.Compatibility().WriteWithDeleteReplaces());
}

std::string DirectoryRights::RightsLetters(Usrdata& record, const std::string& directory) {
  // A listing asks this for every directory in it: the entries' keys are found once per
  // listing (while the account's entries stay the same, within the listing's
  // FileSystem::GenerationScope), and the directory's own key once.
  if (!FileSystem::DirectoryExists(directory)) return "";
  const uint64_t generation = FileSystem::LookupGeneration();
  if (generation == 0 || permKeysRecord_ != &record || permKeysGeneration_ != generation ||
      !SameEntries(permKeysDirs_, record.Dirs)) {
    permKeysRecord_ = &record;
    permKeysGeneration_ = generation;
    permKeysDirs_ = record.Dirs;
    permKeys_ = EntryKeys(record.Dirs);
  }
  const std::string key = DiskKey(directory);
  std::string letters;
  for (char letter : {'R', 'W', 'D', 'M', 'L'}) {
    if (GrantsByKey(record.Dirs, permKeys_, letter, key)) letters += letter;
  }
  if (DirAllowedByKey(record.Dirs, permKeys_, key) ||
      (host_.Compatibility().EntersDirectoriesAboveEntries() &&
       LeadsToEntryByKey(record.Dirs, permKeys_, key))) {
    letters += 'E';
  }
  return letters;
}

bool DirectoryRights::CheckDele(Usrdata& record, const std::string& filePath) {
  record.Idle = 0;
  return Grants(record.Dirs, 'D', DirectoryPart(filePath));
}

bool DirectoryRights::CheckMakedir(Usrdata& record, const std::string& newDirectory) {
  record.Idle = 0;
  return Grants(record.Dirs, 'M', DirectoryPart(newDirectory));
}

bool DirectoryRights::CheckListing(Usrdata& record, const std::string& directory) {
  record.Idle = 0;
  return Grants(record.Dirs, 'L', ResolveDirectoryPath(directory));
}

std::string DirectoryRights::CheckLink(SessionView& client, const Usrdata& record) {
  const std::string directory = AsciiUpper(client.Directory());
  for (const TGo& link : record.LinkTable) {
    if (!link.Name.empty() && directory.find(AsciiUpper(link.Name)) != std::string::npos) {
      return AsciiUpper(link.Target);
    }
  }
  return client.Directory();
}

// ---------------------------------------------------------------------------------------------
// Hook handlers

void DirectoryRights::FtpServer1ChangeDirectory(SessionView& client, const std::string& directory,
                                                bool& allowed, Usrdata& record) {
  // The link mapping below may move the session elsewhere: the log names the directory that was
  // asked for.
  const std::string asked = directory;
  allowed = false;
  try {
    client.SetDirectory(ResolveDirectoryPath(CheckLink(client, record)));
    allowed = CheckDir(record, client.Directory());
  } catch (const FtpPathError&) {
    // A link target the directory rule refuses (a UNC path, say) is a refused change; the
    // engine restores the previous directory.
    record.Idle = 0;
  }

  const std::string who = Who(client);
  if (allowed) {
    host_.LogEventSplit(kChangeDirCategory,
                        who + " asked to change directory : " + asked + Verdict(true),
                        who + " asked to change directory " + asked + Verdict(true));
    record.Status = "Current Directory " + client.Directory();
    host_.ClientStatusChanged(record);
  } else {
    host_.LogEvent(kChangeDirCategory,
                   who + " asked to change directory " + asked + Verdict(false));
  }
}

bool DirectoryRights::ValidateGetRights(SessionView& client, std::string& filePath,
                                        Usrdata& record) {
  filePath = ResolveFilePath(filePath);
  const bool allowed = CheckGet(record, filePath);
  if (!allowed) {
    host_.LogEvent(kDownloadCategory,
                   Who(client) + " asked to download " + filePath + Verdict(false));
  }
  return allowed;
}

bool DirectoryRights::CheckSize(SessionView&, Usrdata& record, std::string& filePath) {
  filePath = ResolveFilePath(filePath);
  return CheckGet(record, filePath);
}

void DirectoryRights::FtpServer1ValidatePut(SessionView& client, std::string& filePath,
                                            bool& allowed, Usrdata& record) {
  filePath = ResolveFilePath(filePath);
  allowed = CheckPut(record, filePath);
  if (!allowed) {
    host_.LogEvent(kUploadCategory, Who(client) + " asked to upload " + filePath + Verdict(false));
  }
}

void DirectoryRights::FtpServer1ValidateDele(SessionView& client, std::string& filePath,
                                             bool& allowed, Usrdata& record) {
  filePath = ResolveTarget(client, filePath);
  allowed = CheckDele(record, filePath);
  host_.LogEvent(kDeleteCategory, Who(client) + " asked to delete " + filePath + Verdict(allowed));
}

void DirectoryRights::FtpServer1MakeDirectory(SessionView& client, std::string& directory,
                                              bool& allowed, Usrdata& record) {
  directory = ResolveTarget(client, directory);
  allowed = CheckMakedir(record, directory);
  host_.LogEvent(kMakeDirCategory,
                 Who(client) + " asked to create dir " + directory + Verdict(allowed));
}

void DirectoryRights::FtpServer1DirMade(SessionView& client, std::string& filePath, bool created,
                                        Usrdata&) {
  if (!created) return;
  const std::string& current = client.Directory();
  std::string name;
  std::string in;
  if (filePath.size() > current.size() && StartsWithIgnoreCase(filePath, current)) {
    name = filePath.substr(current.size());
    in = current;
  } else {
    // Made elsewhere than in the current directory: name it within its own parent.
    name = FileNamePart(filePath);
    in = DirectoryPart(filePath);
  }
  host_.LogEvent(kMakeDirCategory, Who(client) + " made directory \"" + name + "\" in " + in);
}

void DirectoryRights::FtpServer1ValidateListingDir(SessionView& client, bool& allowed,
                                                   Usrdata& record) {
  allowed = CheckListing(record, client.Directory());
}

void DirectoryRights::FtpServer1AlterDirectory(SessionView& client, std::string& directory, bool,
                                               Usrdata& record) {
  // "LIST -la" lists the current directory, "LIST -a sub dir" lists "sub dir".
  const std::string withoutOptions = WithoutListingOptions(directory);
  if (withoutOptions.empty() || host_.Compatibility().DropsLeadingListingOptions()) {
    directory = withoutOptions;
  }
  if (directory.empty()) return;  // the current directory, already checked
  // The listing enumerates the directory part of the pattern: a trailing "\" lists the
  // directory's contents, a last component without one lists matching entries of its parent.
  std::string resolved = ResolvePath(BuildFilePath(client.Directory(), directory));
  if (host_.Compatibility().ListsNamedDirectory() && !HasWildcard(resolved) &&
      FileSystem::DirectoryExists(resolved)) {
    resolved = WithBackslash(resolved);  // "LIST sub" lists what is in sub
  }
  if (!CheckListing(record, DirectoryPart(resolved))) throw std::runtime_error("Permission denied");
  directory = resolved;
}

void DirectoryRights::FtpServer1Checkhidden(SessionView&, const std::string&, bool& hidden,
                                            Usrdata& record) {
  hidden = record.HideHidden;
}

void DirectoryRights::FtpServer1AddLinks(SessionView&, std::string& stream, Usrdata& record) {
  if (record.Links.empty() || !FileSystem::FileExists(record.Links)) return;
  const std::optional<std::vector<std::string>> lines = ReadTextLines(record.Links);
  if (!lines) return;
  for (std::size_t k = 0; k < lines->size(); ++k) {
    const TGo link = ParseLinkLine((*lines)[k]);
    // Lines past the table's end are listed but cannot be followed.
    if (k < kLinkEntries) record.LinkTable[k] = link;
    stream += LinkListingLine(link.Name);
  }
}

}  // namespace orvane
