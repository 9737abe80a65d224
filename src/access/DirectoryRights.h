#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "access/EntryTable.h"
#include "access/TDir.h"
#include "access/TGo.h"

namespace orvane {

class HostView;
class SessionView;
struct Usrdata;

// Decides every file-system action of a logged-in client from the directory-rights entries of
// its record, keeps its virtual links, and logs the decisions.
//
// Each handler first resolves "." and ".." in the path it is given (never above the drive root),
// decides on the resolved path and hands that path back to the engine through its by-reference
// argument, so the engine acts on exactly the path that was checked. A file path is judged by
// the directory that contains it.
//
// Rights letters: R read, W write (new files only; with D in the same entry also over existing
// files, unless classic), D delete, M make directories, L list, S the entry also covers the
// directories below it.
//
// Entries and paths are compared as the directories they reach on disk (names resolve without
// regard to case, but a case twin such as "HOME" beside "home" is another directory), and an S
// entry covers its own directory and those below it, never a sibling that starts with the same
// letters ("C:\home" does not cover "C:\homesecret\").
class DirectoryRights {
 public:
  using Entries = EntryTable<TDir, kDirEntries>;
  using Links = EntryTable<TGo, kLinkEntries>;

  explicit DirectoryRights(HostView& host) : host_(host) {}

  // --- Hook handlers -------------------------------------------------------------------------
  // OnChangeDirectory: follows a virtual link, sets the session's directory to the resolved
  // result and allows it by CheckDir; logs under category 9.
  void FtpServer1ChangeDirectory(SessionView& client, const std::string& directory, bool& allowed,
                                 Usrdata& record);
  // OnValidatePut (STOR, APPE and the RNTO target): CheckPut; a refusal is logged (category 5).
  void FtpServer1ValidatePut(SessionView& client, std::string& filePath, bool& allowed,
                             Usrdata& record);
  // OnValidateDele (DELE, RNFR, RMD): CheckDele; logged either way (category 10).
  void FtpServer1ValidateDele(SessionView& client, std::string& filePath, bool& allowed,
                              Usrdata& record);
  // OnMakeDirectory: CheckMakedir on the directory that will contain the new one; logged
  // either way (category 4).
  void FtpServer1MakeDirectory(SessionView& client, std::string& directory, bool& allowed,
                               Usrdata& record);
  // OnDirMade: logs the new directory (category 4).
  void FtpServer1DirMade(SessionView& client, std::string& filePath, bool created, Usrdata& record);
  // OnValidateListingDir: the L right of the session's directory; nothing is logged.
  void FtpServer1ValidateListingDir(SessionView& client, bool& allowed, Usrdata& record);
  // OnAlterDirectory (LIST and NLST with an argument): leading option words ("-la", "-R") are
  // dropped; the rest is resolved, a path naming an existing directory (no wildcard) lists its
  // contents unless classic, and the L right of the directory actually listed is checked. A refusal
  // throws std::runtime_error("Permission denied"), which the engine answers with "451 Failed:
  // Permission denied.".
  void FtpServer1AlterDirectory(SessionView& client, std::string& directory, bool detailed,
                                Usrdata& record);
  // OnCheckhidden: hidden entries are left out of LIST when the account hides them.
  void FtpServer1Checkhidden(SessionView& client, const std::string& path, bool& hidden,
                             Usrdata& record);
  // OnAddLinks: one symbolic-link line per line of the account's links file; the first
  // kLinkEntries lines are also remembered in LinkTable for CheckLink.
  void FtpServer1AddLinks(SessionView& client, std::string& stream, Usrdata& record);

  // OnDirectoryRights (the perm facts of MLSD and MLST): the letters R, W, D, M and L the
  // entries grant on `directory`, and E where the client may enter it. Nothing is logged.
  std::string RightsLetters(Usrdata& record, const std::string& directory);

  // The first, rights, step of OnValidateGet: resolves filePath, applies CheckGet and logs a
  // refusal (category 7). The allowance check follows in TransferAccounting.
  bool ValidateGetRights(SessionView& client, std::string& filePath, Usrdata& record);

  // For SIZE: resolves filePath and tells whether the R right of its directory lets the client
  // learn the size. Nothing is logged.
  bool CheckSize(SessionView& client, Usrdata& record, std::string& filePath);

  // --- Checks on a client record (each counts as activity: Idle := 0) -----------------------
  bool CheckDir(Usrdata& record, const std::string& path);
  bool CheckGet(Usrdata& record, const std::string& filePath);
  bool CheckPut(Usrdata& record, const std::string& filePath);
  bool CheckDele(Usrdata& record, const std::string& filePath);
  bool CheckMakedir(Usrdata& record, const std::string& newDirectory);
  bool CheckListing(Usrdata& record, const std::string& directory);
  // The directory a change of directory lands in: the upper-cased Target of the first link
  // whose Name occurs in the session's directory (without regard to case), else the directory.
  static std::string CheckLink(SessionView& client, const Usrdata& record);

  // --- The rules, on a list of entries -------------------------------------------------------
  // Entering directory `path`: an exact match with any entry, or a covering entry before the
  // first empty one (with S: the path is the entry's directory or below it).
  static bool DirAllowed(const Entries& dirs, const std::string& path);
  // Whether directory `path` lies above an entry before the first empty one ("C:\" and
  // "C:\home\" lead to "C:\home\user"), so that a client can pass through it to the entry.
  static bool LeadsToEntry(const Entries& dirs, const std::string& path);
  // Right `letter` on directory `dir`. Walks to the first empty entry; an entry that covers the
  // directory grants the right if it holds the letter, an entry that does not cover it clears
  // the verdict, and an entry equal to the directory ends the walk.
  static bool Grants(const Entries& dirs, char letter, const std::string& dir);
  // Creating the file `filePath`: no such file yet and a covering entry with W (covering as in
  // Grants, so C:\ftp with S does not cover C:\ftpdata\).
  // With writeWithDeleteReplaces, an entry that grants W and D also allows replacing an existing
  // file (overwrite, APPE, resumed STOR).
  static bool PutAllowed(const Entries& dirs, const std::string& filePath,
                         bool writeWithDeleteReplaces);

  // One line of a links file: "Name?Target"; runs of "?" separate fields, and fields after
  // the second are ignored.
  static TGo ParseLinkLine(const std::string& line);
  // One listing line for a virtual link.
  static std::string LinkListingLine(const std::string& name);
  // A LIST/NLST argument without its leading option words ("-a", "-l", "-la", "-R", any word
  // starting with "-"); what follows them, blanks and all, is the path.
  static std::string WithoutListingOptions(const std::string& argument);

 private:
  HostView& host_;
  // The entries' disk keys of the last RightsLetters, kept while the record, its entries and
  // the file-system lookups of the loop round stay the same (one listing).
  const Usrdata* permKeysRecord_ = nullptr;
  uint64_t permKeysGeneration_ = 0;
  Entries permKeysDirs_;
  std::vector<std::string> permKeys_;
};

}  // namespace orvane
