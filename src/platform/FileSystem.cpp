#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <mutex>

#include "platform/AsciiCase.h"

namespace orvane {
namespace {

thread_local int lastError = 0;

std::mutex& DriveMapMutex() {
  static std::mutex mutex;
  return mutex;
}

std::map<char, std::string>& DriveMapStorage() {
  static std::map<char, std::string> map{{'C', "/"}};
  return map;
}

std::optional<std::string> DriveRoot(char letter) {
  std::lock_guard<std::mutex> lock(DriveMapMutex());
  const auto& map = DriveMapStorage();
  auto it = map.find(AsciiUpper(letter));
  if (it == map.end()) return std::nullopt;
  return it->second;
}

bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::string Join(const std::string& directory, const std::string& name) {
  if (!directory.empty() && directory.back() == '/') return directory + name;
  return directory + "/" + name;
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// Looks in a directory for the entry that a component names without regard to case.
std::optional<std::string> FindFolded(const std::string& directory, const std::string& component) {
  DirHandle dir(::opendir(directory.c_str()));
  if (!dir) return std::nullopt;
  std::optional<std::string> best;
  while (dirent* entry = ::readdir(dir.get())) {
    std::string_view name(entry->d_name);
    if (name == "." || name == "..") continue;
    if (EqualsIgnoreAsciiCase(name, component) && (!best || name < *best)) best = std::string(name);
  }
  return best;
}

struct Resolved {
  std::string posix;
  bool driveRoot = false;
  // What lstat() said of the whole path, when the exact spelling exists: the callers that only
  // stat the entry again can take it from here.
  bool leafKnown = false;
  struct stat leaf {};
};

std::optional<Resolved> Resolve(const std::string& winPath) {
  if (winPath.size() < 2 || !IsAsciiLetter(winPath[0]) || winPath[1] != ':') {
    FileSystem::SetLastError(EINVAL);
    return std::nullopt;
  }
  if (winPath.size() > 2 && winPath[2] != '\\' && winPath[2] != '/') {
    FileSystem::SetLastError(EINVAL);  // drive-relative: the caller must resolve it
    return std::nullopt;
  }
  std::optional<std::string> root = DriveRoot(winPath[0]);
  if (!root) {
    FileSystem::SetLastError(ENODEV);
    return std::nullopt;
  }
  std::vector<std::string> components;
  std::size_t pos = 2;
  while (pos < winPath.size()) {
    std::size_t next = winPath.find_first_of("\\/", pos);
    if (next == std::string::npos) next = winPath.size();
    std::string component = winPath.substr(pos, next - pos);
    pos = next + 1;
    if (component.empty() || component == ".") continue;
    if (component == ".." || component.find('\0') != std::string::npos) {
      FileSystem::SetLastError(EINVAL);
      return std::nullopt;
    }
    components.push_back(std::move(component));
  }

  Resolved resolved{*root, components.empty()};
  if (components.empty()) return resolved;
  // Most paths are spelled as they are on disk: one lstat() of the whole path settles them. Only
  // a path that does not exist as spelled is walked component by component, each looked up
  // without regard to case where the exact spelling is missing.
  std::string exact = *root;
  for (const std::string& component : components) exact = Join(exact, component);
  if (::lstat(exact.c_str(), &resolved.leaf) == 0) {
    resolved.posix = std::move(exact);
    resolved.leafKnown = true;
    return resolved;
  }
  bool searching = true;  // false once a component is missing: nothing below it exists
  for (const std::string& component : components) {
    std::string name = component;
    if (searching) {
      struct stat st {};
      if (::lstat(Join(resolved.posix, component).c_str(), &st) != 0) {
        std::optional<std::string> folded = FindFolded(resolved.posix, component);
        if (folded) {
          name = *folded;
        } else {
          searching = false;
        }
      }
    }
    resolved.posix = Join(resolved.posix, name);
  }
  return resolved;
}

// The work a GenerationScope covers on this thread: its depth, and the generation that every
// change and every outermost scope advance.
struct Generation {
  int depth = 0;
  uint64_t number = 1;
};
thread_local Generation generation;

// Held by every call that changes files: whatever it did, and also when it failed halfway,
// what a scope worked out from earlier lookups may be wrong once it returns.
struct ForgetOnReturn {
  ForgetOnReturn() = default;
  ForgetOnReturn(const ForgetOnReturn&) = delete;
  ForgetOnReturn& operator=(const ForgetOnReturn&) = delete;
  ~ForgetOnReturn() { ++generation.number; }
};

std::string BaseName(const std::string& posix) {
  std::size_t slash = posix.rfind('/');
  return slash == std::string::npos ? posix : posix.substr(slash + 1);
}

bool StatKind(const struct stat& st) {
  if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
    FileSystem::SetLastError(ENOENT);
    return false;
  }
  return true;
}

// stat() that follows links and sees only regular files and directories.
bool StatEntry(const std::string& posix, struct stat& st) {
  if (::stat(posix.c_str(), &st) != 0) {
    FileSystem::SetLastError(errno);
    return false;
  }
  return StatKind(st);
}

// StatEntry for a resolved path, reusing the lstat() of the resolution unless it saw a link.
bool StatResolved(const Resolved& resolved, struct stat& st) {
  if (resolved.leafKnown && !S_ISLNK(resolved.leaf.st_mode)) {
    st = resolved.leaf;
    return StatKind(st);
  }
  return StatEntry(resolved.posix, st);
}

FileInfo MakeInfo(std::string name, const struct stat& st) {
  FileInfo info;
  info.directory = S_ISDIR(st.st_mode);
  info.hidden = !name.empty() && name[0] == '.' && name != "." && name != "..";
  info.readOnly = (st.st_mode & S_IWUSR) == 0;
  info.size = info.directory ? 0 : static_cast<int64_t>(st.st_size);
  info.mtime = static_cast<int64_t>(st.st_mtime);
  info.mode = static_cast<uint32_t>(st.st_mode & 07777);
  info.name = std::move(name);
  return info;
}

// A symbolic link whose target is missing, as an entry of its directory.
std::optional<FileInfo> DanglingLinkInfo(const std::string& posix, std::string name) {
  struct stat st {};
  if (::lstat(posix.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return std::nullopt;
  struct stat target {};
  if (::stat(posix.c_str(), &target) == 0) return std::nullopt;  // a pipe or device behind it
  FileInfo info = MakeInfo(std::move(name), st);
  info.size = 0;
  info.danglingLink = true;
  std::string text(4096, '\0');
  const ssize_t length = ::readlink(posix.c_str(), text.data(), text.size());
  if (length > 0) info.linkTarget = text.substr(0, static_cast<size_t>(length));
  return info;
}

bool Fail(int error) {
  FileSystem::SetLastError(error);
  return false;
}

}  // namespace

FileSystem::GenerationScope::GenerationScope() {
  if (generation.depth++ == 0) ++generation.number;
}

FileSystem::GenerationScope::~GenerationScope() {
  if (--generation.depth == 0) ++generation.number;
}

uint64_t FileSystem::LookupGeneration() {
  return generation.depth > 0 ? generation.number : 0;
}

void FileSystem::SetDriveMap(const std::map<char, std::string>& map) {
  const ForgetOnReturn changes;
  std::map<char, std::string> normalized;
  for (const auto& [letter, directory] : map) {
    if (!IsAsciiLetter(letter) || directory.empty()) continue;
    std::string dir = directory;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    normalized[AsciiUpper(letter)] = dir;
  }
  if (normalized.empty()) normalized.emplace('C', std::string("/"));
  std::lock_guard<std::mutex> lock(DriveMapMutex());
  DriveMapStorage() = std::move(normalized);
}

std::map<char, std::string> FileSystem::DriveMap() {
  std::lock_guard<std::mutex> lock(DriveMapMutex());
  return DriveMapStorage();
}

std::optional<std::string> FileSystem::ToPosix(const std::string& winPath) {
  std::optional<Resolved> resolved = Resolve(winPath);
  if (!resolved) return std::nullopt;
  return resolved->posix;
}

std::optional<FileInfo> FileSystem::Stat(const std::string& winPath) {
  std::optional<Resolved> resolved = Resolve(winPath);
  if (!resolved) return std::nullopt;
  struct stat st {};
  if (!StatResolved(*resolved, st)) return std::nullopt;
  return MakeInfo(resolved->driveRoot ? std::string() : BaseName(resolved->posix), st);
}

bool FileSystem::FileExists(const std::string& winPath) {
  std::optional<FileInfo> info = Stat(winPath);
  return info && !info->directory;
}

bool FileSystem::DirectoryExists(const std::string& winPath) {
  std::optional<FileInfo> info = Stat(winPath);
  return info && info->directory;
}

int64_t FileSystem::FileSize(const std::string& winPath) {
  std::optional<FileInfo> info = Stat(winPath);
  return (info && !info->directory) ? info->size : -1;
}

std::vector<FileInfo> FileSystem::Enumerate(const std::string& winPattern) {
  std::vector<FileInfo> result;
  std::size_t separator = winPattern.find_last_of("\\/");
  if (separator == std::string::npos) {
    SetLastError(EINVAL);
    return result;
  }
  std::string mask = winPattern.substr(separator + 1);
  if (mask.empty() || mask == "." || mask == "..") {
    SetLastError(ENOENT);
    return result;
  }
  if (!HasWildcard(mask)) {
    if (std::optional<FileInfo> info = Stat(winPattern)) result.push_back(std::move(*info));
    return result;
  }

  std::optional<Resolved> directory = Resolve(winPattern.substr(0, separator + 1));
  if (!directory) return result;
  DirHandle dir(::opendir(directory->posix.c_str()));
  if (!dir) {
    SetLastError(errno);
    return result;
  }
  while (dirent* entry = ::readdir(dir.get())) {
    std::string name(entry->d_name);
    if (name == "." || name == ".." || !MatchesMask(name, mask)) continue;
    struct stat st {};
    const std::string posix = Join(directory->posix, name);
    if (!StatEntry(posix, st)) {  // a pipe, a device, a dangling link
      if (std::optional<FileInfo> link = DanglingLinkInfo(posix, std::move(name))) {
        result.push_back(std::move(*link));
      }
      continue;
    }
    result.push_back(MakeInfo(std::move(name), st));
  }
  std::sort(result.begin(), result.end(),
            [](const FileInfo& a, const FileInfo& b) { return a.name < b.name; });

  if (!directory->driveRoot) {
    std::vector<FileInfo> dots;
    struct stat st {};
    if (MatchesMask(".", mask) && StatEntry(directory->posix, st))
      dots.push_back(MakeInfo(".", st));
    if (MatchesMask("..", mask) && StatEntry(Join(directory->posix, ".."), st)) {
      dots.push_back(MakeInfo("..", st));
    }
    result.insert(result.begin(), dots.begin(), dots.end());
  }
  return result;
}

bool FileSystem::DeleteFile(const std::string& winPath) {
  const ForgetOnReturn changes;
  std::optional<Resolved> resolved = Resolve(winPath);
  if (!resolved) return false;
  struct stat st {};
  if (!StatResolved(*resolved, st)) return false;
  if (S_ISDIR(st.st_mode)) return Fail(EISDIR);
  if ((st.st_mode & S_IWUSR) == 0) return Fail(EACCES);
  if (::unlink(resolved->posix.c_str()) != 0) return Fail(errno);
  return true;
}

bool FileSystem::RenameFile(const std::string& from, const std::string& to) {
  const ForgetOnReturn changes;
  std::optional<Resolved> source = Resolve(from);
  if (!source) return false;
  std::optional<Resolved> target = Resolve(to);
  if (!target) return false;
  if (source->driveRoot || target->driveRoot) return Fail(EBUSY);
  struct stat st {};
  if (!StatResolved(*source, st)) return false;
  if (::lstat(target->posix.c_str(), &st) == 0) return Fail(EEXIST);
  // RENAME_NOREPLACE closes the gap between the check above and the rename; file systems
  // without it get the plain rename.
  if (::renameat2(AT_FDCWD, source->posix.c_str(), AT_FDCWD, target->posix.c_str(),
                  RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) return Fail(errno);
  if (::rename(source->posix.c_str(), target->posix.c_str()) != 0) return Fail(errno);
  return true;
}

bool FileSystem::CreateDirectory(const std::string& winPath) {
  const ForgetOnReturn changes;
  std::optional<Resolved> resolved = Resolve(winPath);
  if (!resolved) return false;
  if (::mkdir(resolved->posix.c_str(), 0777) != 0) return Fail(errno);
  return true;
}

bool FileSystem::RemoveDirectory(const std::string& winPath) {
  const ForgetOnReturn changes;
  std::optional<Resolved> resolved = Resolve(winPath);
  if (!resolved) return false;
  if (resolved->driveRoot) return Fail(EBUSY);
  if (::rmdir(resolved->posix.c_str()) != 0) return Fail(errno);
  return true;
}

bool FileSystem::ClearReadOnly(const std::string& winPath) {
  const ForgetOnReturn changes;
  std::optional<Resolved> resolved = Resolve(winPath);
  if (!resolved) return false;
  struct stat st {};
  if (!StatResolved(*resolved, st)) return false;
  if (::chmod(resolved->posix.c_str(), (st.st_mode & 07777) | S_IWUSR) != 0) return Fail(errno);
  return true;
}

bool FileSystem::SetModificationTime(const std::string& winPath, int64_t mtime) {
  const ForgetOnReturn changes;
  std::optional<Resolved> resolved = Resolve(winPath);
  if (!resolved) return false;
  struct stat st {};
  if (!StatResolved(*resolved, st)) return false;
  // The access time stays as it is.
  utimbuf times{};
  times.actime = st.st_atime;
  times.modtime = static_cast<time_t>(mtime);
  if (::utime(resolved->posix.c_str(), &times) != 0) return Fail(errno);
  return true;
}

int FileSystem::LastError() {
  return lastError;
}

void FileSystem::SetLastError(int error) {
  lastError = error;
}

}  // namespace orvane
