#pragma once

#include <string>
#include <vector>

namespace orvane {

class IniFile;

// The two connection messages: the welcome lines sent after the greeting's first line, and the
// lines sent instead of the fixed refusal when too many users are connected. The message
// settings window edits these lists directly and the connection hook reads them at every
// connection, so an edit counts at once; only OK stores them.
//
// Storage: sections "WMessage" and "TooManyUsersMessage", keys "line0", "line1", ... as typed.
class Messages {
 public:
  static constexpr const char* kWelcomeSection = "WMessage";
  static constexpr const char* kTooManyUsersSection = "TooManyUsersMessage";
  // The text that stands for a single missing key between two present ones.
  static constexpr const char* kMissingLine = "verif|";

  std::vector<std::string> Welcome;
  std::vector<std::string> TooManyUsers;

  // Loads the welcome message, then the too-many-users message.
  void Load(const IniFile& ini);

  // Erases both sections, then writes "line" + i for each line of each message. An empty message
  // therefore leaves no section. False when a write failed.
  bool Store(IniFile& ini) const;

  // Reads "line0", "line1", ... of section until two keys in a row are missing. A missing key
  // followed by a present one is read as the line "verif|", so a hand-edited gap keeps the
  // numbering visible instead of silently closing up.
  static std::vector<std::string> LoadMessage(const IniFile& ini, const std::string& section);
};

}  // namespace orvane
