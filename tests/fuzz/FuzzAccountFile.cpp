// The account file loader on arbitrary bytes, then a save and a second load. Properties: loading
// never fails, every account has exactly the directory table's size, and what Save writes loads
// again as the same accounts.
#include <cstdint>
#include <map>
#include <string>

#include "FuzzSupport.h"
#include "access/AccountStore.h"
#include "platform/AsciiCase.h"

using namespace orvane;

namespace {

std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != '\r' && c != '\n') out += c;
  }
  return out;
}

// A value as the file gives it back: on one line, without blanks around it.
std::string Stored(const std::string& text) {
  const std::string line = OneLine(text);
  const std::size_t first = line.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return line.substr(first, line.find_last_not_of(" \t") - first + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::ScratchDir dir;
  const std::string path = dir.Path() + "/Accounts.ini";
  fuzz::WriteFile(path, std::string_view(reinterpret_cast<const char*>(data), size));

  AccountStore store;
  store.Load(path);
  if (store.AccountList().size() != store.EditorList().size()) fuzz::Fail("list sizes differ");
  std::string error;
  if (!store.Save(error)) return 0;

  // Save keeps every account but drops CR and LF from its texts, so that no text can add lines,
  // and the file keeps no blanks around a value;
  // section names compare without regard to case, so accounts are matched by that form of
  // their name with letters folded.
  AccountStore reread;
  reread.Load(path);
  std::map<std::string, const users*> saved;
  for (const users* a : store.AccountList()) saved[AsciiUpper(OneLine(a->Name))] = a;
  if (saved.size() != store.AccountList().size()) return 0;  // names equal but for CR, LF and case
  if (reread.AccountList().size() != saved.size()) {
    fuzz::Fail("a saved file loads " + std::to_string(reread.AccountList().size()) +
               " accounts instead of " + std::to_string(saved.size()));
  }
  for (const users* b : reread.AccountList()) {
    auto it = saved.find(AsciiUpper(b->Name));
    if (it == saved.end()) fuzz::Fail("account '" + b->Name + "' appeared through a save");
    const users& a = *it->second;
    if (Stored(a.Login) != b->Login || Stored(a.Pass) != b->Pass || a.Maxdl != b->Maxdl ||
        a.Timeout != b->Timeout) {
      fuzz::Fail("account '" + b->Name + "' changed through a save and a load");
    }
    for (std::size_t k = 0; k < a.Dirs.size(); ++k) {
      if (Stored(a.Dirs[k].Dir) != b->Dirs[k].Dir || Stored(a.Dirs[k].Attr) != b->Dirs[k].Attr) {
        fuzz::Fail("directory entry " + std::to_string(k) + " of '" + b->Name + "' changed");
      }
    }
  }
  return 0;
}
