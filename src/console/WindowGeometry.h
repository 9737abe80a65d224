#pragma once

namespace orvane {

class IniFile;

// The main window's place and size, remembered in section "FTPserver" separately for each
// screen size W x H: "X"+W (left), "Y"+H (top), "height"+W and "width"+H (the height key
// carries the screen width and the width key the screen height, as the file always had it).
struct WindowGeometry {
  static constexpr int kDefaultWidth = 530;
  static constexpr int kDefaultHeight = 185;

  int left = 0;
  int top = 0;
  int width = kDefaultWidth;
  int height = kDefaultHeight;

  // Height, width, then left and top; a missing left or top centres the window on the screen.
  static WindowGeometry Load(const IniFile& ini, int screenWidth, int screenHeight);
  // Writes the four keys of this screen size; false when a write failed.
  bool Save(IniFile& ini, int screenWidth, int screenHeight) const;
};

}  // namespace orvane
