// A small host for end-to-end tests: the real engine on 127.0.0.1 with hooks that allow
// everything. Drive C maps onto the directory given with --root; every login succeeds and
// starts in C:\. Prints "PORT <n>" on standard output once listening and runs until SIGTERM or
// SIGINT. --hide-hidden makes LIST leave out hidden entries; --max-clients N limits sessions;
// --classic answers as the server always did instead of as today's clients expect.
#include <signal.h>
#include <sys/epoll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "ftp/TFtpServer.h"
#include "net/EventLoop.h"
#include "platform/FileSystem.h"

int main(int argc, char** argv) {
  std::string root;
  std::string port = "0";
  bool hideHidden = false;
  bool classic = false;
  int maxClients = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--root" && i + 1 < argc)
      root = argv[++i];
    else if (arg == "--port" && i + 1 < argc)
      port = argv[++i];
    else if (arg == "--hide-hidden")
      hideHidden = true;
    else if (arg == "--classic")
      classic = true;
    else if (arg == "--max-clients" && i + 1 < argc)
      maxClients = std::stoi(argv[++i]);
  }
  if (root.empty()) {
    std::fprintf(stderr,
                 "usage: %s --root DIR [--port N] [--hide-hidden] [--max-clients N] [--classic]\n",
                 argv[0]);
    return 2;
  }
  orvane::FileSystem::SetDriveMap({{'C', root}});

  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  const int sigFd = signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);

  orvane::EventLoop loop;
  orvane::TFtpServer server(loop);
  server.Port = port;
  server.MaxClients = maxClients;
  server.Compatibility = orvane::CompatibilityPolicy(classic);
  server.OnAuthenticate = [](orvane::TFtpServer&, orvane::TFtpCtrlSocket& client,
                             const std::string&, const std::string&, bool& authenticated) {
    client.HomeDir = "C:\\";
    authenticated = true;
  };
  server.OnCheckhidden = [hideHidden](orvane::TFtpServer&, orvane::TFtpCtrlSocket&,
                                      const std::string&, bool& hidden) { hidden = hideHidden; };
  server.Start();
  std::printf("PORT %s\n", server.ServerSocket().GetXPort().c_str());
  std::fflush(stdout);

  const orvane::EventLoop::Token signalToken =
      loop.AddFd(sigFd, EPOLLIN, [&loop](uint32_t) { loop.Stop(); });
  loop.Run();
  loop.Release(signalToken);
  server.DisconnectAll();
  close(sigFd);
  return 0;
}
