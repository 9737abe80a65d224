#pragma once

namespace orvane {

class IniFile;

// The "Always On Top" command and the DialogOpen flag: the main window stays above other
// windows while the command is checked and no secondary window (setup, log settings,
// statistics, messages, account editor, user information, spy) is shown. Secondary windows
// call DialogShown and DialogHidden; the main window asks WantTopmost after each change.
class StayOnTop {
 public:
  bool Checked() const { return checked_; }
  bool DialogOpen() const { return dialogOpen_; }
  bool WantTopmost() const { return checked_ && !dialogOpen_; }

  // Reads FTPserver/"StayOnTop" (default off): whether start-up performs the command once.
  static bool StoredOn(const IniFile& ini);
  // The command: toggles the check mark and writes FTPserver/"StayOnTop". Returns false when
  // the key could not be written (the check mark has changed all the same).
  bool Toggle(IniFile& ini);
  void DialogShown() { dialogOpen_ = true; }
  void DialogHidden() { dialogOpen_ = false; }

 private:
  bool checked_ = false;
  bool dialogOpen_ = false;
};

}  // namespace orvane
