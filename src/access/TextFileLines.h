#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvane {

// Reads the text file at a drive-letter path as lines: a line ends at LF, and a CR right before
// the LF is dropped; a last line without a line end still counts, and a file that ends with a
// line end has no empty line after it. nullopt when the file cannot be opened or read.
std::optional<std::vector<std::string>> ReadTextLines(const std::string& winPath);

}  // namespace orvane
