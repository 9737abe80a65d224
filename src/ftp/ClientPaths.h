#pragma once

// Text rules that connect the paths an FTP client sends with the engine's local paths.
//
// A local directory is a drive ("C:") followed by a path that starts and ends with "\"
// ("C:\FTP\pub\", the root is "C:\"). Clients see the same text with "/" in place of "\".
// None of these functions looks at the disk: they normalise and refuse malformed input,
// and the host's hooks decide what a client may reach.

#include <stdexcept>
#include <string>

namespace orvane {

// A client path that the rules refuse; what() is the refusal text sent to the client.
class FtpPathError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A path whose ".." components would lead above the root of its drive.
class FtpPathLeavesRoot : public FtpPathError {
 public:
  using FtpPathError::FtpPathError;
};

// Every "/" replaced by "\".
std::string SlashesToBackSlashes(const std::string& s);

// Every "\" replaced by "/".
std::string BackSlashesToSlashes(const std::string& s);

// The drive part of a text: its first two characters when the second is ":"; for a text that
// starts with two backslashes, everything before the backslash that ends the share name
// ("\\server\share\x" gives "\\server\share"); otherwise empty.
std::string ExtractFileDrive(const std::string& s);

// True when the text has at least two characters and starts with two backslashes.
bool IsUncPath(const std::string& s);

// The session's current-directory rule: the directory that `value` (already trimmed, "/" already
// turned into "\") names when the current directory is `current`. ".." as the whole value goes one
// level up (never above the drive root), "." and "" stay, "X:" alone switches to the root of
// another drive. Throws FtpPathError with the refusal text for a UNC path, a stray ":", a relative
// path on another drive, and any other "." or ".." component.
std::string ApplyDirectory(const std::string& current, const std::string& value);

// A directory argument (trimmed, "/" already turned into "\") with its "." and ".." components
// resolved by their text against the current directory `current`, as a rooted path on the
// argument's drive ("..\sib" from "C:\a\b\" gives "C:\a\sib\"), ready for ApplyDirectory.
// An argument without such components, or that is "." or ".." as a whole, is returned as it is,
// and so is one ApplyDirectory refuses for another reason (a UNC path, a stray ":", a relative
// path on another drive). Throws FtpPathLeavesRoot when a ".." would go above the drive root.
std::string ResolveDotComponents(const std::string& current, const std::string& value);

// The local path of a file argument `name` relative to the current directory `dir`. "/" in the
// name counts as "\"; a rooted name keeps its (explicit or current) drive; a UNC name is returned
// as it is. "." and ".." components are left in the text: the host resolves them before it
// decides, and the file-system layer refuses any path that still holds "..". Throws FtpPathError
// "No current dir for 'X:'" for a drive-relative name on another drive.
std::string BuildFilePath(const std::string& dir, const std::string& name);

}  // namespace orvane
