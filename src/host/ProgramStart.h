#pragma once

#include <initializer_list>
#include <optional>
#include <string>

#include "host/CommandLine.h"
#include "platform/UniqueFd.h"

namespace orvane {

// The start both programs share, before either builds its host: the command line read (a wrong
// one, --help and --version answered here), the settings directory chosen (its start line on
// standard output, or why there is none on standard error), then the signals that end the
// program blocked and turned into a readable descriptor, and SIGPIPE ignored. Each main keeps
// only what is its own (its windows or its pid file). The end is FtpHost::Finish.
struct ProgramStart {
  CommandLine args;                // once started: args.dir is the settings directory
  std::optional<int> exitStatus;   // the program is to end at once with this status
  UniqueFd signalFd;               // readable when one of the blocked signals came

  // name prefixes the line that says why there is no settings directory.
  static ProgramStart Begin(int argc, char** argv, CommandLine::Program program,
                            const std::string& name, std::initializer_list<int> endSignals);
};

}  // namespace orvane
