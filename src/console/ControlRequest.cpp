#include "console/ControlRequest.h"

namespace orvane {

ControlRequest ControlRequest::Parse(const std::string& line) {
  ControlRequest request;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    size_t end = i;
    while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
    const std::string word = line.substr(i, end - i);
    i = end;
    if (word == "--json") {
      request.json = true;
    } else if (request.command.empty()) {
      request.command = word;
    } else {
      request.args.push_back(word);
    }
  }
  return request;
}

std::string ControlRequest::Line(const std::vector<std::string>& words) {
  std::string line;
  for (const std::string& word : words) {
    if (!line.empty()) line += ' ';
    line += word;
  }
  return line + "\n";
}

}  // namespace orvane
