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
#include <string>

#include "console/ControlService.h"
#include "host/ControlSocket.h"
#include "host/FtpHost.h"
#include "host/ProgramStart.h"
#include "net/EventLoop.h"
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
  orvane::ProgramStart start = orvane::ProgramStart::Begin(
      argc, argv, orvane::CommandLine::Program::Daemon, argv[0], {SIGTERM, SIGINT, SIGHUP});
  if (start.exitStatus) return *start.exitStatus;
  const orvane::CommandLine& args = start.args;
  const std::string& dir = args.dir;
  const orvane::UniqueFd& signalFd = start.signalFd;

  orvane::EventLoop loop;
  ConsoleUi ui;
  orvane::FtpHost host(loop, ui, dir);
  if (!host.StartUp(args.port, true)) return host.ConfigurationRefused() ? 2 : 1;
  if (!host.Active()) {
    host.Finish(false);
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
    host.Finish(false);
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
  host.Finish(true);
  if (!args.pidFile.empty()) ::unlink(args.pidFile.c_str());
  return 0;
}
