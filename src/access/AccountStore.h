#pragma once

#include <memory>
#include <string>
#include <vector>

#include "access/Users.h"

namespace orvane {

// The accounts of the account file and the two lists that refer to them: AccountList, the
// server's live list whose order decides which account wins a login, and EditorList, the list
// the account editor works on. Both hold pointers into one arena that keeps every record ever
// created until the store is destroyed, so a record dropped from a list stays valid for whoever
// still refers to it.
class AccountStore {
 public:
  AccountStore() = default;
  AccountStore(const AccountStore&) = delete;
  AccountStore& operator=(const AccountStore&) = delete;

  // Start-up load: reads the account file at posixPath, one new record per section in section
  // names' case-insensitive order, into EditorList and then the same records into AccountList.
  // A missing or unreadable file gives two empty lists. Remembers the path for Reload and Save.
  void Load(const std::string& posixPath);

  // Reads the file again into EditorList with new records; AccountList keeps its records.
  void Reload();

  // The reload of a running server: the file read again into new records for both lists, so the
  // next login uses them (records taken before stay valid). A file that cannot be read, or that
  // holds a line that is no section, key, comment or blank, changes nothing: false, with the
  // reason in why.
  bool ReloadLive(std::string& why);

  // Rewrites the whole file from EditorList. With HashPasswords, every clear password of
  // EditorList is first replaced by its hash (a failure stops the save before the file is
  // touched), so the file holds hashes only. and makes EditorList the live AccountList. With an
  // empty EditorList the file is removed and AccountList emptied. On an I/O failure returns
  // false with a description in errorText; the accounts already written stay in the file and
  // AccountList keeps its previous records.
  bool Save(std::string& errorText);

  // Creates a record with the values of a new account (Login = Name = name) and appends it to
  // EditorList.
  users* NewAccount(const std::string& name);

  // Removes the record from EditorList; the record itself stays alive. Returns false when it was
  // not in EditorList.
  bool DeleteAccount(users* account);

  // The EditorList record whose Name equals name exactly, or nullptr.
  users* FindAccount(const std::string& name) const;

  // Whether EditorList holds an account whose Name equals name without regard to letter case.
  bool HasName(const std::string& name) const;

  // Save stores hashes only (the host sets it from the classic switch).
  bool HashPasswords = true;

  const std::vector<users*>& AccountList() const { return accountList_; }
  const std::vector<users*>& EditorList() const { return editorList_; }
  const std::string& Path() const { return path_; }

 private:
  users* CreateRecord();
  static bool HashClearPassword(users& account);
  std::vector<users*> ReadFile();

  std::string path_;
  std::vector<std::unique_ptr<users>> arena_;
  std::vector<users*> accountList_;
  std::vector<users*> editorList_;
};

}  // namespace orvane
