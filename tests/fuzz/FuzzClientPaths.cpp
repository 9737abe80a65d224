// The path rules and the rights checks on arbitrary client paths. Input: the argument of a CWD
// applied to the account's home, then a file argument (NUL-separated), then one byte that
// chooses the account's entries.
//
// Drive C is a scratch tree with the account's directory home/ and, beside it, directories an
// account on home/ must never reach: its case twin HOME/, homesecret/ (which starts with the
// same letters), and the parent of the drive root. Property: whatever a check grants lies in
// home/ or below, on disk, and a directory passed through lies above it.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "access/DirectoryRights.h"
#include "access/ResolvedPaths.h"
#include "ftp/ClientPaths.h"
#include "platform/FileSystem.h"

using namespace orvane;

namespace {

struct World {
  World() {
    root = dir.Path() + "/root";
    for (const char* d : {"/home/sub/deep", "/home/ro", "/HOME/sub", "/homesecret", "/Home2"}) {
      fuzz::MakeDirs(root + d);
    }
    fuzz::MakeDirs(dir.Path() + "/outside");
    fuzz::WriteFile(root + "/home/a.txt", "a");
    fuzz::WriteFile(root + "/HOME/a.txt", "twin");
    fuzz::WriteFile(root + "/homesecret/s.txt", "s");
    FileSystem::SetDriveMap({{'C', root}, {'D', dir.Path() + "/outside"}});
  }
  fuzz::ScratchDir dir;
  std::string root;
};

// Whether a granted path lies on disk in the account's tree.
void CheckInside(const World& world, const std::string& what, const std::string& winPath) {
  const std::optional<std::string> posix = FileSystem::ToPosix(WithBackslash(winPath));
  if (!posix) fuzz::Fail(what + " granted for " + winPath + ", which maps to no path");
  const std::string home = world.root + "/home/";
  if ((*posix + "/").compare(0, home.size(), home) != 0) {
    fuzz::Fail(what + " granted for " + winPath + ", which is " + *posix);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World world;
  fuzz::Fields fields(data, size);
  const std::string cwd = SlashesToBackSlashes(fields.Next());
  const std::string name = SlashesToBackSlashes(fields.Next());
  const std::string choice = fields.Rest();
  const int set = choice.empty() ? 0 : static_cast<unsigned char>(choice[0]) % 3;

  DirectoryRights::Entries entries;
  if (set == 0) {
    entries[0] = {"C:\\home", "RWDMLS"};
  } else if (set == 1) {
    entries[0] = {"c:\\home\\", "RWDML"};  // a lower-case drive and a backslash, without S
    entries[1] = {"C:\\home\\ro", "R---L"};
  } else {
    entries[0] = {"C:\\home\\sub", "RWDMLS"};
    entries[2] = {"C:\\home", "R"};  // after an empty entry: only an exact CWD counts
  }

  std::string directory = "C:\\home\\";
  try {
    directory = ApplyDirectory(directory, cwd);
  } catch (const FtpPathError&) {
    return 0;
  }
  const std::string resolvedDir = ResolveDirectoryPath(directory);
  if (resolvedDir.find("\\..\\") != std::string::npos) fuzz::Fail("'..' left in " + resolvedDir);
  if (DirectoryRights::DirAllowed(entries, resolvedDir)) CheckInside(world, "CWD", resolvedDir);
  // Passing through: only a directory on the way to the account's tree on disk (or in it).
  if (DirectoryRights::LeadsToEntry(entries, resolvedDir)) {
    const std::optional<std::string> posix = FileSystem::ToPosix(resolvedDir);
    const std::string above = posix ? (posix->back() == '/' ? *posix : *posix + "/") : "";
    const std::string home = world.root + "/home/";
    const bool isAbove = home.compare(0, above.size(), above) == 0;
    const bool isInside = above.compare(0, home.size(), home) == 0;
    if (above.empty() || (!isAbove && !isInside)) {
      fuzz::Fail("passing through " + resolvedDir + ", which is " + above);
    }
  }
  for (char letter : {'R', 'W', 'D', 'M', 'L'}) {
    if (DirectoryRights::Grants(entries, letter, resolvedDir)) {
      CheckInside(world, std::string("right ") + letter, resolvedDir);
    }
  }

  std::string filePath;
  try {
    filePath = BuildFilePath(directory, name);
  } catch (const FtpPathError&) {
    return 0;
  }
  const std::string resolved = ResolveFilePath(filePath);
  const std::string parent = DirectoryPart(resolved);
  for (char letter : {'R', 'D', 'M'}) {
    if (DirectoryRights::Grants(entries, letter, parent)) {
      CheckInside(world, std::string("file right ") + letter, parent);
    }
  }
  for (bool replaces : {false, true}) {
    if (DirectoryRights::PutAllowed(entries, resolved, replaces)) {
      CheckInside(world, "upload", parent);
    }
  }
  return 0;
}
