// The listing builder on arbitrary arguments and current directories, and its line format on
// arbitrary entries. Input: a CWD argument applied to C:\, the LIST argument, one byte for
// detailed or bare names; then (NUL-separated) a name, a size and a time for one listing line.
//
// Drive C is a scratch tree; a sentinel file lies beside it. Properties: no listing names the
// sentinel, every listing is CR LF terminated lines, and a listing line ends with its name.
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "ftp/ClientPaths.h"
#include "ftp/ListingBuilder.h"
#include "platform/FileSystem.h"

using namespace orvane;

namespace {

struct World {
  World() {
    const std::string root = dir.Path() + "/root";
    fuzz::MakeDirs(root + "/pub/sub");
    fuzz::MakeDirs(root + "/Pub2");
    fuzz::WriteFile(root + "/pub/a.txt", "a");
    fuzz::WriteFile(root + "/pub/run.EXE", "x");
    fuzz::WriteFile(root + "/pub/with space.txt", "s");
    fuzz::WriteFile(root + "/pub/.hidden", "h");
    fuzz::WriteFile(root + "/top.txt", "t");
    fuzz::WriteFile(dir.Path() + "/SENTINEL.txt", "outside the drive");
    FileSystem::SetDriveMap({{'C', root}});
    builder.addLinks = [](std::string& stream) { stream += "lrwxr-xr-x link -> \r\n"; };
    builder.checkHidden = [](const std::string&) { return true; };
  }
  fuzz::ScratchDir dir;
  ListingBuilder builder;
};

int64_t Number(const std::string& field) {
  int64_t value = 0;
  std::memcpy(&value, field.data(), field.size() < sizeof value ? field.size() : sizeof value);
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World world;
  fuzz::Fields fields(data, size);
  const std::string cwd = SlashesToBackSlashes(fields.Next());
  const std::string argument = SlashesToBackSlashes(fields.Next());
  const std::string mode = fields.Next();
  const std::string name = fields.Next();
  const std::string sizeField = fields.Next();
  const std::string timeField = fields.Next();

  std::string directory = "C:\\";
  try {
    directory = ApplyDirectory(directory, cwd);
  } catch (const FtpPathError&) {
  }
  std::string listing;
  try {
    listing = world.builder.Build(directory, argument, !mode.empty() && (mode[0] & 1));
  } catch (const FtpPathError&) {
  }
  if (listing.find("SENTINEL") != std::string::npos) {
    fuzz::Fail("the listing of " + argument + " in " + directory + " reaches outside the drive");
  }
  if (!listing.empty() && listing.size() >= 2 && listing.compare(listing.size() - 2, 2, "\r\n")) {
    fuzz::Fail("a listing that does not end with CR LF");
  }

  FileInfo entry;
  entry.name = name;
  entry.directory = !mode.empty() && (mode[0] & 2);
  entry.readOnly = !mode.empty() && (mode[0] & 4);
  entry.size = Number(sizeField);
  entry.mtime = Number(timeField);
  const std::string line = ListingBuilder::DetailedLine(entry, 2026);
  if (line.size() < name.size() + 2 ||
      line.compare(line.size() - name.size() - 2, name.size(), name) != 0) {
    fuzz::Fail("a listing line that does not end with its name");
  }
  return 0;
}
