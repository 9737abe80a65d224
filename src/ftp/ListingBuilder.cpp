#include "ftp/ListingBuilder.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>

#include "ftp/PathRules.h"
#include "platform/AsciiCase.h"

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

}  // namespace

std::string ListingBuilder::DetailedLine(const FileInfo& entry, int currentYear) {
  std::string permissions = "-rw-rw-rw-";
  if (entry.directory) permissions[0] = 'd';
  if (entry.readOnly) permissions[2] = permissions[5] = permissions[8] = '-';
  if (IsExecutableName(entry.name)) permissions[3] = permissions[6] = permissions[9] = 'x';

  const std::tm time = LocalTime(static_cast<std::time_t>(entry.mtime));
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
  return permissions + std::string(fields, length) + entry.name + "\r\n";
}

std::string ListingBuilder::Build(const std::string& currentDirectory, const std::string& dir,
                                  bool detailed) const {
  const int currentYear = LocalTime(std::time(nullptr)).tm_year + 1900;

  std::string pattern =
      dir.empty() ? currentDirectory + "*.*" : BuildFilePath(currentDirectory, dir);
  if (!pattern.empty() && pattern.back() == '\\') pattern += "*.*";

  std::string stream;
  if (addLinks) addLinks(stream);

  for (const FileInfo& entry : FileSystem::Enumerate(pattern)) {
    if (!detailed) {
      stream += entry.name + "\r\n";
      continue;
    }
    const bool hideHidden = checkHidden && checkHidden(pattern);
    if (hideHidden && entry.hidden) continue;
    stream += DetailedLine(entry, currentYear);
  }

  if (stream.empty()) stream = pattern + " not found\r\n";
  return stream;
}

}  // namespace orvane
