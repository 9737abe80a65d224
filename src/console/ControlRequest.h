#pragma once

#include <string>
#include <vector>

namespace orvane {

// One line of the control socket: the words of orvane-ftpctl's command line, separated by
// spaces. "--json" anywhere asks for the JSON answer and is not a word of its own; the first
// remaining word is the command.
struct ControlRequest {
  std::string command;
  std::vector<std::string> args;
  bool json = false;

  static ControlRequest Parse(const std::string& line);
  // The line that Parse reads back as the same request (the tool writes it).
  static std::string Line(const std::vector<std::string>& words);
};

}  // namespace orvane
