#include "host/ProgramStart.h"

#include <signal.h>
#include <sys/signalfd.h>

#include <iostream>

#include "platform/SettingsDirectory.h"

namespace orvane {

ProgramStart ProgramStart::Begin(int argc, char** argv, CommandLine::Program program,
                                 const std::string& name, std::initializer_list<int> endSignals) {
  ProgramStart start;
  CommandLine& args = start.args;
  if (!CommandLine::Parse(argc, argv, program, args)) {
    std::cerr << argv[0] << ": " << args.error << "\n" << CommandLine::Usage(argv[0], program);
    start.exitStatus = 2;
    return start;
  }
  if (args.help || args.version) {
    std::cout << (args.help ? CommandLine::Usage(argv[0], program) : CommandLine::Version(argv[0]));
    start.exitStatus = 0;
    return start;
  }
  // Without --dir: the program's own directory when it may hold the settings, else the
  // program's directory under $XDG_CONFIG_HOME, created on the first start.
  const SettingsDirectory::Choice settings =
      SettingsDirectory::Resolve(SettingsDirectory::FromEnvironment(
          program == CommandLine::Program::Daemon ? SettingsDirectory::Program::Daemon
                                                  : SettingsDirectory::Program::Desktop,
          args.dirGiven ? std::optional<std::string>(args.dir) : std::nullopt));
  if (settings.dir.empty()) {
    std::cerr << name << ": no settings directory: " << settings.reason << std::endl;
    start.exitStatus = 2;
    return start;
  }
  std::cout << SettingsDirectory::StartLine(settings) << std::endl;
  args.dir = settings.dir;

  // The signals end the program through the engine's loop, never inside a handler; blocked
  // before any thread starts, so that every thread inherits the mask.
  sigset_t blocked;
  sigemptyset(&blocked);
  for (int signal : endSignals) sigaddset(&blocked, signal);
  sigprocmask(SIG_BLOCK, &blocked, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  start.signalFd.Reset(signalfd(-1, &blocked, SFD_NONBLOCK | SFD_CLOEXEC));
  return start;
}

}  // namespace orvane
