#include "platform/IniFile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <limits>
#include <memory>
#include <string_view>
#include <utility>

#include "platform/AsciiCase.h"
#include "platform/FileSystem.h"
#include "platform/UniqueFd.h"

namespace orvane {
namespace {

constexpr std::string_view kNewLine = "\r\n";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// What one line of the file is, judged as the private-profile reader does.
struct Parsed {
  enum class Kind { Other, Header, Entry } kind = Kind::Other;
  std::string_view name;       // section name or key, as spelled (key trimmed)
  std::string_view value;      // entry value, trimmed
  std::size_t valueStart = 0;  // offset of the value in the line text (after "=" and blanks)
};

Parsed ParseLine(std::string_view text, bool firstLine) {
  Parsed parsed;
  std::size_t start = 0;
  if (firstLine && text.substr(0, kUtf8Bom.size()) == kUtf8Bom) start = kUtf8Bom.size();
  while (start < text.size() && IsBlank(text[start])) ++start;
  if (start == text.size() || text[start] == ';') return parsed;
  if (text[start] == '[') {
    std::size_t close = text.find(']', start + 1);
    if (close != std::string_view::npos) {
      parsed.kind = Parsed::Kind::Header;
      parsed.name = text.substr(start + 1, close - start - 1);
    }
    return parsed;
  }
  std::size_t equals = text.find('=', start);
  if (equals == std::string_view::npos) return parsed;
  parsed.kind = Parsed::Kind::Entry;
  parsed.name = Trim(text.substr(start, equals - start));
  std::size_t valueStart = equals + 1;
  while (valueStart < text.size() && IsBlank(text[valueStart])) ++valueStart;
  parsed.valueStart = valueStart;
  parsed.value = Trim(text.substr(valueStart));
  return parsed;
}

bool ValidSectionName(const std::string& name) {
  return !name.empty() && name.find_first_of("]\r\n") == std::string::npos;
}

bool ValidKeyName(const std::string& key) {
  std::string_view trimmed = Trim(key);
  return !trimmed.empty() && key.find_first_of("=\r\n") == std::string::npos &&
         trimmed.front() != ';' && trimmed.front() != '[';
}

std::string WithoutLineBreaks(const std::string& value) {
  std::string result;
  result.reserve(value.size());
  for (char c : value) {
    if (c != '\r' && c != '\n') result.push_back(c);
  }
  return result;
}

// Directory part of a POSIX path, for the temporary file and the directory sync.
std::string DirectoryOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

IniFile::ReadObserver& Observer() {
  static IniFile::ReadObserver observer;
  return observer;
}

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

IniFile::IniFile(std::string posixPath) : path_(std::move(posixPath)) {
  Reload();
}

void IniFile::Reload() {
  std::vector<Line> lines;
  readError_ = 0;
  missing_ = false;
  if (!Load(lines)) {
    readError_ = errno != 0 ? errno : EIO;
    lines.clear();
  } else if (lines.empty()) {
    struct stat st {};
    missing_ = ::stat(path_.c_str(), &st) != 0;
  }
  SetLines(std::move(lines));
}

void IniFile::SetReadObserver(ReadObserver observer) {
  Observer() = std::move(observer);
}

void IniFile::Observe(const std::string& section, const std::string& key) const {
  if (Observer()) Observer()(path_, section, key);
}

std::vector<std::size_t> IniFile::IgnoredLines() const {
  std::vector<std::size_t> ignored;
  bool inSection = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const std::string& text = lines_[i].text;
    const Parsed parsed = ParseLine(text, i == 0);
    if (parsed.kind == Parsed::Kind::Header) {
      inSection = true;
      continue;
    }
    if (parsed.kind == Parsed::Kind::Entry && inSection) continue;
    std::string_view rest = text;
    if (i == 0 && rest.substr(0, kUtf8Bom.size()) == kUtf8Bom) rest.remove_prefix(kUtf8Bom.size());
    rest = Trim(rest);
    if (rest.empty() || rest.front() == ';') continue;
    ignored.push_back(i + 1);
  }
  return ignored;
}

std::size_t IniFile::LineOf(const std::string& section, const std::string& key) const {
  const Entry* entry = FindEntry(section, key);
  return entry == nullptr ? 0 : entry->line + 1;
}

bool IniFile::Load(std::vector<Line>& lines) const {
  lines.clear();
  UniqueFd fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (!fd) {
    if (errno == ENOENT || errno == ENOTDIR) return true;
    FileSystem::SetLastError(errno);
    return false;
  }
  std::string data;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      FileSystem::SetLastError(errno);
      return false;
    }
    if (n == 0) break;
    data.append(buffer, static_cast<std::size_t>(n));
  }
  std::size_t pos = 0;
  while (pos < data.size()) {
    std::size_t lf = data.find('\n', pos);
    if (lf == std::string::npos) {
      lines.push_back({data.substr(pos), ""});
      break;
    }
    bool crlf = lf > pos && data[lf - 1] == '\r';
    std::size_t textEnd = crlf ? lf - 1 : lf;
    lines.push_back({data.substr(pos, textEnd - pos), crlf ? "\r\n" : "\n"});
    pos = lf + 1;
  }
  return true;
}

void IniFile::SetLines(std::vector<Line> lines) {
  lines_ = std::move(lines);
  sections_.clear();
  bySection_.clear();
  Section* current = nullptr;  // the section being read, or null when its name is a duplicate
  bool inSection = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    Parsed parsed = ParseLine(lines_[i].text, i == 0);
    if (parsed.kind == Parsed::Kind::Header) {
      if (current != nullptr) current->end = i;
      inSection = true;
      std::string folded = AsciiLower(parsed.name);
      if (bySection_.count(folded) != 0) {
        current = nullptr;
        continue;
      }
      bySection_.emplace(std::move(folded), sections_.size());
      Section section;
      section.name = std::string(parsed.name);
      section.header = i;
      section.end = lines_.size();
      sections_.push_back(std::move(section));
      current = &sections_.back();
    } else if (parsed.kind == Parsed::Kind::Entry && inSection && current != nullptr) {
      std::string folded = AsciiLower(parsed.name);
      if (current->byKey.count(folded) != 0) continue;
      current->byKey.emplace(std::move(folded), current->entries.size());
      current->entries.push_back({std::string(parsed.name), std::string(parsed.value), i});
    }
  }
  if (current != nullptr) current->end = lines_.size();
}

const IniFile::Section* IniFile::FindSection(const std::string& section) const {
  auto it = bySection_.find(AsciiLower(section));
  return it == bySection_.end() ? nullptr : &sections_[it->second];
}

const IniFile::Entry* IniFile::FindEntry(const std::string& section, const std::string& key) const {
  const Section* found = FindSection(section);
  if (found == nullptr) return nullptr;
  auto it = found->byKey.find(AsciiLower(std::string(Trim(key))));
  return it == found->byKey.end() ? nullptr : &found->entries[it->second];
}

bool IniFile::SectionExists(const std::string& section) const {
  return FindSection(section) != nullptr;
}

bool IniFile::KeyExists(const std::string& section, const std::string& key) const {
  Observe(section, key);
  return FindEntry(section, key) != nullptr;
}

std::vector<std::string> IniFile::Sections() const {
  std::vector<std::string> names;
  names.reserve(sections_.size());
  for (const Section& section : sections_) names.push_back(section.name);
  return names;
}

std::vector<std::string> IniFile::Keys(const std::string& section) const {
  Observe(section, "");
  std::vector<std::string> keys;
  if (const Section* found = FindSection(section)) {
    keys.reserve(found->entries.size());
    for (const Entry& entry : found->entries) keys.push_back(entry.key);
  }
  return keys;
}

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& def) const {
  Observe(section, key);
  const Entry* entry = FindEntry(section, key);
  if (entry == nullptr) return def;
  return entry->value.substr(0, kMaxValueLength);
}

bool IniFile::ParseInteger(const std::string& text, int64_t minValue, int64_t maxValue,
                           int64_t& result) {
  std::string_view value = Trim(text);
  if (value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
    uint64_t magnitude = 0;
    for (char c : value.substr(2)) {
      int digit;
      if (c >= '0' && c <= '9') {
        digit = c - '0';
      } else if (c >= 'a' && c <= 'f') {
        digit = c - 'a' + 10;
      } else if (c >= 'A' && c <= 'F') {
        digit = c - 'A' + 10;
      } else {
        return false;
      }
      if (magnitude > (static_cast<uint64_t>(maxValue) >> 4)) return false;
      magnitude = magnitude * 16 + static_cast<uint64_t>(digit);
    }
    if (magnitude > static_cast<uint64_t>(maxValue)) return false;
    result = static_cast<int64_t>(magnitude);
    return true;
  }
  bool negative = false;
  if (!value.empty() && (value.front() == '+' || value.front() == '-')) {
    negative = value.front() == '-';
    value.remove_prefix(1);
  }
  if (value.empty()) return false;
  // Accumulate the magnitude in unsigned arithmetic; the negative limit is one larger.
  uint64_t limit =
      negative ? static_cast<uint64_t>(-(minValue + 1)) + 1 : static_cast<uint64_t>(maxValue);
  uint64_t magnitude = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return false;
    uint64_t digit = static_cast<uint64_t>(c - '0');
    if (magnitude > (limit - digit) / 10) return false;
    magnitude = magnitude * 10 + digit;
  }
  if (negative) {
    result = magnitude == 0 ? 0 : -static_cast<int64_t>(magnitude - 1) - 1;
  } else {
    result = static_cast<int64_t>(magnitude);
  }
  return true;
}

int32_t IniFile::ReadInteger(const std::string& section, const std::string& key,
                             int32_t def) const {
  Observe(section, key);
  const Entry* entry = FindEntry(section, key);
  if (entry == nullptr) return def;
  int64_t value = 0;
  if (!ParseInteger(entry->value.substr(0, kMaxValueLength), std::numeric_limits<int32_t>::min(),
                    std::numeric_limits<int32_t>::max(), value)) {
    return def;
  }
  return static_cast<int32_t>(value);
}

int64_t IniFile::ReadInt64(const std::string& section, const std::string& key, int64_t def) const {
  Observe(section, key);
  const Entry* entry = FindEntry(section, key);
  if (entry == nullptr) return def;
  int64_t value = 0;
  if (!ParseInteger(entry->value.substr(0, kMaxValueLength), std::numeric_limits<int64_t>::min(),
                    std::numeric_limits<int64_t>::max(), value)) {
    return def;
  }
  return value;
}

bool IniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool IniFile::WriteString(const std::string& section, const std::string& key,
                          const std::string& value) {
  return WriteStrings(section, {{key, value}});
}

bool IniFile::WriteStrings(const std::string& section,
                           const std::vector<std::pair<std::string, std::string>>& values) {
  if (!ValidSectionName(section)) {
    FileSystem::SetLastError(EINVAL);
    return false;
  }
  for (const auto& [key, value] : values) {
    if (!ValidKeyName(key)) {
      FileSystem::SetLastError(EINVAL);
      return false;
    }
  }
  std::vector<Line> lines;
  if (!Load(lines)) return false;
  const std::vector<Line> original = lines;
  SetLines(std::move(lines));
  for (const auto& [key, value] : values) {
    // Each key is placed in the file as the keys before it left it.
    lines = lines_;
    std::string cleanValue = WithoutLineBreaks(value);
    const Section* found = FindSection(section);
    if (const Entry* entry = FindEntry(section, key)) {
      Line& line = lines[entry->line];
      std::size_t valueStart = ParseLine(line.text, entry->line == 0).valueStart;
      line.text = line.text.substr(0, valueStart) + cleanValue;
    } else if (found != nullptr) {
      // After the last entry line of the section, so trailing blank lines and comments that
      // lead into the next section stay where they are.
      std::size_t after = found->header;
      for (std::size_t i = found->header + 1; i < found->end; ++i) {
        if (ParseLine(lines[i].text, i == 0).kind == Parsed::Kind::Entry) after = i;
      }
      if (lines[after].end.empty()) lines[after].end = kNewLine;
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(after) + 1,
                   Line{std::string(Trim(key)) + "=" + cleanValue, std::string(kNewLine)});
    } else {
      if (!lines.empty() && lines.back().end.empty()) lines.back().end = kNewLine;
      lines.push_back({"[" + section + "]", std::string(kNewLine)});
      lines.push_back({std::string(Trim(key)) + "=" + cleanValue, std::string(kNewLine)});
    }
    SetLines(std::move(lines));
  }
  lines = lines_;
  if (!Store(lines)) {
    // The file keeps what it had, and so does this object's view of it.
    SetLines(original);
    return false;
  }
  return true;
}

bool IniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
  return WriteString(section, key, std::to_string(value));
}

bool IniFile::WriteInt64(const std::string& section, const std::string& key, int64_t value) {
  return WriteString(section, key, std::to_string(value));
}

bool IniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  return WriteString(section, key, value ? "1" : "0");
}

bool IniFile::EraseSection(const std::string& section) {
  std::vector<Line> lines;
  if (!Load(lines)) return false;
  SetLines(std::move(lines));
  if (FindSection(section) == nullptr) return true;

  std::vector<Line> kept;
  kept.reserve(lines_.size());
  bool erasing = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    Parsed parsed = ParseLine(lines_[i].text, i == 0);
    if (parsed.kind == Parsed::Kind::Header) {
      erasing = EqualsIgnoreAsciiCase(parsed.name, section);
    }
    if (!erasing) kept.push_back(lines_[i]);
  }
  if (!Store(kept)) return false;
  SetLines(std::move(kept));
  return true;
}

bool IniFile::DeleteKey(const std::string& section, const std::string& key) {
  std::vector<Line> lines;
  if (!Load(lines)) return false;
  SetLines(std::move(lines));
  const Section* found = FindSection(section);
  if (found == nullptr || FindEntry(section, key) == nullptr) return true;

  std::string_view wanted = Trim(key);
  std::vector<Line> kept;
  kept.reserve(lines_.size());
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (i > found->header && i < found->end) {
      Parsed parsed = ParseLine(lines_[i].text, i == 0);
      if (parsed.kind == Parsed::Kind::Entry && EqualsIgnoreAsciiCase(parsed.name, wanted)) {
        continue;
      }
    }
    kept.push_back(lines_[i]);
  }
  if (!Store(kept)) return false;
  SetLines(std::move(kept));
  return true;
}

bool IniFile::Store(const std::vector<Line>& lines) {
  // Write to the file a symbolic link points at, not over the link.
  std::string target = path_;
  std::unique_ptr<char, decltype(&::free)> real(::realpath(path_.c_str(), nullptr), &::free);
  if (real) target = real.get();

  struct stat existing {};
  bool exists = ::stat(target.c_str(), &existing) == 0;
  if (exists && (existing.st_mode & S_IWUSR) == 0) {
    FileSystem::SetLastError(EACCES);
    return false;
  }

  static std::atomic<unsigned> counter{0};
  std::string temp;
  UniqueFd fd;
  for (int attempt = 0; attempt < 100 && !fd; ++attempt) {
    temp = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    fd.Reset(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600));
    if (!fd && errno != EEXIST) break;
  }
  if (!fd) {
    FileSystem::SetLastError(errno);
    return false;
  }

  std::string data;
  for (const Line& line : lines) {
    data += line.text;
    data += line.end;
  }
  bool ok = WriteAll(fd.Get(), data);
  // SECURITY: settings files may hold passwords: readable and writable by their owner only
  // (0600), or stricter where the operator made the file so.
  ok = ok && ::fchmod(fd.Get(), exists ? (existing.st_mode & 0600) : 0600) == 0;
  if (ok && exists) {
    // Keep the original file's owner where we may set it.
    if (ok && ::fchown(fd.Get(), existing.st_uid, existing.st_gid) != 0) {
      // Only a privileged writer may give the file away; otherwise it becomes the writer's own.
    }
  }
  ok = ok && ::fsync(fd.Get()) == 0;
  int closeResult = fd.Close();
  ok = ok && closeResult == 0;
  ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    FileSystem::SetLastError(errno);
    ::unlink(temp.c_str());
    return false;
  }
  UniqueFd directory(::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory) ::fsync(directory.Get());
  return true;
}

}  // namespace orvane
