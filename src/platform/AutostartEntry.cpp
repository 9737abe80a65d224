#include "platform/AutostartEntry.h"

#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace orvane {

namespace {

// Creates the directory and its missing parents; true when it exists afterwards.
bool MakeDirectories(const std::string& path, std::string& error) {
  std::string partial;
  size_t at = 0;
  while (at != std::string::npos) {
    at = path.find('/', at + 1);
    partial = path.substr(0, at);
    if (partial.empty()) continue;
    if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
      error = "Cannot create " + partial + ": " + std::strerror(errno);
      return false;
    }
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = "Cannot create " + path + ": not a directory";
    return false;
  }
  return true;
}

std::string QuoteArgument(const std::string& arg) {
  static const char kReserved[] = " \t\n\"'\\><~|&;$*?#()`";
  std::string text;
  for (char c : arg) {
    if (c == '%') {
      text += "%%";
    } else {
      text += c;
    }
  }
  if (!arg.empty() && text.find_first_of(kReserved) == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

std::string AutostartEntry::DefaultDirectory() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return std::string(config) + "/autostart";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.config/autostart";
}

AutostartEntry::AutostartEntry(std::string directory, std::vector<std::string> command)
    : directory_(std::move(directory)), command_(std::move(command)) {}

bool AutostartEntry::Exists() const {
  struct stat st {};
  return ::stat(Path().c_str(), &st) == 0;
}

std::string AutostartEntry::ExecLine(const std::vector<std::string>& command) {
  std::string line;
  for (const std::string& arg : command) {
    if (!line.empty()) line += ' ';
    line += QuoteArgument(arg);
  }
  // A desktop entry string value escapes the backslash once more.
  std::string value;
  for (char c : line) {
    if (c == '\\') value += '\\';
    value += c;
  }
  return value;
}

std::string AutostartEntry::Text() const {
  return std::string("[Desktop Entry]\n") +
         "Type=Application\n"
         "Name=" +
         kName +
         "\n"
         "Comment=Starts Orvane FTP Server with the desktop session\n"
         "Exec=" +
         ExecLine(command_) +
         "\n"
         "Icon=orvane-ftp-server\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

bool AutostartEntry::Write(std::string& error) const {
  for (const std::string& arg : command_) {
    if (arg.find_first_of("\r\n") != std::string::npos) {
      error = "Cannot write " + Path() + ": a line end in the command";
      return false;
    }
  }
  if (!MakeDirectories(directory_, error)) return false;
  const std::string temporary = Path() + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << Text();
    out.flush();
    if (!out) {
      error = "Cannot write " + temporary + ": " + std::strerror(errno);
      ::unlink(temporary.c_str());
      return false;
    }
  }
  if (::rename(temporary.c_str(), Path().c_str()) != 0) {
    error = "Cannot write " + Path() + ": " + std::strerror(errno);
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

bool AutostartEntry::Remove(std::string& error) const {
  if (::unlink(Path().c_str()) == 0 || errno == ENOENT) return true;
  error = "Cannot remove " + Path() + ": " + std::strerror(errno);
  return false;
}

}  // namespace orvane
