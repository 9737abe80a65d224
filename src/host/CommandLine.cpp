#include "host/CommandLine.h"

#include <getopt.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <vector>

namespace orvane {

namespace {

// Options of Qt's own command line (QGuiApplication and QApplication) that take a value; the
// desktop program passes them, and those below without one, to its QApplication untouched.
constexpr const char* kToolkitWithValue[] = {
    "-style",         "-stylesheet", "-platform",        "-platformpluginpath",
    "-platformtheme", "-plugin",     "-qwindowgeometry", "-qwindowicon",
    "-qwindowtitle",  "-display",    "-geometry",        "-session",
    "-title",         "-name",       "-qmljsdebugger"};
constexpr const char* kToolkitFlags[] = {"-reverse", "-widgetcount", "-nograb", "-dograb", "-sync"};

bool IsOneOf(const char* arg, const char* const* begin, const char* const* end, bool& withValue,
             bool valueFlag) {
  for (const char* const* it = begin; it != end; ++it) {
    const size_t n = std::strlen(*it);
    if (std::strcmp(arg, *it) == 0) {
      withValue = valueFlag;
      return true;
    }
    // -style=fusion: the value in the same argument.
    if (valueFlag && std::strncmp(arg, *it, n) == 0 && arg[n] == '=') {
      withValue = false;
      return true;
    }
  }
  return false;
}

// Whether arg is a toolkit option; withValue says whether the next argument is its value.
bool IsToolkitOption(const char* arg, bool& withValue) {
  return IsOneOf(arg, std::begin(kToolkitWithValue), std::end(kToolkitWithValue), withValue,
                 true) ||
         IsOneOf(arg, std::begin(kToolkitFlags), std::end(kToolkitFlags), withValue, false);
}

bool ValidPort(const std::string& text) {
  if (text.empty() || text.size() > 5) return false;
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return value >= 1 && value <= 65535;
}

}  // namespace

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

bool CommandLine::Parse(int argc, char** argv, Program program, CommandLine& result) {
  result = CommandLine{};
  result.dir = ExecutableDir();
  // Options and operands may come in any order (getopt_long permutes its copy). It reads a copy
  // without the toolkit's options, which would otherwise be taken for bundles of one-letter options
  // (-style as -s -t -y -l -e).
  std::vector<char*> args;
  args.push_back(argv[0]);
  for (int i = 1; i < argc; ++i) {
    bool withValue = false;
    if (program == Program::Desktop && IsToolkitOption(argv[i], withValue)) {
      const std::string option = argv[i];
      if (withValue && ++i >= argc) {
        result.error = "option " + option + " needs a value";
        return false;
      }
      if (option == "-platform") result.toolkitPlatform = argv[i];
      if (option.rfind("-platform=", 0) == 0) result.toolkitPlatform = option.substr(10);
      continue;
    }
    args.push_back(argv[i]);
  }
  args.push_back(nullptr);

  static const option kOptions[] = {{"dir", required_argument, nullptr, 'd'},
                                    {"pidfile", required_argument, nullptr, 'p'},
                                    {"help", no_argument, nullptr, 'h'},
                                    {"version", no_argument, nullptr, 'V'},
                                    {nullptr, 0, nullptr, 0}};
  const int count = static_cast<int>(args.size()) - 1;
  optind = 0;  // a full new scan (also for a second Parse in one process)
  opterr = 0;
  for (;;) {
    const int c = getopt_long(count, args.data(), ":hV", kOptions, nullptr);
    if (c == -1) break;
    switch (c) {
      case 'd':
        result.dir = optarg;
        result.dirGiven = true;
        break;
      case 'p':
        if (program != Program::Daemon) {
          result.error = "--pidfile is an option of orvane-ftpd";
          return false;
        }
        result.pidFile = optarg;
        break;
      case 'h':
        result.help = true;
        break;
      case 'V':
        result.version = true;
        break;
      case ':':
        result.error =
            std::string("option ") + args[static_cast<size_t>(optind - 1)] + " needs a value";
        return false;
      default: {
        const char* arg = args[static_cast<size_t>(optind - 1)];
        result.error = (optopt != 0 && std::strncmp(arg, "--", 2) != 0)
                           ? std::string("unknown option -") + static_cast<char>(optopt)
                           : std::string("unknown option ") + arg;
        return false;
      }
    }
  }
  for (; optind < count; ++optind) {
    const std::string arg = args[static_cast<size_t>(optind)];
    if (result.port) {
      result.error = "unexpected argument " + arg;
      return false;
    }
    result.port = arg;
  }
  if (result.port && !ValidPort(*result.port) && !result.help && !result.version) {
    result.error = "the port " + *result.port + " is not a number from 1 to 65535";
    return false;
  }
  if (result.dirGiven && result.dir.empty()) {
    result.error = "--dir needs a directory";
    return false;
  }
  if (result.dir.empty()) result.dir = "./";
  if (result.dir.back() != '/') result.dir += '/';
  return true;
}

std::string CommandLine::Usage(const char* programName, Program program) {
  std::string usage = std::string("usage: ") + programName +
                      " [PORT] [--dir DIR] [-h|--help] [-V|--version]" +
                      (program == Program::Desktop ? " [Qt options]" : "") + "\n" +
                      "  PORT          the port to listen on, 1 to 65535 (default: the port of\n"
                      "                FTPsrv.ini, 21)\n"
                      "  --dir DIR     the directory of FTPsrv.ini, Accounts.ini and the default\n"
                      "                log FTP.log\n";
  if (program == Program::Daemon) {
    usage +=
        "                (default: the program's own directory when it is writable, else the\n"
        "                service's $STATE_DIRECTORY)\n"
        "  --pidfile FILE  write the process id to FILE while the server runs (for log\n"
        "                rotation)\n";
  } else {
    usage +=
        "                (default: the program's own directory when it is writable, else\n"
        "                ~/.config/orvane-ftp-server/)\n"
        "  -style NAME, -platform NAME, ...  options of the Qt toolkit\n";
  }
  usage +=
      "  -h, --help    this text\n"
      "  -V, --version the program's version\n"
      "Settings: orvane-ftpd.ini(5) and orvane-accounts(5). Exit status: 0 after a clean stop,\n"
      "1 when the server could not start (log file, port), 2 for a wrong command line, no\n"
      "settings directory or a configuration value the server cannot start with.\n";
  return usage;
}

std::string CommandLine::Version(const char* programName) {
  const char* slash = std::strrchr(programName, '/');
  return std::string(slash != nullptr ? slash + 1 : programName) + " 1.3\n";
}

}  // namespace orvane
