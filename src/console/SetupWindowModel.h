#pragma once

#include <string>

#include "console/TrayNotices.h"
#include "host/FtpHost.h"
#include "platform/AutostartEntry.h"

namespace orvane {

// The setup window's model ("FTP Server Setup"): its fields are the host's LiveServerSettings, so
// the window edits them directly and a change counts at once; this class adds the check box
// "Launch with windows" (the autostart entry), the tray's notification switch, and the OK and
// Cancel steps.
class SetupWindowModel {
 public:
  SetupWindowModel(FtpHost& host, AutostartEntry autostart, TrayNotices& notices);

  LiveServerSettings& Fields() { return host_.Setup(); }
  // "Show notifications", live like the other switches.
  TrayNotices& Notices() { return notices_; }
  bool LaunchWithSystem = false;

  // Showing: the check box from the autostart entry, every field reloaded from the file.
  void Show();
  // Cancel: the fields and switches reloaded from the file (the check box is refreshed at the
  // next showing).
  void Cancel();
  // OK: writes or removes the autostart entry, then the keys, the new client limit and the
  // port. When the entry cannot be written or removed, the failure is shown and nothing else
  // is done: false, and the window stays open.
  bool Ok();

 private:
  FtpHost& host_;
  AutostartEntry autostart_;
  TrayNotices& notices_;
};

}  // namespace orvane
