#include "ftp/ClientPaths.h"

#include <algorithm>
#include <vector>

#include "platform/AsciiCase.h"

namespace orvane {

namespace {

const char kUncRefused[] = "Cannot accept UNC path";
const char kSyntaxRefused[] = "Invalid directory name syntax";
const char kOtherDriveRefused[] = "Cannot accept path not relative to current directory";
const char kDotRefused[] = "Cannot accept relative path using dot notation";

// The upper-cased drive letter of a path, or '\0' for an empty path, so that a malformed
// (empty) directory compares without reading past its end.
char DriveLetter(const std::string& s) {
  return s.empty() ? '\0' : AsciiUpper(s[0]);
}

// Everything after the two drive characters ("C:\A\B\" gives "\A\B\").
std::string PathAfterDrive(const std::string& dir) {
  return dir.size() > 2 ? dir.substr(2) : "";
}

bool EndsWith(const std::string& s, char c) {
  return !s.empty() && s.back() == c;
}

// "." and ".." are accepted only as the whole argument; inside a path they are refused.
void CheckDotNotation(const std::string& path) {
  if (path != "." && (path.find(".\\") != std::string::npos || EndsWith(path, '.'))) {
    throw FtpPathError(kDotRefused);
  }
}

}  // namespace

std::string SlashesToBackSlashes(const std::string& s) {
  std::string result = s;
  std::replace(result.begin(), result.end(), '/', '\\');
  return result;
}

std::string BackSlashesToSlashes(const std::string& s) {
  std::string result = s;
  std::replace(result.begin(), result.end(), '\\', '/');
  return result;
}

bool IsUncPath(const std::string& s) {
  return s.size() >= 2 && s[0] == '\\' && s[1] == '\\';
}

std::string ExtractFileDrive(const std::string& s) {
  if (s.size() >= 2 && s[1] == ':') return s.substr(0, 2);
  if (!IsUncPath(s)) return "";
  // The first backslash after "\\" ends the server name, the second one ends the share name.
  std::size_t end = s.find('\\', 2);
  if (end != std::string::npos) end = s.find('\\', end + 1);
  return end == std::string::npos ? s : s.substr(0, end);
}

std::string ApplyDirectory(const std::string& current, const std::string& value) {
  if (value == current) return current;

  std::string drive = ExtractFileDrive(value);
  if (IsUncPath(drive)) throw FtpPathError(kUncRefused);

  std::string path;
  if (drive.empty()) {
    drive = current.substr(0, std::min<std::size_t>(2, current.size()));
    path = value;
  } else {
    path = value.substr(2);
  }

  if (path.find(':') != std::string::npos) throw FtpPathError(kSyntaxRefused);

  if (path == "..") {
    // One level up: keep the current path up to the last "\" before its final character.
    path = PathAfterDrive(current);
    std::size_t cut = path.size() >= 2 ? path.rfind('\\', path.size() - 2) : std::string::npos;
    path = cut == std::string::npos ? "" : path.substr(0, cut + 1);
  }

  const bool sameDrive = DriveLetter(drive) == DriveLetter(current);
  if (!path.empty() && path[0] != '\\') {
    if (!sameDrive) throw FtpPathError(kOtherDriveRefused);
    CheckDotNotation(path);
    path = path == "." ? PathAfterDrive(current) : PathAfterDrive(current) + path;
  } else {
    CheckDotNotation(path);
  }

  if (path.empty()) path = sameDrive ? PathAfterDrive(current) : "\\";
  if (!path.empty() && !EndsWith(path, '\\')) path += '\\';
  return drive + path;
}

std::string ResolveDotComponents(const std::string& current, const std::string& value) {
  if (value == "." || value == ".." || IsUncPath(value)) return value;
  std::string drive = current.substr(0, std::min<std::size_t>(2, current.size()));
  std::string path = value;
  if (value.size() >= 2 && value[1] == ':') {
    drive = value.substr(0, 2);
    path = value.substr(2);
  }
  if (path.find(':') != std::string::npos) return value;
  const bool rooted = !path.empty() && path[0] == '\\';
  if (!rooted && DriveLetter(drive) != DriveLetter(current)) return value;
  if (!rooted) path = PathAfterDrive(current) + path;

  std::vector<std::string> kept;
  bool dotted = false;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    const std::string component = path.substr(start, end - start);
    if (component == ".") {
      dotted = true;
    } else if (component == "..") {
      dotted = true;
      if (kept.empty()) throw FtpPathLeavesRoot("Path leads above the root directory");
      kept.pop_back();
    } else if (!component.empty()) {
      kept.push_back(component);
    }
    start = end + 1;
  }
  if (!dotted) return value;
  std::string resolved = drive + "\\";
  for (const std::string& component : kept) resolved += component + "\\";
  return resolved;
}

std::string BuildFilePath(const std::string& dir, const std::string& name) {
  const std::string converted = SlashesToBackSlashes(name);
  std::string result;
  if (IsUncPath(converted)) {
    result = converted;
  } else {
    const std::string currentDrive = dir.substr(0, std::min<std::size_t>(2, dir.size()));
    std::string drive = currentDrive;
    std::string rest = converted;
    if (converted.size() >= 2 && converted[1] == ':') {
      drive = {AsciiUpper(converted[0]), ':'};
      rest = converted.substr(2);
    }
    if (!rest.empty() && rest[0] == '\\') {
      result = drive + rest;
    } else if (drive != currentDrive) {
      throw FtpPathError("No current dir for '" + drive + "'");
    } else {
      result = dir + rest;
    }
  }
  // "." and ".." are left as they are: the host resolves them before it checks rights, and the
  // file-system layer refuses any path that still holds a ".." component.
  return result;
}

}  // namespace orvane
