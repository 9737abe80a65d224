#pragma once

#include <string>
#include <vector>

#include "host/SettingsReference.h"

namespace orvane {

class IniFile;

// What the start-up says about FTPsrv.ini and Accounts.ini before the server runs: a file that
// is missing or cannot be read, lines the reader passes over, sections and keys it does not
// know, and each value it cannot use, with the file, the line, the value and the default the
// reader takes instead. Each key is judged by its row of SettingsReference. A value that has no
// safe default (a port that is no number) is fatal: the program does not start.
class ConfigurationCheck {
 public:
  struct Finding {
    std::string text;
    bool fatal = false;
  };

  // At most this many passed-over lines are named one by one; the rest are counted.
  static constexpr std::size_t kMaxIgnoredLines = 5;

  static std::vector<Finding> Check(const IniFile& ini, SettingsReference::File file);
  // Whether any finding stops the start.
  static bool Fatal(const std::vector<Finding>& findings);
};

}  // namespace orvane
