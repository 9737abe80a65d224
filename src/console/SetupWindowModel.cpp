#include "console/SetupWindowModel.h"

#include "platform/IniFile.h"

namespace orvane {

SetupWindowModel::SetupWindowModel(FtpHost& host, AutostartEntry autostart, TrayNotices& notices)
    : host_(host), autostart_(std::move(autostart)), notices_(notices) {
  LaunchWithSystem = autostart_.Exists();
}

void SetupWindowModel::Show() {
  LaunchWithSystem = autostart_.Exists();
  Cancel();
}

void SetupWindowModel::Cancel() {
  const IniFile ini(host_.IniPath());
  host_.Setup().Reload(ini);
  notices_.Load(ini);
}

bool SetupWindowModel::Ok() {
  std::string error;
  if (!(LaunchWithSystem ? autostart_.Write(error) : autostart_.Remove(error))) {
    host_.Ui().MessageBox(error);
    return false;
  }
  IniFile ini(host_.IniPath());
  host_.ApplySetup(ini);
  notices_.Store(ini);
  return true;
}

}  // namespace orvane
