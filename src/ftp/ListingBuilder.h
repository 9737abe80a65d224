#pragma once

// Builds the text of a LIST (UNIX long listing style) or NLST (bare names) directory listing.
// It knows nothing of sessions or sockets: the engine supplies the current directory, the
// client's argument and its hooks, and sends the returned text over the data connection.

#include <functional>
#include <stdexcept>
#include <string>

#include "ftp/ListingStyle.h"
#include "platform/FileSystem.h"

namespace orvane {

// A listing argument without wildcards that names nothing on disk (and no link line was
// written): today's clients read the 550 that follows as "no such file".
class ListingNotFound : public std::runtime_error {
 public:
  ListingNotFound() : std::runtime_error("No such file or directory") {}
};

class ListingBuilder {
 public:
  // The form of LIST lines and NLST names (the original form by default).
  ListingStyle style;
  // Written before every NLST name: the directory part of the client's argument ("sub/" for
  // "NLST sub" or "NLST sub/*.txt"), so that each name can be fetched as it is given.
  std::string namePrefix;

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

  // The perm fact of an entry of an MLSD/MLST listing (RFC 3659 letters). May be empty (no perm
  // fact is written).
  std::function<std::string(const FileInfo& entry)> permOf;

  // The MLSD listing of `dir` (as for Build; a directory argument lists its contents): one
  // FactsLine per entry, "." and ".." left out, hidden entries left out as in LIST, and the
  // host's link lines turned into directory entries. Throws FtpPathError as Build does.
  std::string BuildFacts(const std::string& currentDirectory, const std::string& dir) const;

  // "type=file;size=42;modify=20260307130500;perm=r; a.txt" with CR LF; `name` is written as
  // given (MLST names the full path).
  std::string FactsLine(const FileInfo& entry, const std::string& name) const;

  // A link line of the host ("lrwxr-xr-x ... 1980 name -> \r\n") as an MLSD entry of a
  // directory the client may enter; empty when the line holds no name.
  static std::string FactsFromLinkLine(const std::string& line);

  // The search pattern of a listing of `dir` from `currentDirectory`, and the local directory
  // (with its closing "\\") that the pattern enumerates.
  static std::string Pattern(const std::string& currentDirectory, const std::string& dir);
  static std::string ListedDirectory(const std::string& currentDirectory, const std::string& dir);
  // The host's link lines (LIST form) as MLSD entries.
  static std::string FactsFromLinkLines(const std::string& lines);

  // "YYYYMMDDHHMMSS" of a modification time in UTC, as MDTM and the modify fact give it.
  static std::string UtcTimestamp(int64_t mtime);
  // The reverse, for MFMT; false for a text that is not 14 digits of a valid time.
  static bool ParseUtcTimestamp(const std::string& text, int64_t& mtime);

  // One LIST line with CR LF, for example
  // "-rw-rw-rw-   1 ftp      ftp           42 Mar 07 13:05 a.txt\r\n"; entries modified in
  // `currentYear` show hour and minute, others the year.
  static std::string DetailedLine(const FileInfo& entry, int currentYear);
  // The same line in a listing style: UTC or local time, fixed or disk mode bits. A dangling
  // symbolic link is shown as a link ("lrwxrwxrwx ... name -> target") with disk modes.
  static std::string DetailedLine(const FileInfo& entry, int currentYear,
                                  const ListingStyle& style);
};

}  // namespace orvane
