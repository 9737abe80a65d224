#include "ui/SecurityWindow.h"

#include <QFileDialog>

#include "platform/IniFile.h"
#include "ui/AskingWindow.h"
#include "ui/QtText.h"

namespace orvane {

namespace {

std::optional<std::string> OpenPem(QWidget* parent, const QString& caption,
                                   const QString& current) {
  const QString path = QFileDialog::getOpenFileName(parent, caption, current,
                                                    "PEM Files (*.pem *.crt *.key);;All Files (*)");
  if (path.isEmpty()) return std::nullopt;
  return S(path);
}

}  // namespace

SecurityWindow::SecurityWindow(FtpHost& host, StayOnTop& stayOnTop, QWidget* parent)
    : SettingsDialog(stayOnTop, parent), host_(host) {
  setObjectName("SecurityForm");
  setWindowTitle("Security");
  Enabled.setObjectName("enabled");
  RequireLogin.setObjectName("requirelogin");
  RequireReuse.setObjectName("requirereuse");
  Implicit.setObjectName("implicit");
  ImplicitPort.setObjectName("implicitport");
  Cert.setObjectName("cert");
  Key.setObjectName("key");
  // Digits only; the range is checked on OK.
  ImplicitPort.setValidator(&PortDigits);
  ImplicitPort.setMaxLength(5);
  ImplicitPort.setFixedWidth(70);
  Cert.setMinimumWidth(280);
  Key.setMinimumWidth(280);
  CertBrowse.setFixedWidth(30);
  KeyBrowse.setFixedWidth(30);
  FilesHint.setEnabled(false);  // drawn in the platform's grey, as a hint
  FilesHint.setWordWrap(true);
  Note.setWordWrap(true);

  Layout.addWidget(&Enabled);
  Layout.addWidget(&RequireLogin);
  Layout.addWidget(&RequireReuse);
  ImplicitRow.addWidget(&Implicit);
  ImplicitRow.addWidget(&ImplicitPort);
  ImplicitRow.addStretch(1);
  Layout.addLayout(&ImplicitRow);
  Files.addWidget(&CertLabel, 0, 0);
  Files.addWidget(&Cert, 0, 1);
  Files.addWidget(&CertBrowse, 0, 2);
  Files.addWidget(&KeyLabel, 1, 0);
  Files.addWidget(&Key, 1, 1);
  Files.addWidget(&KeyBrowse, 1, 2);
  Files.addWidget(&FilesHint, 2, 1, 1, 2);
  CertLabel.setBuddy(&Cert);
  KeyLabel.setBuddy(&Key);
  Layout.addLayout(&Files);
  Layout.addWidget(&Note);
  Buttons.Place(Layout, {&Ok, &Cancel});
  setLayout(&Layout);
  CertBrowse.setAutoDefault(false);
  KeyBrowse.setAutoDefault(false);

  connect(&Ok, &QPushButton::clicked, this, &SecurityWindow::OkClick);
  connect(&Cancel, &QPushButton::clicked, this, &SecurityWindow::CancelClick);
  connect(&Implicit, &QCheckBox::toggled, this, [this] { UpdateEnabling(); });
  connect(&CertBrowse, &QPushButton::clicked, this, [this] {
    if (!ChooseCert) return;
    if (const std::optional<std::string> path = ChooseCert()) Cert.setText(Q(*path));
  });
  connect(&KeyBrowse, &QPushButton::clicked, this, [this] {
    if (!ChooseKey) return;
    if (const std::optional<std::string> path = ChooseKey()) Key.setText(Q(*path));
  });
  ChooseCert = [this] { return OpenPem(this, "Choose the certificate file", Cert.text()); };
  ChooseKey = [this] { return OpenPem(this, "Choose the private key file", Key.text()); };
  Reload();
}

void SecurityWindow::Reload() {
  setup_.Load(IniFile(host_.IniPath()));
  Fill();
}

void SecurityWindow::Fill() {
  const TlsStartSettings& s = setup_.Settings;
  Enabled.setChecked(s.Enabled);
  RequireLogin.setChecked(s.RequireLogin);
  RequireReuse.setChecked(s.RequireReuse);
  Implicit.setChecked(s.Implicit);
  ImplicitPort.setText(Q(setup_.ImplicitPort));
  Cert.setText(Q(s.Cert));
  Key.setText(Q(s.Key));
  UpdateEnabling();
}

void SecurityWindow::Collect() {
  TlsStartSettings& s = setup_.Settings;
  s.Enabled = Enabled.isChecked();
  s.RequireLogin = RequireLogin.isChecked();
  s.RequireReuse = RequireReuse.isChecked();
  s.Implicit = Implicit.isChecked();
  setup_.ImplicitPort = S(ImplicitPort.text());
  s.Cert = S(Cert.text());
  s.Key = S(Key.text());
}

void SecurityWindow::UpdateEnabling() {
  ImplicitPort.setEnabled(Implicit.isChecked());
}

void SecurityWindow::OkClick() {
  const AskingWindow asking(this);
  Collect();
  IniFile ini(host_.IniPath());
  const std::string problem = setup_.Store(ini, host_.Setup().Port);
  if (!problem.empty()) {
    host_.Ui().MessageBox(problem);
    return;
  }
  hide();
}

}  // namespace orvane
