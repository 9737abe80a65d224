// orvane-ftpd: the server without windows. Memo lines go to standard output (command echo lines
// in green when standard output is a terminal), message boxes to standard error, and every
// confirmation is answered Yes. The engine starts at once; SIGINT and SIGTERM stop it cleanly.
//
//   orvane-ftpd [PORT] [--dir DIR]
#include <signal.h>
#include <sys/epoll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "host/CommandLine.h"
#include "host/FtpHost.h"
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

}  // namespace

int main(int argc, char** argv) {
  orvane::CommandLine args;
  if (!orvane::CommandLine::Parse(argc, argv, args) || args.help) {
    std::cerr << orvane::CommandLine::Usage(argv[0]);
    return 2;
  }
  const std::optional<std::string>& port = args.port;
  const std::string& dir = args.dir;

  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
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

  const orvane::EventLoop::Token signalToken =
      loop.AddFd(signalFd.Get(), EPOLLIN, [&loop](uint32_t) { loop.Stop(); });
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
