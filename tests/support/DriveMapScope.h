#pragma once

#include <map>
#include <string>

#include "platform/FileSystem.h"

namespace orvane::test {

// Maps drive letters for as long as it lives and then gives back the map it found, so that no
// test leaves its temporary directory behind as a drive of the next one.
class DriveMapScope {
 public:
  explicit DriveMapScope(std::map<char, std::string> drives) : saved_(FileSystem::DriveMap()) {
    FileSystem::SetDriveMap(drives);
  }
  ~DriveMapScope() { FileSystem::SetDriveMap(saved_); }
  DriveMapScope(const DriveMapScope&) = delete;
  DriveMapScope& operator=(const DriveMapScope&) = delete;

 private:
  std::map<char, std::string> saved_;
};

}  // namespace orvane::test
