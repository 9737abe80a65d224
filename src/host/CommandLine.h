#pragma once

#include <optional>
#include <string>

namespace orvane {

// The command line of both programs:
//
//   PROGRAM [PORT] [--dir DIR] [-h|--help] [-V|--version]    (orvane-ftpd: [--pidfile FILE])
//
// PORT (1 to 65535) replaces the configured port for the automatic start; DIR holds FTPsrv.ini,
// Accounts.ini and the default log. The desktop program also takes the options of its window
// toolkit (-style NAME, -platform NAME, ...), which are passed over here and left to it.
struct CommandLine {
  enum class Program { Daemon, Desktop };

  std::optional<std::string> port;
  std::string dir;  // ends with "/"; the program's own directory unless dirGiven
  bool dirGiven = false;
  bool help = false;            // -h or --help: the usage to standard output, exit 0
  bool version = false;         // -V or --version: the version to standard output, exit 0
  std::string pidFile;          // orvane-ftpd's --pidfile FILE, empty when not given
  std::string toolkitPlatform;  // the desktop's -platform NAME, empty when not given
  std::string error;            // why the command line was refused (exit 2)

  // False on a malformed command line, with error set: the caller prints it and the usage to
  // standard error and exits with 2.
  static bool Parse(int argc, char** argv, Program program, CommandLine& result);
  static std::string Usage(const char* programName, Program program);
  static std::string Version(const char* programName);
  // The program file's full path and its directory (ending with "/").
  static std::string ExecutablePath();
  static std::string ExecutableDir();
};

}  // namespace orvane
