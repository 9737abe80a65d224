#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Wildcard.h"

namespace orvane {

// One directory entry with the attributes the server uses.
struct FileInfo {
  std::string name;  // as spelled on disk ("." and ".." for those entries)
  bool directory = false;
  bool hidden = false;    // the name starts with "." ("." and ".." themselves are not hidden)
  bool readOnly = false;  // the owner write bit is clear
  int64_t size = 0;       // 0 for directories
  int64_t mtime = 0;      // last modification, seconds since the epoch, UTC
  uint32_t mode = 0;      // the permission bits on disk (07777 of st_mode)
  // A symbolic link whose target does not exist (only Enumerate reports these); linkTarget is
  // the text the link holds.
  bool danglingLink = false;
  std::string linkTarget;
};

// The boundary between the server's Windows-style paths ("C:\ftp\pub\file.txt") and the POSIX
// file system. Each drive letter maps to a POSIX directory; the map is process-wide. Path
// components resolve without regard to ASCII letter case, as on Windows: an entry with the exact
// name is taken first, else the byte-wise smallest name that equals the component when ASCII
// letters are folded. A component that does not exist keeps its spelling, so new files and
// directories are created with the name the client gave.
//
// Only regular files and directories exist in this view: symbolic links are followed, and
// dangling links, devices, pipes and sockets are treated as absent. Enumerate alone also
// names dangling links (FileInfo::danglingLink), so that a listing shows what the directory
// holds. Paths must be resolved
// already: a ".." component is refused. "." components and repeated separators are ignored;
// "/" is accepted as a separator too.
//
// Failing calls record errno for the calling thread; LastError() returns it for logging.
//
// Every call asks the system: nothing is kept between calls. Code that asks about one file
// several times within a command looks it up once and hands the answer on (a RETR's FileInfo
// goes from its validation to the accounting through the session).
class FileSystem {
 public:
  // A span of work that may keep what it worked out from lookups (a listing keeps the disk
  // keys of the account's entries for all its entries) for as long as LookupGeneration() stays
  // the same. Scopes nest; every change made through this class ends the generation.
  class GenerationScope {
   public:
    GenerationScope();
    ~GenerationScope();
    GenerationScope(const GenerationScope&) = delete;
    GenerationScope& operator=(const GenerationScope&) = delete;
  };
  // A number that stays the same within a GenerationScope while no change is made through this
  // class; 0 outside a scope, where nothing may be kept.
  static uint64_t LookupGeneration();

  // letter (either case) -> POSIX directory; an empty map means C -> "/".
  static void SetDriveMap(const std::map<char, std::string>& map);
  static std::map<char, std::string> DriveMap();

  // The POSIX path of a Windows path, or nullopt for a path without a drive letter and root
  // ("C:" alone means the root), an unknown drive, a ".." component or a NUL byte.
  static std::optional<std::string> ToPosix(const std::string& winPath);

  // Attributes of the file or directory at the path; nullopt if there is none. A drive root
  // has an empty name.
  static std::optional<FileInfo> Stat(const std::string& winPath);
  // A regular file exists at the path.
  static bool FileExists(const std::string& winPath);
  static bool DirectoryExists(const std::string& winPath);
  // Size of the file in bytes; -1 if missing or a directory.
  static int64_t FileSize(const std::string& winPath);

  // The entries matching a pattern whose last component may hold wildcards: "C:\ftp\*.*",
  // "C:\ftp\*.txt". Without wildcards, the one entry it names if that exists ("C:\ftp\sub").
  // Every directory except a drive root also has "." and ".." entries, listed first when the
  // mask matches them; the other entries follow sorted byte-wise by name. A pattern ending in
  // a separator matches nothing.
  static std::vector<FileInfo> Enumerate(const std::string& winPattern);

  // Deletes a file (not a directory). A read-only file is refused (EACCES), as on Windows.
  static bool DeleteFile(const std::string& winPath);
  // Renames or moves a file or directory; fails when the target exists (EEXIST) and across
  // file systems (EXDEV).
  static bool RenameFile(const std::string& from, const std::string& to);
  // Creates one directory level; the parent must exist.
  static bool CreateDirectory(const std::string& winPath);
  // Removes one empty directory; never a drive root.
  static bool RemoveDirectory(const std::string& winPath);
  // Sets the owner write bit.
  static bool ClearReadOnly(const std::string& winPath);
  // Sets the last modification time (seconds since the epoch, UTC) of a file or directory.
  static bool SetModificationTime(const std::string& winPath, int64_t mtime);

  // errno of the last failing call on this thread.
  static int LastError();
  // Records errno for LastError(); used by the other classes of this layer.
  static void SetLastError(int error);
};

}  // namespace orvane
