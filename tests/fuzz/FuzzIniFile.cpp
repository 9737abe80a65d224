// The INI reader and writer on arbitrary file contents. Input: the file's bytes, then after a
// NUL a section, a key and a value (NUL-separated) that are written into it. Properties: reading
// never fails, and a write that reports success reads back as the value it stored.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "platform/IniFile.h"

using namespace orvane;

namespace {

std::string Trimmed(std::string value) {
  std::string kept;
  for (char c : value) {
    if (c != '\r' && c != '\n') kept += c;
  }
  const std::size_t first = kept.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  kept = kept.substr(first, kept.find_last_not_of(" \t") - first + 1);
  if (kept.size() > IniFile::kMaxValueLength) kept.resize(IniFile::kMaxValueLength);
  return kept;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::ScratchDir dir;
  const std::string path = dir.Path() + "/FTPsrv.ini";
  fuzz::Fields fields(data, size);
  fuzz::WriteFile(path, fields.Next());
  const std::string section = fields.Next();
  const std::string key = fields.Next();
  const std::string value = fields.Next();

  IniFile ini(path);
  for (const std::string& s : ini.Sections()) {
    for (const std::string& k : ini.Keys(s)) {
      if (!ini.KeyExists(s, k)) fuzz::Fail("listed key does not exist: [" + s + "] " + k);
      (void)ini.ReadString(s, k, "");
      (void)ini.ReadInteger(s, k, 7);
      (void)ini.ReadInt64(s, k, 7);
      (void)ini.ReadBool(s, k, false);
    }
  }
  if (ini.WriteString(section, key, value)) {
    IniFile again(path);
    const std::string read = again.ReadString(section, key, "<missing>");
    // Blanks around a value are not kept by the format; anything else must come back.
    if (read != Trimmed(value)) {
      fuzz::Fail("written [" + section + "] " + key + "=" + value + " reads back as " + read);
    }
  }
  return 0;
}
