#pragma once

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <functional>

#include "console/SetupWindowModel.h"
#include "console/StayOnTop.h"
#include "ui/ButtonRow.h"
#include "ui/SettingsDialog.h"

namespace orvane {

// "FTP Server Setup". Every check box and field edits the host's setup values at once (the
// admission check and the start command read them live); OK stores them, Cancel reloads them.
// The window stays on top and is centred; while it is shown the main window is not topmost.
class TConfigForm : public SettingsDialog {
  Q_OBJECT

 public:
  TConfigForm(SetupWindowModel& model, StayOnTop& stayOnTop, QWidget* parent = nullptr);

  QVBoxLayout Layout;
  QCheckBox minimize{"Minimize on startup"};
  QCheckBox autolaunch{"Activate FTP Server on startup"};
  QCheckBox CheckBox1{"Launch with windows"};
  QCheckBox sameipconnection{"Refuse connections with same IP"};
  QCheckBox notifications{"Show notifications"};
  QGridLayout Fields;
  QLabel PortLabel{"Listen on Port number :"};
  QLineEdit Port;
  QLabel MaxusrLabel{"Max number of users : "};
  QLineEdit maxusr;
  ButtonRow Buttons;
  QPushButton Ok{"&Ok"};
  QPushButton Annuler{"&Cancel"};

  // The fields shown again from the model.
  void Fill();
  // The model's values taken again as the window shows.
  void Reload() override;

 private:
  SetupWindowModel& model_;
  bool filling_ = false;
};

}  // namespace orvane
