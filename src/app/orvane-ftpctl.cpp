// orvane-ftpctl: the operator console of a running orvane-ftpd (or desktop program) over its
// control socket, and the account operations on Accounts.ini.
//
//   orvane-ftpctl [--dir DIR] [--json] COMMAND [ARGS]
//
// Exit codes: 0 done, 1 the server refused or failed the request (unknown client, bad address),
// 2 a wrong command line, 3 no server or no permission on its socket.
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "console/AccountTool.h"
#include "console/ControlRequest.h"
#include "host/ControlSocket.h"
#include "platform/SettingsDirectory.h"
#include "platform/UniqueFd.h"

namespace {

constexpr const char* kServiceStateDir = "/var/lib/orvane-ftpd/";
constexpr const char* kServiceRuntimeDir = "/run/orvane-ftpd/";

int Usage() {
  std::cerr << "usage: orvane-ftpctl [--dir DIR] [--json] COMMAND [ARGS]\n"
               "  who                      the connected clients\n"
               "  kick ID [--ban] | kick --all\n"
               "  ban ADDRESS | unban ADDRESS | bans\n"
               "  closed on|off            refuse new clients, or admit them again\n"
               "  stop | start             take the server off-line or on-line\n"
               "  stats | reload\n"
               "  spy ID                   the client's commands and replies, until Ctrl+C\n"
               "  account list | show NAME | add NAME --home PATH --rights LETTERS [--login L]\n"
               "          passwd NAME | remove NAME | rights NAME PATH LETTERS\n"
               "See orvane-ftpctl(8).\n";
  return 2;
}

std::string GroupName(gid_t gid) {
  const group* g = ::getgrgid(gid);
  return g != nullptr ? g->gr_name : std::to_string(gid);
}

std::string UserName() {
  const passwd* p = ::getpwuid(::getuid());
  return p != nullptr ? p->pw_name : std::to_string(::getuid());
}

std::string PermissionText(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    return "permission denied on the control socket " + path +
           ": its directory is closed to this user (" + std::strerror(errno) + ")";
  }
  const std::string group = GroupName(st.st_gid);
  return "permission denied on the control socket " + path + ": join the group " + group +
         " (sudo usermod -aG " + group + " " + UserName() + ", then log in again)";
}

// The socket of the server on dir: in dir, or where the system service keeps it.
std::string SocketPath(const std::string& dir, bool dirGiven) {
  const std::string inDir = dir + orvane::ControlSocket::kFileName;
  struct stat st {};
  if (::stat(inDir.c_str(), &st) == 0 || dirGiven) return inDir;
  if (const char* runtime = std::getenv("RUNTIME_DIRECTORY"); runtime != nullptr && *runtime) {
    return orvane::ControlSocket::DirectoryFor(dir, runtime) + orvane::ControlSocket::kFileName;
  }
  if (dir == kServiceStateDir)
    return std::string(kServiceRuntimeDir) + orvane::ControlSocket::kFileName;
  return inDir;
}

bool ReadLine(int fd, std::string& buffer, std::string& line) {
  for (;;) {
    const size_t end = buffer.find('\n');
    if (end != std::string::npos) {
      line = buffer.substr(0, end);
      buffer.erase(0, end + 1);
      return true;
    }
    char chunk[4096];
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) return false;
    if (n <= 0) return false;
    buffer.append(chunk, static_cast<size_t>(n));
  }
}

volatile sig_atomic_t interrupted = 0;

// Sends one request and prints its answer; spy streams until the client leaves or Ctrl+C.
int Request(const std::string& dir, bool dirGiven, const std::vector<std::string>& words) {
  const std::string path = SocketPath(dir, dirGiven);
  orvane::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    std::cerr << "orvane-ftpctl: socket path too long: " << path << "\n";
    return 3;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  if (::connect(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (errno == EACCES || errno == EPERM) {
      std::cerr << "orvane-ftpctl: " << PermissionText(path) << "\n";
    } else {
      std::cerr << "orvane-ftpctl: no server running on " << dir << " (no control socket at "
                << path << ": " << std::strerror(errno) << ")\n";
    }
    return 3;
  }
  const std::string line = orvane::ControlRequest::Line(words);
  if (::send(fd.Get(), line.data(), line.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(line.size())) {
    // The server closes a peer it refuses without a word.
    std::cerr << "orvane-ftpctl: the server refused this user; " << PermissionText(path) << "\n";
    return 3;
  }
  std::string buffer;
  std::string status;
  if (!ReadLine(fd.Get(), buffer, status)) {
    // The server closes a peer it refuses without a word.
    std::cerr << "orvane-ftpctl: the server refused this user; " << PermissionText(path) << "\n";
    return 3;
  }
  if (status.rfind("error ", 0) == 0) {
    const std::string rest = status.substr(6);
    const size_t space = rest.find(' ');
    std::cerr << "orvane-ftpctl: " << (space == std::string::npos ? rest : rest.substr(space + 1))
              << "\n";
    return rest.rfind("usage", 0) == 0 ? 2 : 1;
  }
  if (status.rfind("ok ", 0) != 0) {
    std::cerr << "orvane-ftpctl: unexpected answer: " << status << "\n";
    return 1;
  }
  const size_t length = std::strtoull(status.c_str() + 3, nullptr, 10);
  while (buffer.size() < length) {
    char chunk[4096];
    const ssize_t n = ::read(fd.Get(), chunk, sizeof chunk);
    if (n <= 0) break;
    buffer.append(chunk, static_cast<size_t>(n));
  }
  std::cout << buffer.substr(0, length);
  buffer.erase(0, std::min(length, buffer.size()));
  if (words.empty() || words[0] != "spy") return 0;

  // The spy stream: "C " commands (green on a terminal), "R " replies, "end " the last line.
  struct sigaction action {};
  action.sa_handler = [](int) { interrupted = 1; };
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  const bool color = ::isatty(STDOUT_FILENO) == 1;
  std::string spied;
  while (!interrupted && ReadLine(fd.Get(), buffer, spied)) {
    if (spied.rfind("end ", 0) == 0) {
      std::cerr << "orvane-ftpctl: " << spied.substr(4) << "\n";
      return 0;
    }
    const bool command = spied.rfind("C ", 0) == 0;
    const std::string text = spied.size() > 2 ? spied.substr(2) : "";
    if (command && color) {
      std::cout << "\033[32m" << text << "\033[0m" << std::endl;
    } else {
      std::cout << text << std::endl;
    }
  }
  return 0;
}

}  // namespace

int AccountCommand(const std::string& dir, const std::vector<std::string>& words, bool dirGiven);

int main(int argc, char** argv) {
  std::optional<std::string> dirOption;
  bool json = false;
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--dir" && words.empty()) {
      if (i + 1 >= argc) return Usage();
      dirOption = argv[++i];
    } else if (arg == "--json") {
      json = true;
    } else if ((arg == "-h" || arg == "--help") && words.empty()) {
      Usage();
      return 0;
    } else {
      words.push_back(arg);
    }
  }
  if (words.empty()) return Usage();
  namespace sd = orvane;
  const sd::SettingsDirectory::Choice choice = sd::SettingsDirectory::Choose(
      sd::SettingsDirectory::FromEnvironment(sd::SettingsDirectory::Program::Daemon, dirOption));
  std::string dir = choice.dir.empty() ? kServiceStateDir : choice.dir;
  if (dir.back() != '/') dir += '/';
  if (words[0] == "account") return AccountCommand(dir, words, dirOption.has_value());
  if (json) words.push_back("--json");
  return Request(dir, dirOption.has_value(), words);
}

namespace {

// The password from the terminal without echo (asked twice), or the first line of standard
// input when that is no terminal.
bool ReadPassword(std::string& password) {
  if (::isatty(STDIN_FILENO) != 1) {
    if (!std::getline(std::cin, password)) password.clear();
    if (!password.empty() && password.back() == '\r') password.pop_back();
    if (password.empty()) std::cerr << "orvane-ftpctl: an empty password is refused\n";
    return !password.empty();
  }
  termios old{};
  ::tcgetattr(STDIN_FILENO, &old);
  termios quiet = old;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  std::string again;
  std::cerr << "Password: " << std::flush;
  ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  std::getline(std::cin, password);
  std::cerr << "\nPassword again: " << std::flush;
  std::getline(std::cin, again);
  ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
  std::cerr << "\n";
  if (password.empty()) {
    std::cerr << "orvane-ftpctl: an empty password is refused; nothing changed\n";
    return false;
  }
  if (password != again) {
    std::cerr << "orvane-ftpctl: the two passwords differ; nothing changed\n";
    return false;
  }
  return true;
}

}  // namespace

int AccountCommand(const std::string& dir, const std::vector<std::string>& words, bool dirGiven) {
  const std::string op = words.size() > 1 ? words[1] : "";
  const size_t n = words.size();
  orvane::AccountTool tool(dir);
  std::string out;
  std::string error;
  bool done = false;
  bool changes = true;
  if (op == "list" && n == 2) {
    done = tool.List(out);
    changes = false;
  } else if (op == "show" && n == 3) {
    done = tool.Show(words[2], out, error);
    changes = false;
  } else if (op == "add" && n >= 3) {
    std::string home, rights, login;
    for (size_t i = 3; i + 1 < n; i += 2) {
      if (words[i] == "--home")
        home = words[i + 1];
      else if (words[i] == "--rights")
        rights = words[i + 1];
      else if (words[i] == "--login")
        login = words[i + 1];
      else
        return Usage();
    }
    if (home.empty() || rights.empty() || (n - 3) % 2 != 0) return Usage();
    std::string password;
    if (!ReadPassword(password)) return 1;
    done = tool.Add(words[2], home, rights, login, password, error);
  } else if (op == "passwd" && n == 3) {
    std::string password;
    if (!ReadPassword(password)) return 1;
    done = tool.Passwd(words[2], password, error);
  } else if (op == "remove" && n == 3) {
    done = tool.Remove(words[2], error);
  } else if (op == "rights" && n == 5) {
    done = tool.Rights(words[2], words[3], words[4], error);
  } else {
    return Usage();
  }
  if (!done) {
    std::cerr << "orvane-ftpctl: " << error << "\n";
    return 1;
  }
  std::cout << out;
  if (!changes) return 0;
  // A running server takes the file at once; without one it counts at the next start.
  const std::string path = SocketPath(dir, dirGiven);
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    std::cout << "Accounts.ini written; no server running on " << dir << " to reload\n";
    return 0;
  }
  return Request(dir, dirGiven, {"reload"});
}
