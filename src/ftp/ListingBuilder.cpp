#include "ftp/ListingBuilder.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <ctime>

#include "ftp/ClientPaths.h"
#include "platform/AsciiCase.h"
#include "platform/Wildcard.h"

namespace orvane {

namespace {

const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Names with these extensions are shown as executable.
bool IsExecutableName(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string extension = AsciiUpper(std::string_view(name).substr(dot));
  return extension == ".EXE" || extension == ".COM" || extension == ".BAT";
}

std::tm LocalTime(std::time_t t) {
  std::tm result{};
  if (localtime_r(&t, &result) == nullptr) {
    // Out of the range the C library can convert: show the epoch rather than garbage.
    std::time_t epoch = 0;
    localtime_r(&epoch, &result);
  }
  return result;
}

std::tm UtcTime(std::time_t t) {
  std::tm result{};
  if (gmtime_r(&t, &result) == nullptr) {
    std::time_t epoch = 0;
    gmtime_r(&epoch, &result);
  }
  return result;
}

int CurrentYear(bool utc) {
  const std::time_t now = std::time(nullptr);
  return (utc ? UtcTime(now) : LocalTime(now)).tm_year + 1900;
}

// "drwxr-x---" from the entry's mode bits on disk, with set-id and sticky bits as ls shows them.
std::string ModeText(const FileInfo& entry) {
  std::string text = "----------";
  text[0] = entry.danglingLink ? 'l' : entry.directory ? 'd' : '-';
  const char letters[] = "rwxrwxrwx";
  for (int bit = 0; bit < 9; ++bit) {
    if (entry.mode & (0400u >> bit)) text[1 + bit] = letters[bit];
  }
  auto special = [&](unsigned flag, int pos, char withX, char withoutX) {
    if (entry.mode & flag) text[pos] = text[pos] == 'x' ? withX : withoutX;
  };
  special(04000u, 3, 's', 'S');
  special(02000u, 6, 's', 'S');
  special(01000u, 9, 't', 'T');
  return text;
}

}  // namespace

std::string ListingBuilder::DetailedLine(const FileInfo& entry, int currentYear) {
  return DetailedLine(entry, currentYear, ListingStyle());
}

std::string ListingBuilder::DetailedLine(const FileInfo& entry, int currentYear,
                                         const ListingStyle& style) {
  std::string permissions = "-rw-rw-rw-";
  if (style.diskModes) {
    permissions = ModeText(entry);
  } else {
    if (entry.directory) permissions[0] = 'd';
    if (entry.readOnly) permissions[2] = permissions[5] = permissions[8] = '-';
    if (IsExecutableName(entry.name)) permissions[3] = permissions[6] = permissions[9] = 'x';
  }

  const std::tm time = style.utcTimes ? UtcTime(static_cast<std::time_t>(entry.mtime))
                                      : LocalTime(static_cast<std::time_t>(entry.mtime));
  const int year = time.tm_year + 1900;

  // Large enough for the widest 64-bit size and any year localtime_r can return.
  char fields[96];
  int length = std::snprintf(fields, sizeof fields, "   1 ftp      ftp  %11" PRId64 " %s %2.2d ",
                             entry.size, kMonths[time.tm_mon], time.tm_mday);
  if (year == currentYear) {
    length += std::snprintf(fields + length, sizeof fields - length, "%2.2d:%2.2d ", time.tm_hour,
                            time.tm_min);
  } else {
    length += std::snprintf(fields + length, sizeof fields - length, "%5d ", year);
  }
  std::string name = entry.name;
  if (style.diskModes && entry.danglingLink) name += " -> " + entry.linkTarget;
  return permissions + std::string(fields, length) + name + "\r\n";
}

std::string ListingBuilder::Build(const std::string& currentDirectory, const std::string& dir,
                                  bool detailed) const {
  const int currentYear = CurrentYear(style.utcTimes);

  const std::string pattern = Pattern(currentDirectory, dir);

  std::string stream;
  if (addLinks) addLinks(stream);

  bool found = false;
  for (const FileInfo& entry : FileSystem::Enumerate(pattern)) {
    found = true;
    if (!detailed) {
      if (style.leavesOutDots && (entry.name == "." || entry.name == "..")) continue;
      stream += namePrefix + entry.name + "\r\n";
      continue;
    }
    const bool hideHidden = checkHidden && checkHidden(pattern);
    if (hideHidden && entry.hidden) continue;
    stream += DetailedLine(entry, currentYear, style);
  }

  if (stream.empty() && style.emptyWhenNothing) {
    const std::size_t separator = pattern.find_last_of('\\');
    const std::string mask = pattern.substr(separator + 1);
    if (!found && (!HasWildcard(mask) ||
                   !FileSystem::DirectoryExists(pattern.substr(0, separator + 1)))) {
      throw ListingNotFound();
    }
    return stream;
  }
  if (stream.empty()) stream = pattern + " not found\r\n";
  return stream;
}

std::string ListingBuilder::Pattern(const std::string& currentDirectory, const std::string& dir) {
  std::string pattern =
      dir.empty() ? currentDirectory + "*.*" : BuildFilePath(currentDirectory, dir);
  if (!pattern.empty() && pattern.back() == '\\') pattern += "*.*";
  return pattern;
}

std::string ListingBuilder::ListedDirectory(const std::string& currentDirectory,
                                            const std::string& dir) {
  const std::string pattern = Pattern(currentDirectory, dir);
  return pattern.substr(0, pattern.rfind('\\') + 1);
}

std::string ListingBuilder::FactsFromLinkLines(const std::string& lines) {
  std::string stream;
  size_t start = 0;
  while (start < lines.size()) {
    size_t end = lines.find('\n', start);
    if (end == std::string::npos) end = lines.size();
    stream += FactsFromLinkLine(lines.substr(start, end - start));
    start = end + 1;
  }
  return stream;
}

std::string ListingBuilder::UtcTimestamp(int64_t mtime) {
  const std::time_t t = static_cast<std::time_t>(mtime);
  std::tm time{};
  if (gmtime_r(&t, &time) == nullptr) {
    const std::time_t epoch = 0;
    gmtime_r(&epoch, &time);
  }
  char text[32];
  std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", time.tm_year + 1900, time.tm_mon + 1,
                time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec);
  return text;
}

bool ListingBuilder::ParseUtcTimestamp(const std::string& text, int64_t& mtime) {
  // Fractions of a second ("20260307130500.123") are allowed and dropped.
  const std::string digits = text.substr(0, text.find('.'));
  if (digits.size() != 14) return false;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
  }
  auto field = [&](size_t pos, size_t len) { return std::stoi(digits.substr(pos, len)); };
  std::tm time{};
  time.tm_year = field(0, 4) - 1900;
  time.tm_mon = field(4, 2) - 1;
  time.tm_mday = field(6, 2);
  time.tm_hour = field(8, 2);
  time.tm_min = field(10, 2);
  time.tm_sec = field(12, 2);
  if (time.tm_mon < 0 || time.tm_mon > 11 || time.tm_mday < 1 || time.tm_mday > 31 ||
      time.tm_hour > 23 || time.tm_min > 59 || time.tm_sec > 60) {
    return false;
  }
  mtime = static_cast<int64_t>(timegm(&time));
  return true;
}

std::string ListingBuilder::FactsLine(const FileInfo& entry, const std::string& name) const {
  std::string line = entry.directory ? "type=dir;" : "type=file;";
  if (!entry.directory) line += "size=" + std::to_string(entry.size) + ";";
  line += "modify=" + UtcTimestamp(entry.mtime) + ";";
  if (permOf) line += "perm=" + permOf(entry) + ";";
  return line + " " + name + "\r\n";
}

std::string ListingBuilder::FactsFromLinkLine(const std::string& line) {
  // The name follows eight blank-separated fields; " -> target" and the line end are dropped.
  size_t pos = 0;
  for (int field = 0; field < 8; ++field) {
    while (pos < line.size() && line[pos] == ' ') ++pos;
    while (pos < line.size() && line[pos] != ' ') ++pos;
  }
  if (pos < line.size()) ++pos;
  std::string name = line.substr(std::min(pos, line.size()));
  const size_t arrow = name.find(" -> ");
  if (arrow != std::string::npos) name.erase(arrow);
  while (!name.empty() && (name.back() == '\r' || name.back() == '\n')) name.pop_back();
  if (name.empty()) return "";
  return "type=dir;perm=el; " + name + "\r\n";
}

std::string ListingBuilder::BuildFacts(const std::string& currentDirectory,
                                       const std::string& dir) const {
  const std::string pattern = Pattern(currentDirectory, dir);

  std::string stream;
  if (addLinks) {
    std::string links;
    addLinks(links);
    stream = FactsFromLinkLines(links);
  }
  const bool hideHidden = checkHidden && checkHidden(pattern);
  for (const FileInfo& entry : FileSystem::Enumerate(pattern)) {
    if (entry.name == "." || entry.name == ".." || entry.danglingLink) continue;
    if (hideHidden && entry.hidden) continue;
    stream += FactsLine(entry, entry.name);
  }
  return stream;
}

}  // namespace orvane
