#include "access/FreeList.h"

#include <algorithm>

#include "platform/AsciiCase.h"
#include "platform/IniFile.h"

namespace orvane {

namespace {

const char kSection[] = "FreeFiles";

std::string Key(std::size_t index) {
  return "File" + std::to_string(index);
}

}  // namespace

bool FreeList::Listed(const std::string& text) const {
  return std::any_of(items_.begin(), items_.end(),
                     [&](const std::string& item) { return EqualsIgnoreAsciiCase(item, text); });
}

bool FreeList::Add(const std::string& text) {
  if (text.empty() || Listed(text)) return false;
  items_.push_back(text);
  return true;
}

bool FreeList::Remove(std::size_t index) {
  if (index >= items_.size()) return false;
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
  return true;
}

void FreeList::Load(const IniFile& ini) {
  items_.clear();
  for (std::size_t n = 0;; ++n) {
    const std::string value = ini.ReadString(kSection, Key(n), "");
    if (value.empty()) break;
    Add(value);
  }
}

bool FreeList::Store(IniFile& ini) const {
  bool ok = ini.EraseSection(kSection);
  for (std::size_t n = 0; n < items_.size(); ++n) {
    ok = ini.WriteString(kSection, Key(n), items_[n]) && ok;
  }
  return ok;
}

bool FreeList::Contains(const std::string& path) const {
  // The directory part ends at the last backslash or drive colon; the extension starts at the
  // last dot of the file name.
  const std::size_t slash = path.find_last_of("\\:");
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const std::string directory = path.substr(0, nameStart);
  const std::string name = path.substr(nameStart);
  const std::size_t dot = name.rfind('.');
  const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
  return Listed(path) || Listed(directory) || Listed(name) || Listed("*" + extension);
}

}  // namespace orvane
