#pragma once

#include <optional>
#include <string>

namespace orvane {

// The desktop program's command line, the one orvane-ftpd takes too: [PORT] [--dir DIR]. PORT replaces the configured port
// for the automatic start; DIR holds FTPsrv.ini, Accounts.ini and the default log and defaults
// to the program's own directory.
struct CommandLine {
  std::optional<std::string> port;
  std::string dir;  // ends with "/"
  bool dirGiven = false;
  bool help = false;  // -h or --help

  // False on a malformed command line (the caller prints Usage and exits with 2).
  static bool Parse(int argc, char** argv, CommandLine& result);
  static std::string Usage(const char* program);
  // The program file's full path and its directory (ending with "/").
  static std::string ExecutablePath();
  static std::string ExecutableDir();
};

}  // namespace orvane
