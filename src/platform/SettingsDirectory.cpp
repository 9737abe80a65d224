#include "platform/SettingsDirectory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

namespace orvane {

namespace {

constexpr const char* kDesktopFolder = "orvane-ftp-server";

std::string WithSlash(std::string dir) {
  if (dir.empty()) dir = "./";
  if (dir.back() != '/') dir += '/';
  return dir;
}

std::optional<std::string> Variable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] == '\0') return std::nullopt;
  return std::string(value);
}

// Makes dir and its missing parents, private to the user (0700, like other configuration
// directories). True when the directory exists afterwards.
bool MakeDirectories(const std::string& dir, std::string& error) {
  std::string path;
  size_t start = 0;
  while (start < dir.size()) {
    size_t end = dir.find('/', start);
    if (end == std::string::npos) end = dir.size();
    path = dir.substr(0, end);
    start = end + 1;
    if (path.empty()) continue;
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
      error = "cannot create " + path + ": " + std::strerror(errno);
      return false;
    }
  }
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = dir + " is not a directory";
    return false;
  }
  return true;
}

}  // namespace

bool SettingsDirectory::IsSystemProgramDir(const std::string& dir) {
  const std::string d = WithSlash(dir);
  for (const char* system : {"/bin/", "/sbin/", "/usr/bin/", "/usr/sbin/", "/usr/local/bin/",
                             "/usr/local/sbin/", "/usr/games/", "/usr/libexec/"}) {
    if (d == system) return true;
  }
  return false;
}

SettingsDirectory::Choice SettingsDirectory::Choose(const Inputs& in) {
  if (in.dirOption) return {WithSlash(*in.dirOption), "given with --dir", false};
  if (in.programDirWritable && !IsSystemProgramDir(in.programDir)) {
    return {WithSlash(in.programDir), "the program's own directory", false};
  }
  if (in.program == Program::Desktop) {
    if (in.xdgConfigHome && (*in.xdgConfigHome)[0] == '/') {
      return {WithSlash(*in.xdgConfigHome) + kDesktopFolder + "/", "in $XDG_CONFIG_HOME", true};
    }
    if (in.home) {
      return {WithSlash(*in.home) + ".config/" + kDesktopFolder + "/", "in ~/.config", true};
    }
    return {"", "neither $XDG_CONFIG_HOME nor $HOME is set; give a directory with --dir DIR",
            false};
  }
  if (in.stateDirectory) {
    // systemd separates several state directories with colons; the first is the service's own.
    const std::string first = in.stateDirectory->substr(0, in.stateDirectory->find(':'));
    if (!first.empty()) return {WithSlash(first), "from $STATE_DIRECTORY", false};
  }
  return {"",
          "the program's directory " + WithSlash(in.programDir) +
              " is not for settings and no service gave one; give a directory with --dir DIR",
          false};
}

SettingsDirectory::Inputs SettingsDirectory::FromEnvironment(
    Program program, const std::optional<std::string>& dirOption) {
  Inputs in;
  in.program = program;
  in.dirOption = dirOption;
  char path[PATH_MAX] = {};
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n > 0) {
    const std::string exe(path, static_cast<size_t>(n));
    in.programDir = exe.substr(0, exe.rfind('/') + 1);
  } else {
    in.programDir = "./";
  }
  in.programDirWritable = ::access(in.programDir.c_str(), W_OK) == 0;
  in.xdgConfigHome = Variable("XDG_CONFIG_HOME");
  in.home = Variable("HOME");
  in.stateDirectory = Variable("STATE_DIRECTORY");
  return in;
}

std::string SettingsDirectory::UnsafeReason(const std::string& dir) {
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0) return "";  // a missing directory says so when it is used
  // SECURITY: whoever may write the directory may plant an Accounts.ini (logins with any
  // rights) or a link in place of a log file.
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return "the settings directory " + dir + " may be written by " +
           ((st.st_mode & S_IWOTH) != 0 ? "any user" : "its group") +
           ", who could plant accounts and settings; remove that right (chmod go-w) or give "
           "another directory with --dir DIR";
  }
  if (st.st_uid != ::geteuid()) {
    return "the settings directory " + dir + " belongs to another user (uid " +
           std::to_string(st.st_uid) +
           "), who could plant accounts and settings; give a directory of your own with --dir DIR";
  }
  return "";
}

SettingsDirectory::Choice SettingsDirectory::Resolve(const Inputs& inputs) {
  Choice choice = Choose(inputs);
  if (choice.dir.empty()) return choice;
  std::string error;
  if (choice.create && !MakeDirectories(choice.dir, error)) return {"", error, false};
  const std::string unsafe = UnsafeReason(choice.dir);
  if (!unsafe.empty()) return {"", unsafe, false};
  return choice;
}

std::string SettingsDirectory::StartLine(const Choice& choice) {
  return "Settings directory: " + choice.dir + " (" + choice.reason + ")";
}

}  // namespace orvane
