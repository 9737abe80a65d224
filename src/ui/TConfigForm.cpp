#include "ui/TConfigForm.h"

#include "ui/AskingWindow.h"
#include "ui/QtText.h"

namespace orvane {

TConfigForm::TConfigForm(SetupWindowModel& model, StayOnTop& stayOnTop, QWidget* parent)
    : SettingsDialog(stayOnTop, parent, true), model_(model) {
  setObjectName("ConfigForm");
  setWindowTitle("FTP Server Setup");
  setWindowFlag(Qt::WindowStaysOnTopHint);
  minimize.setObjectName("minimize");
  autolaunch.setObjectName("autolaunch");
  CheckBox1.setObjectName("CheckBox1");
  sameipconnection.setObjectName("sameipconnection");
  notifications.setObjectName("notifications");
  notifications.setToolTip("Bubbles from the notification area: first client, bans, server stop");
  Port.setObjectName("Port");
  Port.setMaxLength(static_cast<int>(LiveServerSettings::kPortFieldLength));
  maxusr.setObjectName("maxusr");
  Ok.setObjectName("Ok");
  Annuler.setObjectName("Annuler");

  for (QCheckBox* box : {&minimize, &autolaunch, &CheckBox1, &sameipconnection, &notifications}) {
    Layout.addWidget(box);
  }
  Fields.addWidget(&PortLabel, 0, 0);
  Fields.addWidget(&Port, 0, 1);
  Fields.addWidget(&MaxusrLabel, 1, 0);
  Fields.addWidget(&maxusr, 1, 1);
  Layout.addLayout(&Fields);
  Buttons.Place(Layout, {&Ok, &Annuler});
  setLayout(&Layout);

  LiveServerSettings& f = model_.Fields();
  connect(&minimize, &QCheckBox::toggled, this, [this, &f](bool on) {
    if (!filling_) f.Minimize = on;
  });
  connect(&autolaunch, &QCheckBox::toggled, this, [this, &f](bool on) {
    if (!filling_) f.AutoLaunch = on;
  });
  connect(&sameipconnection, &QCheckBox::toggled, this, [this, &f](bool on) {
    if (!filling_) f.SameIpConnection = on;
  });
  connect(&notifications, &QCheckBox::toggled, this, [this](bool on) {
    if (!filling_) model_.Notices().Enabled = on;
  });
  connect(&CheckBox1, &QCheckBox::toggled, this, [this](bool on) {
    if (!filling_) model_.LaunchWithSystem = on;
  });
  connect(&Port, &QLineEdit::textChanged, this, [this, &f](const QString& text) {
    if (!filling_) f.Port = S(text);
  });
  connect(&maxusr, &QLineEdit::textChanged, this, [this, &f](const QString& text) {
    if (!filling_) f.MaxUsr = S(text);
  });
  connect(&Ok, &QPushButton::clicked, this, [this] {
    // A failure to write the autostart entry has been shown; the window stays open.
    const AskingWindow asking(this);
    if (model_.Ok()) hide();
    Fill();
  });
  connect(&Annuler, &QPushButton::clicked, this, [this] {
    model_.Cancel();
    Fill();
    hide();
  });
  Fill();
}

void TConfigForm::Fill() {
  filling_ = true;
  const LiveServerSettings& f = model_.Fields();
  minimize.setChecked(f.Minimize);
  autolaunch.setChecked(f.AutoLaunch);
  sameipconnection.setChecked(f.SameIpConnection);
  CheckBox1.setChecked(model_.LaunchWithSystem);
  notifications.setChecked(model_.Notices().Enabled);
  Port.setText(Q(f.Port));
  maxusr.setText(Q(f.MaxUsr));
  filling_ = false;
}

void TConfigForm::Reload() {
  model_.Show();
  Fill();
}

}  // namespace orvane
