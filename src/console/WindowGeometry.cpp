#include "console/WindowGeometry.h"

#include <string>

#include "platform/IniFile.h"

namespace orvane {

namespace {
const char kSection[] = "FTPserver";
}

WindowGeometry WindowGeometry::Load(const IniFile& ini, int screenWidth, int screenHeight) {
  const std::string w = std::to_string(screenWidth);
  const std::string h = std::to_string(screenHeight);
  WindowGeometry g;
  g.height = ini.ReadInteger(kSection, "height" + w, kDefaultHeight);
  g.width = ini.ReadInteger(kSection, "width" + h, kDefaultWidth);
  g.left = ini.ReadInteger(kSection, "X" + w, (screenWidth - g.width) / 2);
  g.top = ini.ReadInteger(kSection, "Y" + h, (screenHeight - g.height) / 2);
  return g;
}

bool WindowGeometry::Save(IniFile& ini, int screenWidth, int screenHeight) const {
  const std::string w = std::to_string(screenWidth);
  const std::string h = std::to_string(screenHeight);
  bool ok = ini.WriteInteger(kSection, "X" + w, left);
  ok = ini.WriteInteger(kSection, "Y" + h, top) && ok;
  ok = ini.WriteInteger(kSection, "height" + w, height) && ok;
  ok = ini.WriteInteger(kSection, "width" + h, width) && ok;
  return ok;
}

}  // namespace orvane
