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
// Within one round of the event loop (a LookupRound on the stack of the loop's thread), a path
// looked up again takes the answer of the first lookup: a command, its hooks and the transfer
// it starts ask about the same file several times in a few microseconds, and the answers could
// only differ if another program changed the file in between, which it could as well have done
// just after. Every change made through this class or File, and every new or ended round,
// forgets those answers, so a change of our own is seen at once. Other threads always ask the
// system.
class FileSystem {
 public:
  class LookupRound {
   public:
    LookupRound();
    ~LookupRound();
    LookupRound(const LookupRound&) = delete;
    LookupRound& operator=(const LookupRound&) = delete;
  };
  // Forgets the answers of this round: for code that changes files without this class or File.
  static void ForgetLookups();
  // A number that stays the same while the answers of this round stand (no change, no new
  // round); 0 outside a round, where nothing is kept. What is worked out from lookups may be
  // kept while it stays the same.
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
  // The same, asked of the system even within a lookup round: for a test that is made again
  // and again while the file is in use (each chunk of a download).
  static bool FileExistsNow(const std::string& winPath);
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
