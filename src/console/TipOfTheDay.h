#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace orvane {

class IniFile;

// The tip window's model: the fixed list of tips, the one shown, and the "Show Tips at
// Startup" switch, written to FTPServer/"Tip" when the window closes.
class TipOfTheDay {
 public:
  static constexpr std::size_t kCount = 14;
  static const std::array<const char*, kCount> kTips;

  // Whether start-up shows the tip window: FTPServer/"Tip", default on.
  static bool ShowAtStartUp(const IniFile& ini);

  // Shows the first tip again.
  void Reset() { index_ = 0; }
  std::size_t Index() const { return index_; }
  const char* Current() const { return kTips[index_]; }
  // The following tip, the first after the last; the preceding one, the last before the first.
  void Next() { index_ = (index_ + 1) % kCount; }
  void Previous() { index_ = (index_ + kCount - 1) % kCount; }

  bool ShowOnStartup = true;
  // Writes the switch; false when the key could not be written.
  bool Store(IniFile& ini) const;

 private:
  std::size_t index_ = 0;
};

}  // namespace orvane
