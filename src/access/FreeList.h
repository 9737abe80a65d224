#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace orvane {

class IniFile;

// The files, directories and file types whose downloads are not charged to an account's
// allowance. Items are full file paths ("D:\files.zip"), directories ending with a backslash
// ("C:\temp\"), bare file names ("index.txt") or "*" with an extension ("*.exe"). The list holds
// no two items that differ only in letter case. The editing window works on this object
// directly, so a change counts for the next download at once.
class FreeList {
 public:
  // Appends text unless it is empty or already listed without regard to case.
  bool Add(const std::string& text);
  // Removes the item at index; false when there is none.
  bool Remove(std::size_t index);
  void Clear() { items_.clear(); }
  const std::vector<std::string>& Items() const { return items_; }

  // Replaces the list with the items of section "FreeFiles" (keys File0, File1, ...), stopping
  // at the first key that is missing or empty.
  void Load(const IniFile& ini);
  // Rewrites section "FreeFiles" with File0..FileN in list order; false when a write failed.
  bool Store(IniFile& ini) const;

  // Whether a download of the local file path (drive letter, backslashes) is free: the path
  // itself, its directory with the trailing backslash, its file name, or "*" + its extension
  // ("*" alone without one) is listed, each compared without regard to case.
  bool Contains(const std::string& path) const;

 private:
  bool Listed(const std::string& text) const;

  std::vector<std::string> items_;
};

}  // namespace orvane
