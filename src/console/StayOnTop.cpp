#include "console/StayOnTop.h"

#include "platform/IniFile.h"

namespace orvane {

bool StayOnTop::StoredOn(const IniFile& ini) {
  return ini.ReadBool("FTPserver", "StayOnTop", false);
}

bool StayOnTop::Toggle(IniFile& ini) {
  checked_ = !checked_;
  return ini.WriteBool("FTPserver", "StayOnTop", checked_);
}

}  // namespace orvane
