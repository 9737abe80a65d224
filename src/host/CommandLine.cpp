#include "host/CommandLine.h"

#include <unistd.h>

#include <climits>

namespace orvane {

std::string CommandLine::ExecutablePath() {
  char path[PATH_MAX] = {};
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "";
  return std::string(path, static_cast<size_t>(n));
}

std::string CommandLine::ExecutableDir() {
  const std::string path = ExecutablePath();
  if (path.empty()) return "./";
  return path.substr(0, path.rfind('/') + 1);
}

bool CommandLine::Parse(int argc, char** argv, CommandLine& result) {
  result = CommandLine{};
  result.dir = ExecutableDir();
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--dir") {
      if (i + 1 >= argc) return false;
      result.dir = argv[++i];
      result.dirGiven = true;
    } else if (arg == "-h" || arg == "--help") {
      result.help = true;
    } else if (!result.port && !arg.empty() && arg[0] != '-') {
      result.port = arg;
    } else {
      return false;
    }
  }
  if (result.dir.empty()) result.dir = "./";
  if (result.dir.back() != '/') result.dir += '/';
  return true;
}

std::string CommandLine::Usage(const char* program) {
  return std::string("usage: ") + program + " [PORT] [--dir DIR]\n" +
         "  PORT      the port to listen on (default: the configured port, 21)\n"
         "  --dir DIR the directory of FTPsrv.ini, Accounts.ini and the default log\n"
         "            (default: the program's own directory when it is writable, else\n"
         "            ~/.config/orvane-ftp-server/; see the README)\n";
}

}  // namespace orvane
