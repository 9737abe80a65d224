// orvane-ftpd: the server without windows. Memo lines go to standard output (command echo lines
// in green when standard output is a terminal), message boxes to standard error, and every
// confirmation is answered Yes. The engine starts at once; SIGINT and SIGTERM stop it cleanly,
// SIGHUP opens the log files again by their names (log rotation) and reloads Accounts.ini and
// the settings of FTPsrv.ini that count while running (FtpHost::Reload).
//
//   orvane-ftpd [PORT] [--dir DIR]
//
// Exit codes: 0 after a clean stop, 1 when the server could not start (log file, port), 2 for
// a wrong command line or when there is no settings directory.
#include <signal.h>
#include <sys/epoll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "console/ControlService.h"
#include "host/ControlSocket.h"
#include "host/FtpHost.h"
#include "net/EventLoop.h"
#include "platform/SettingsDirectory.h"
#include "platform/UniqueFd.h"

namespace {

class ConsoleUi : public orvane::HostUi {
 public:
  ConsoleUi() : color_(::isatty(STDOUT_FILENO) == 1) {}

  void MemoAppend(const std::string& line, orvane::MemoColor color) override {
    if (color == orvane::MemoColor::Green && color_) {
      std::cout << "\033[32m" << line << "\033[0m\n";
    } else {
      std::cout << line << '\n';
    }
    std::cout.flush();
  }
  void StatusPanel(int, const std::string&) override {}
  void MessageBox(const std::string& text) override { std::cerr << text << std::endl; }
  bool Confirm(const std::string& question) override {
    std::cout << question << " Yes" << std::endl;
    return true;
  }

 private:
  bool color_;
};

int Usage(const char* program) {
  std::cerr << "usage: " << program << " [PORT] [--dir DIR]\n"
            << "  PORT      the port to listen on (default: the configured port, 21)\n"
            << "  --dir DIR the directory of FTPsrv.ini, Accounts.ini and the default log\n"
            << "            (default: the program's own directory when it is writable,\n"
            << "            else the service's $STATE_DIRECTORY)\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<std::string> port;
  std::optional<std::string> dirOption;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--dir") {
      if (i + 1 >= argc) return Usage(argv[0]);
      dirOption = argv[++i];
    } else if (arg == "-h" || arg == "--help") {
      return Usage(argv[0]);
    } else if (!port && !arg.empty() && arg[0] != '-') {
      port = arg;
    } else {
      return Usage(argv[0]);
    }
  }
  const orvane::SettingsDirectory::Choice settings =
      orvane::SettingsDirectory::Resolve(orvane::SettingsDirectory::FromEnvironment(
          orvane::SettingsDirectory::Program::Daemon, dirOption));
  if (settings.dir.empty()) {
    std::cerr << argv[0] << ": no settings directory: " << settings.reason << std::endl;
    return 2;
  }
  std::cout << orvane::SettingsDirectory::StartLine(settings) << std::endl;
  const std::string& dir = settings.dir;

  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGHUP);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  orvane::UniqueFd signalFd(signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC));

  orvane::EventLoop loop;
  ConsoleUi ui;
  orvane::FtpHost host(loop, ui, dir);
  if (!host.StartUp(port, true)) return 1;
  if (!host.FtpServer1.Active()) {
    host.Shutdown();
    return 1;
  }
  // orvane-ftpctl's socket; the server runs on without it.
  orvane::ControlSocket control(loop);
  orvane::ControlService console(host, control);
  if (std::string why; !control.ListenFor(dir, why))
    host.LogScreenOnly("No control socket: " + why);

  const orvane::EventLoop::Token signalToken = loop.AddFd(signalFd.Get(), EPOLLIN, [&](uint32_t) {
    signalfd_siginfo info{};
    while (::read(signalFd.Get(), &info, sizeof info) == sizeof info) {
      if (info.ssi_signo != SIGHUP) {
        loop.Stop();
      } else {
        if (!host.ReopenLogs()) {
          std::cerr << "Cannot open the log files again; writing on to the old ones" << std::endl;
        }
        host.Reload();  // says in the log what it read, or why it kept the old accounts
      }
    }
  });
  loop.Run();
  loop.Release(signalToken);

  // A clean stop: the operator's stop command (answered Yes), then every remaining session
  // closed, and the disconnection hooks run before the session end block is written.
  host.RequestClose();
  host.FtpServer1.DisconnectAll();
  if (host.FtpServer1.Active()) host.FtpServer1.Stop();
  for (int i = 0; i < 10 && loop.HasPending(); ++i) loop.ProcessReady(0);
  host.Shutdown();
  return 0;
}
