// orvane-ftpd: the server without windows. Memo lines go to standard output (command echo lines
// in green when standard output is a terminal), message boxes to standard error, and every
// confirmation is answered Yes. The engine starts at once; SIGINT and SIGTERM stop it cleanly,
// SIGHUP opens the log files again by their names (log rotation) and reloads Accounts.ini and
// the settings of FTPsrv.ini that count while running (FtpHost::Reload).
//
//   orvane-ftpd [PORT] [--dir DIR] [-h|--help] [-V|--version]
//
// Exit codes: 0 after a clean stop (and after --help, --version), 1 when the server could not
// start (log file, port), 2 for a wrong command line, when there is no settings directory, or
// when a configuration value leaves no safe way to start (a port that is no number).
#include <fcntl.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>

#include "console/ControlService.h"
#include "host/CommandLine.h"
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
  }
  // One write per loop round, after the log file got the same lines.
  void MemoFlush() override { std::cout.flush(); }
  void StatusPanel(int, const std::string&) override {}
  void MessageBox(const std::string& text) override { std::cerr << text << std::endl; }
  bool Confirm(const std::string& question) override {
    std::cout << question << " Yes" << std::endl;
    return true;
  }

 private:
  bool color_;
};

// The process id as one line, for log rotation; O_NOFOLLOW so that a link planted in its place
// is not written through.
bool WritePidFile(const std::string& path) {
  orvane::UniqueFd fd(
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!fd) return false;
  const std::string text = std::to_string(::getpid()) + "\n";
  return ::write(fd.Get(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

}  // namespace

int main(int argc, char** argv) {
  orvane::CommandLine args;
  const auto program = orvane::CommandLine::Program::Daemon;
  if (!orvane::CommandLine::Parse(argc, argv, program, args)) {
    std::cerr << argv[0] << ": " << args.error << "\n"
              << orvane::CommandLine::Usage(argv[0], program);
    return 2;
  }
  if (args.help) {
    std::cout << orvane::CommandLine::Usage(argv[0], program);
    return 0;
  }
  if (args.version) {
    std::cout << orvane::CommandLine::Version(argv[0]);
    return 0;
  }
  const std::optional<std::string> dirOption =
      args.dirGiven ? std::optional<std::string>(args.dir) : std::nullopt;
  const std::optional<std::string>& port = args.port;
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
  if (!host.StartUp(port, true)) return host.ConfigurationRefused() ? 2 : 1;
  if (!host.FtpServer1.Active()) {
    host.Shutdown();
    return 1;
  }
  // orvane-ftpctl's socket; the server runs on without it.
  orvane::ControlSocket control(loop);
  orvane::ControlService console(host, control);
  if (std::string why; !control.ListenFor(dir, why))
    host.LogScreenOnly("No control socket: " + why);

  if (!args.pidFile.empty() && !WritePidFile(args.pidFile)) {
    std::cerr << argv[0] << ": cannot write the pid file " << args.pidFile << " ("
              << std::strerror(errno) << ")" << std::endl;
    host.Shutdown();
    return 1;
  }

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
  if (!args.pidFile.empty()) ::unlink(args.pidFile.c_str());
  return 0;
}
