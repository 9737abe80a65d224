#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace orvane {

// An INI file with the reading and writing rules of the Windows private-profile functions, on a
// POSIX path.
//
// Reading: "[name]" lines open sections; "key=value" lines inside a section are entries; lines
// starting with ";" are comments; lines outside any section, and lines without "=", are ignored.
// Section and key names compare without regard to ASCII letter case; the first occurrence of a
// duplicated section or key is the one read. A value is the text after the first "=" with blanks
// trimmed on both sides, cut at kMaxValueLength characters. Lines end with CR LF or LF.
// A missing, unreadable or malformed file reads as a file without sections; nothing throws.
//
// Writing: every write reads the file again, changes the one line(s) concerned and writes the
// whole file through a temporary file that is renamed over the original, so the file is never
// left half written. Every other byte of the file stays as it was. New lines end with CR LF.
// A file whose owner write bit is clear is read-only: writes to it fail, as on Windows.
class IniFile {
 public:
  static constexpr std::size_t kMaxValueLength = 1023;

  explicit IniFile(std::string posixPath);

  const std::string& Path() const { return path_; }

  // The errno of the last read of the file: 0 when it was read or does not exist.
  int ReadError() const { return readError_; }
  // Whether the last read found no file of that name.
  bool Missing() const { return missing_; }
  // 1-based numbers of the lines the reader passes over: lines that are neither blank, a
  // comment, a section header nor a key=value entry inside a section.
  std::vector<std::size_t> IgnoredLines() const;
  // 1-based number of the line that holds the key read, or 0 when the key is missing.
  std::size_t LineOf(const std::string& section, const std::string& key) const;

  // Called with the file's path, the section and the key at every read of a key (and with an
  // empty key when a section's keys are listed), so that a test can see which keys a program
  // reads. Empty: no observer.
  using ReadObserver = std::function<void(const std::string& path, const std::string& section,
                                          const std::string& key)>;
  static void SetReadObserver(ReadObserver observer);

  // Reads the file again, dropping what was read before.
  void Reload();

  bool SectionExists(const std::string& section) const;
  bool KeyExists(const std::string& section, const std::string& key) const;
  // Section names as spelled at their first occurrence, in file order, each once.
  std::vector<std::string> Sections() const;
  // Key names of the section as spelled at their first occurrence, in file order, each once.
  std::vector<std::string> Keys(const std::string& section) const;

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& def) const;
  // Decimal with optional sign and surrounding blanks, or hexadecimal after "0x"/"0X" (a value of
  // more than two characters). Anything else, or a value out of range, gives def.
  int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def) const;
  int64_t ReadInt64(const std::string& section, const std::string& key, int64_t def) const;
  // An integer read with 1 or 0 as default; any non-zero value is true.
  bool ReadBool(const std::string& section, const std::string& key, bool def) const;

  // Sets the key's value: in place when the key exists, else as a new line at the end of the
  // section, else in a new section at the end of the file (created when missing). CR and LF in
  // the value are dropped so a value cannot add lines. Returns false (and writes nothing) when
  // a name cannot be stored (empty, CR/LF, a key with "=" or starting with ";" or "[", a section
  // with "]") or on an I/O failure.
  bool WriteString(const std::string& section, const std::string& key, const std::string& value);
  // Several keys of one section set as WriteString sets each, in order, with one write of the
  // file: a caller that stores a group of values (the statistics) pays one replacement and one
  // fsync instead of one per key. Nothing is written when a name cannot be stored.
  bool WriteStrings(const std::string& section,
                    const std::vector<std::pair<std::string, std::string>>& values);
  bool WriteInteger(const std::string& section, const std::string& key, int32_t value);
  bool WriteInt64(const std::string& section, const std::string& key, int64_t value);
  // Written as "1" or "0".
  bool WriteBool(const std::string& section, const std::string& key, bool value);

  // Removes every occurrence of the section with all its lines. True when nothing was there.
  bool EraseSection(const std::string& section);
  // Removes the key's lines from the section read. True when nothing was there.
  bool DeleteKey(const std::string& section, const std::string& key);

  // Parses an integer value by the rules of ReadInt64; false when it is not a number in range.
  static bool ParseInteger(const std::string& text, int64_t minValue, int64_t maxValue,
                           int64_t& result);

 private:
  struct Line {
    std::string text;  // without its line end
    std::string end;   // "\r\n", "\n" or "" (last line without one)
  };

  struct Entry {
    std::string key;  // as spelled
    std::string value;
    std::size_t line = 0;
  };

  struct Section {
    std::string name;  // as spelled
    std::size_t header = 0;
    std::size_t end = 0;         // one past its last line: the next header or the end of the file
    std::vector<Entry> entries;  // first occurrences, file order
    std::unordered_map<std::string, std::size_t> byKey;  // folded key -> index in entries
  };

  // Reads the file into lines; missing = empty. False on any other read failure.
  bool Load(std::vector<Line>& lines) const;
  void SetLines(std::vector<Line> lines);
  bool Store(const std::vector<Line>& lines);
  const Section* FindSection(const std::string& section) const;
  const Entry* FindEntry(const std::string& section, const std::string& key) const;

  void Observe(const std::string& section, const std::string& key) const;

  std::string path_;
  int readError_ = 0;
  bool missing_ = false;
  std::vector<Line> lines_;
  std::vector<Section> sections_;                           // first occurrences, file order
  std::unordered_map<std::string, std::size_t> bySection_;  // folded name -> index in sections_
};

}  // namespace orvane
