#include "ui/NetworkWindow.h"

#include "platform/IniFile.h"
#include "ui/AskingWindow.h"
#include "ui/QtText.h"

namespace orvane {

NetworkWindow::NetworkWindow(FtpHost& host, StayOnTop& stayOnTop, QWidget* parent)
    : SettingsDialog(stayOnTop, parent), host_(host) {
  setObjectName("NetworkForm");
  setWindowTitle("Network");
  Ports.setObjectName("Ports");
  Address.setObjectName("Address");
  Ports.setMinimumWidth(220);
  Address.setMinimumWidth(220);
  for (QLabel* hint : {&PortsHint, &AddressHint}) {
    hint->setEnabled(false);  // drawn in the platform's grey, as a hint
    hint->setWordWrap(true);
  }
  setMinimumWidth(540);
  Note.setWordWrap(true);

  Grid.addWidget(&PortsLabel, 0, 0);
  Grid.addWidget(&Ports, 0, 1);
  Grid.addWidget(&PortsHint, 1, 1);
  Grid.addWidget(&AddressLabel, 2, 0);
  Grid.addWidget(&Address, 2, 1);
  Grid.addWidget(&AddressHint, 3, 1);
  PortsLabel.setBuddy(&Ports);
  AddressLabel.setBuddy(&Address);
  Layout.addLayout(&Grid);
  Layout.addWidget(&Note);
  Buttons.Place(Layout, {&Ok, &Cancel});
  setLayout(&Layout);

  connect(&Ok, &QPushButton::clicked, this, &NetworkWindow::OkClick);
  connect(&Cancel, &QPushButton::clicked, this, &NetworkWindow::CancelClick);
  Reload();
}

void NetworkWindow::Reload() {
  settings_.Load(IniFile(host_.IniPath()));
  Ports.setText(Q(settings_.Ports));
  Address.setText(Q(settings_.Address));
}

void NetworkWindow::OkClick() {
  const AskingWindow asking(this);
  settings_.Ports = S(Ports.text());
  settings_.Address = S(Address.text());
  const std::string problem = settings_.Check();
  if (!problem.empty()) {
    host_.Ui().MessageBox(problem);
    return;
  }
  IniFile ini(host_.IniPath());
  if (!settings_.Store(ini)) {
    host_.Ui().MessageBox("Cannot write " + host_.IniPath());
    return;
  }
  // Safe while clients are connected: the engine reads both values only when a PASV opens a
  // new listening socket, so transfers already under way are not touched.
  host_.ApplyPassive(settings_);
  hide();
}

}  // namespace orvane
