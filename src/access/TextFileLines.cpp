#include "access/TextFileLines.h"

#include "platform/File.h"

namespace orvane {

std::optional<std::vector<std::string>> ReadTextLines(const std::string& winPath) {
  std::optional<File> file = File::Open(winPath, File::Mode::Read);
  if (!file) return std::nullopt;

  std::string content;
  char buffer[4096];
  for (;;) {
    const int64_t n = file->Read(buffer, sizeof buffer);
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    content.append(buffer, static_cast<std::size_t>(n));
  }

  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    const bool ended = end != std::string::npos;
    if (!ended) end = content.size();
    std::string line = content.substr(start, end - start);
    if (ended && !line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = ended ? end + 1 : end;
  }
  return lines;
}

}  // namespace orvane
