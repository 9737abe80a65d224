#pragma once

#include <optional>
#include <string>

namespace orvane {

// Decides which directory holds FTPsrv.ini, Accounts.ini and the default FTP.log.
//
// In order: the directory given with --dir; the program's own directory when it is writable and
// is not a system program directory (a build tree or a portable copy); then, for the desktop
// program, $XDG_CONFIG_HOME/orvane-ftp-server/ (default ~/.config/orvane-ftp-server/), created
// when missing; for orvane-ftpd, the directory its service manager gives it ($STATE_DIRECTORY,
// the first one when systemd lists several). Without any of these orvane-ftpd has no directory
// and must be given --dir.
//
// A system program directory (/usr/bin and the like) is never used even when it is writable, so
// that a copy started by root never writes its settings beside the installed programs.
class SettingsDirectory {
 public:
  enum class Program { Desktop, Daemon };

  // What the decision looks at; FromEnvironment fills it from the running process.
  struct Inputs {
    Program program = Program::Daemon;
    std::optional<std::string> dirOption;  // --dir DIR
    std::string programDir;                // the executable's directory
    bool programDirWritable = false;
    std::optional<std::string> xdgConfigHome;
    std::optional<std::string> home;
    std::optional<std::string> stateDirectory;
  };

  struct Choice {
    std::string dir;      // ends with "/"; empty when there is none
    std::string reason;   // why this one, for the start line; or why none, for the error
    bool create = false;  // the directory is made (with its parents) when missing
  };

  // The decision alone, without touching the file system.
  static Choice Choose(const Inputs& inputs);

  // The inputs of this process: the executable's directory from /proc/self/exe, its
  // writability from access(2), the variables from the environment.
  static Inputs FromEnvironment(Program program, const std::optional<std::string>& dirOption);

  // Choose, then create the directory when the choice says so, then refuse a directory that
  // others may write (UnsafeReason). On failure dir is empty and reason says what went wrong.
  static Choice Resolve(const Inputs& inputs);

  // Why an existing directory cannot hold the settings: writable by its group or by others, or
  // owned by a user other than the process's effective one. Empty when it can (or is missing).
  static std::string UnsafeReason(const std::string& dir);

  // The line both programs print at start: "Settings directory: DIR (REASON)".
  static std::string StartLine(const Choice& choice);

  static bool IsSystemProgramDir(const std::string& dir);
};

}  // namespace orvane
