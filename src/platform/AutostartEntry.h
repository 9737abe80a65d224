#pragma once

#include <string>
#include <vector>

namespace orvane {

// The desktop's "start with the session" switch: an XDG autostart entry, the file
// "orvane-ftp-server.desktop" in $XDG_CONFIG_HOME/autostart/ (~/.config/autostart/ when the
// variable is unset or not absolute). The entry is named "FTP Server Startup" and runs the
// given command line. The switch is on exactly when the file exists.
class AutostartEntry {
 public:
  static constexpr const char* kName = "FTP Server Startup";
  static constexpr const char* kFileName = "orvane-ftp-server.desktop";

  // The autostart directory the environment names.
  static std::string DefaultDirectory();

  // command: the program's full path and its arguments, each as one argument.
  AutostartEntry(std::string directory, std::vector<std::string> command);

  std::string Path() const { return directory_ + "/" + kFileName; }
  bool Exists() const;
  // Creates the directory when missing and writes the entry through a temporary file renamed
  // over it. On failure returns false with a one-line reason in error.
  bool Write(std::string& error) const;
  // Removes the entry; an entry that does not exist is no failure.
  bool Remove(std::string& error) const;

  // The entry's whole text.
  std::string Text() const;
  // The Exec value for the arguments: each argument quoted when it holds a character the
  // desktop entry format reserves, "%" doubled, then escaped as a desktop entry string.
  static std::string ExecLine(const std::vector<std::string>& command);

 private:
  std::string directory_;
  std::vector<std::string> command_;
};

}  // namespace orvane
