#pragma once

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "console/StayOnTop.h"
#include "host/FtpHost.h"
#include "host/PassiveSettings.h"
#include "ui/ButtonRow.h"
#include "ui/SettingsDialog.h"

namespace orvane {

// "Network": the passive ports and the external address of section Passive. Showing and Cancel
// read the file again; OK checks both fields (a wrong one is named in a message box and the
// window stays open), writes them and gives them to the engine, whose next PASV uses them.
class NetworkWindow : public SettingsDialog {
  Q_OBJECT

 public:
  NetworkWindow(FtpHost& host, StayOnTop& stayOnTop, QWidget* parent = nullptr);

  QVBoxLayout Layout;
  QGridLayout Grid;
  QLabel PortsLabel{"Passive ports :"};
  QLineEdit Ports;
  QLabel PortsHint{"for example 50000-50100 (1024 to 65535); empty: any port"};
  QLabel AddressLabel{"External address :"};
  QLineEdit Address;
  QLabel AddressHint{"IPv4 address or host name; empty: the local address"};
  QLabel Note{
      "The external address is announced to clients outside the local network, for a server "
      "behind a router (NAT); a host name is looked up again at each PASV. Changes apply from "
      "the next PASV on."};
  ButtonRow Buttons;
  QPushButton Ok{"&Ok"};
  QPushButton Cancel{"&Cancel"};

  void Reload() override;
  void OkClick();

 private:
  FtpHost& host_;
  PassiveSettings settings_;
};

}  // namespace orvane
