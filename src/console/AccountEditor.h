#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "access/AccountStore.h"
#include "access/TDir.h"

namespace orvane {

// The values of the account editor's controls, as the operator sees them: numbers as the text
// of their fields, the directory list as its lines.
struct AccountFields {
  bool EnableLogin = false;
  std::string Login;
  bool EnablePass = false;
  // The clear password; empty for an account whose password is kept as a hash (HasPassHash),
  // which an empty field leaves unchanged.
  std::string Pass;
  bool HasPassHash = false;
  bool EnableMaxdl = false;
  std::string Maxdl = "0";
  bool EnableRatio = false;
  std::string Xupl = "1";
  std::string Xdl = "1";
  std::string Links;
  std::vector<TDir> Dirs;
  // The per-account options of the "Miscellaneous setup" sheet.
  bool HideHidden = false;
  bool Enabled = false;
  bool AllowNoop = false;
  bool RequireTLS = false;
  bool AllowTimeout = false;
  std::string Timeout = "0";
  std::string Message;
  // The limits (0 = none): rates in KiB/s, sessions at once, quota in bytes and files.
  std::string DownloadRate = "0";
  std::string UploadRate = "0";
  std::string MaxSessions = "0";
  std::string QuotaBytes = "0";
  std::string QuotaFiles = "0";
};

// The logic of the account editor without its windows. It works on the store's EditorList:
// the selected account's controls live in Fields() until Save() stores them into its record
// (directory entries first, then the other fields); Ok() stores, writes the account file and
// makes EditorList the server's list. Every record is looked up by its exact Name.
class AccountEditor {
 public:
  // The six letters of a directory entry, in the order of the letter check boxes' string.
  static constexpr const char* kLetters = "RWDMLS";

  explicit AccountEditor(AccountStore& store);

  // The server's path ("C:\\texts\\links.txt") of a file picked on the POSIX file system, over
  // the drive map (the longest matching drive directory wins); nullopt outside every drive.
  static std::optional<std::string> ServerPath(const std::string& posixPath,
                                               const std::map<char, std::string>& drives);

  // The account names of EditorList, sorted without regard to letter case.
  const std::vector<std::string>& Names() const { return names_; }
  const std::optional<std::string>& Selected() const { return selected_; }
  AccountFields& Fields() { return fields_; }
  const AccountFields& Fields() const { return fields_; }
  bool SaveEnabled() const { return saveEnabled_; }
  void EnableSave() { saveEnabled_ = true; }

  // Loads the named account into the fields (unsaved edits are dropped); "&Save" is disabled.
  void Select(const std::string& name);
  // Loads the selected account again ("R&estore").
  void Restore();
  // The controls' empty state: no account selected.
  void Clear();

  // Stores the fields into the selected account's record. A number field that is not a number
  // stops the store with a message naming it in errorText; the fields stored before it keep
  // their new values. An "0" ratio side is stored, and shown, as 1.
  bool Save(std::string& errorText);
  // Step one of the store alone: the directory lines into the record's 151 entries.
  void StoreDirs();

  // "&Ok": stores the selected account, then writes the account file and hands EditorList to
  // the server. False with errorText when a field did not convert (nothing written) or the
  // file could not be written (the server's list stays as it was).
  bool Ok(std::string& errorText);
  // "&Reload": EditorList read again from the file; no account selected.
  void Reload();

  // "New User": false with the message to show when the name is refused.
  bool AddAccount(const std::string& name, std::string& message);
  // "Edit UserName" of the selected account: false with the message when refused; true when
  // renamed or when the name is unchanged (then nothing happens).
  bool RenameSelected(const std::string& newName, std::string& message);
  // Removes the selected account from EditorList; its record stays alive.
  void DeleteSelected();

  // The letters of directory line `index` as the six check boxes show them.
  std::array<bool, 6> LettersOf(size_t index) const;
  // A letter box changed while line `index` alone is selected: its Attr becomes the six-letter
  // string, "&Save" is enabled when it changed, and the directory lines are stored at once.
  void SetLetters(size_t index, const std::array<bool, 6>& on);
  // "NewDir": inserts a line before `position` (the end when it is past the end); false with
  // the message when the directory is listed already, compared without regard to case.
  bool AddDirectory(const std::string& dir, const std::string& attr, size_t position,
                    std::string& message);
  void DeleteDirectory(size_t index);
  // "Set as Home dir": line `index` and line 0 change places.
  void SetHome(size_t index);

 private:
  users* Record() const;
  void LoadNames();

  AccountStore& store_;
  std::vector<std::string> names_;
  std::optional<std::string> selected_;
  AccountFields fields_;
  bool saveEnabled_ = false;
};

}  // namespace orvane
