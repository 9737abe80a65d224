#pragma once

#include <map>
#include <string>
#include <vector>

#include "access/AccountStore.h"
#include "console/AccountEditor.h"

namespace orvane {

// orvane-ftpctl's account operations on the Accounts.ini of one settings directory, through the
// same editor model as the desktop's account window: the editor's name rules, its directory
// lines and letters, and its Ok, which writes the file (hashes only, unless the classic switch
// of FTPsrv.ini is on). Paths are given as POSIX directories and written as the drive path of
// FTPsrv.ini's [Drives] they lie under.
class AccountTool {
 public:
  explicit AccountTool(const std::string& settingsDir);

  // Each returns false with the message in error; out is what to print.
  bool List(std::string& out);
  bool Show(const std::string& name, std::string& out, std::string& error);
  bool Add(const std::string& name, const std::string& home, const std::string& letters,
           const std::string& login, const std::string& password, std::string& error);
  bool Passwd(const std::string& name, const std::string& password, std::string& error);
  bool Remove(const std::string& name, std::string& error);
  bool Rights(const std::string& name, const std::string& path, const std::string& letters,
              std::string& error);

  // The drive path of a POSIX directory ("C:\pub\"), or none with the reason in error.
  bool DrivePath(const std::string& posixDir, std::string& drivePath, std::string& error) const;
  // "RL" -> the six letter boxes; false for a letter outside RWDMLS.
  static bool Letters(const std::string& text, std::array<bool, 6>& on);

 private:
  bool SelectExisting(const std::string& name, std::string& error);

  std::map<char, std::string> drives_;
  AccountStore store_;
  AccountEditor editor_;
};

}  // namespace orvane
