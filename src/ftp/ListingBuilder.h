#pragma once

// Builds the text of a LIST (UNIX long listing style) or NLST (bare names) directory listing.
// It knows nothing of sessions or sockets: the engine supplies the current directory, the
// client's argument and its hooks, and sends the returned text over the data connection.

#include <functional>
#include <string>

#include "platform/FileSystem.h"

namespace orvane {

class ListingBuilder {
 public:
  // The host writes its own lines (virtual links) at the top of every listing. May be empty.
  std::function<void(std::string& stream)> addLinks;
  // Asked once per entry of a LIST listing with the search pattern; true leaves out the entries
  // that carry the hidden attribute. May be empty (nothing is left out).
  std::function<bool(const std::string& pattern)> checkHidden;

  // The listing of `dir` (the client's argument with "/" already turned into "\"; empty lists the
  // current directory) relative to `currentDirectory`. An argument naming a directory without a
  // closing "\" lists that directory's own entry; a trailing "\" lists its contents. When nothing
  // at all is written the listing is the single line "<pattern> not found". Throws FtpPathError
  // when the argument cannot be resolved.
  std::string Build(const std::string& currentDirectory, const std::string& dir,
                    bool detailed) const;

  // One LIST line with CR LF, for example
  // "-rw-rw-rw-   1 ftp      ftp           42 Mar 07 13:05 a.txt\r\n"; entries modified in
  // `currentYear` show hour and minute, others the year.
  static std::string DetailedLine(const FileInfo& entry, int currentYear);
};

}  // namespace orvane
