#include "console/ServerSetup.h"

#include "platform/IniFile.h"

namespace orvane {

ServerSetup::ServerSetup(FtpHost& host, AutostartEntry autostart, TrayNotices& notices)
    : host_(host), autostart_(std::move(autostart)), notices_(notices) {
  LaunchWithSystem = autostart_.Exists();
}

void ServerSetup::Show() {
  LaunchWithSystem = autostart_.Exists();
  Cancel();
}

void ServerSetup::Cancel() {
  const IniFile ini(host_.IniPath());
  host_.setup.Reload(ini);
  notices_.Load(ini);
}

bool ServerSetup::Ok() {
  std::string error;
  if (!(LaunchWithSystem ? autostart_.Write(error) : autostart_.Remove(error))) {
    host_.Ui().MessageBox(error);
    return false;
  }
  IniFile ini(host_.IniPath());
  const SetupSettings::OkResult result = host_.setup.StoreOk(ini, host_.FtpServer1.MaxClients);
  notices_.Store(ini);
  if (result.maxClientsChanged) {
    host_.FtpServer1.MaxClients = result.maxClients;
    host_.ShowClientCount();
  }
  if (host_.setup.Port != host_.FtpServer1.Port) {
    host_.Ui().MessageBox(
        "You will need to restart the server for change of the port takes effect !");
  }
  host_.FtpServer1.Port = host_.setup.Port;
  return true;
}

}  // namespace orvane
