#pragma once

#include <cstddef>
#include <string>

namespace orvane {

class IniFile;

// The setup window's fields and check boxes, which are the live values the host uses: the
// admission check reads SameIpConnection, the start command reads Port, the started event reads
// MaxUsr. The window edits this object directly. Keys live in section "ServerFTP".
class LiveServerSettings {
 public:
  static constexpr std::size_t kPortFieldLength = 5;
  static constexpr int kDefaultPort = 21;
  static constexpr int kDefaultMaxUsers = 2;

  std::string Port = "21";        // "Listen on Port number :", at most five characters
  std::string MaxUsr = "0";       // "Max number of users : ", 0 for no limit
  bool Minimize = false;          // "minimize": start hidden in the notification area
  bool AutoLaunch = false;        // "demarrageauto": start the server at program start
  bool SameIpConnection = false;  // "sameipconnection": one connection per address
  bool LaunchWithSystem = false;  // the autostart entry; kept by the caller, not in the file

  // The creation step: reads the three switches, Port (default 21, cut to five characters) and
  // MaxUsr (default 2). Returns the MaxClients value to use: MaxUsr's value, or 2 with MaxUsr
  // set to "2" when it is not a valid integer.
  int Load(const IniFile& ini);

  // Cancel and showing: reloads the fields and switches as Load does; MaxClients is not touched.
  void Reload(const IniFile& ini);

  // The configuration part of OK. Writes "minimize" (an empty Port becomes "21" first),
  // "demarrageauto", "sameipconnection", "port" and "maxusr" as the field texts; then Port shows
  // the number read back (text that is not a number shows 21 from now on). A valid MaxUsr
  // different from currentMaxClients becomes the new MaxClients; an invalid one is replaced by
  // currentMaxClients, which is written again. MaxUsr then shows the number read back.
  // The autostart entry and the port-change message are the caller's.
  struct OkResult {
    int maxClients;
    bool maxClientsChanged;
  };
  OkResult StoreOk(IniFile& ini, int currentMaxClients);

  // Whether the last StoreOk failed to write one of its keys.
  bool StoreFailed() const { return storeFailed_; }

  // The value of MaxUsr; false when it is not a valid integer.
  bool MaxUsrValue(int& value) const;

 private:
  void ReadFields(const IniFile& ini);

  bool storeFailed_ = false;
};

}  // namespace orvane
