#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvane {

class IniFile;

// What the notification area tells the operator of, as bubbles: the first client logged in
// (the icon turns from "no client" to clients), an address added to the ban list (by the
// operator or by the host's automatic ban), and the server going off-line. Each Note... call
// gives the window's state as it is now and returns the bubble to show, if any; the state is
// followed whether the switch is on or not, so turning it on never reports an old event.
//
// The switch is ServerFTP/"notifications" of FTPsrv.ini (Boolean, default 1), a check box of
// the setup window.
class TrayNotices {
 public:
  static constexpr const char* kSection = "ServerFTP";
  static constexpr const char* kKey = "notifications";

  struct Notice {
    std::string title;
    std::string text;
    bool operator==(const Notice&) const = default;
  };

  bool Enabled = true;

  void Load(const IniFile& ini);
  // False when the key could not be written.
  bool Store(IniFile& ini) const;

  // The tray image set by the client count (0 no client, 1 clients).
  std::optional<Notice> NoteImage(int image);
  // The server-state panel's text ("FTP Server On-line/Port : 21", "FTP Server Off-line").
  std::optional<Notice> NoteServerState(const std::string& text);
  // The ban list's entries as they are now.
  std::optional<Notice> NoteBanList(const std::vector<std::string>& items);

 private:
  std::optional<Notice> IfEnabled(Notice notice) const;

  int image_ = 0;
  bool online_ = false;
  std::vector<std::string> bans_;
};

}  // namespace orvane
