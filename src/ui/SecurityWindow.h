#pragma once

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <functional>
#include <optional>
#include <string>

#include "console/SecurityWindowModel.h"
#include "console/StayOnTop.h"
#include "host/FtpHost.h"
#include "ui/ButtonRow.h"
#include "ui/SettingsDialog.h"

namespace orvane {

// "Security": the TLS settings of FTPsrv.ini. Showing and Cancel read the file again; OK checks
// the fields through SecurityWindowModel (a wrong one is named in a message box and the window
// stays open) and writes them. The server reads them when it starts, as the window says.
class SecurityWindow : public SettingsDialog {
  Q_OBJECT

 public:
  SecurityWindow(FtpHost& host, StayOnTop& stayOnTop, QWidget* parent = nullptr);

  // The "..." buttons' open dialogs; return the chosen file, nothing when abandoned. Tests
  // replace them.
  std::function<std::optional<std::string>()> ChooseCert;
  std::function<std::optional<std::string>()> ChooseKey;

  QVBoxLayout Layout;
  QCheckBox Enabled{"Offer TLS on the server's port (AUTH TLS)"};
  QCheckBox RequireLogin{"Require TLS before login for every account"};
  QCheckBox RequireReuse{"Data connections must resume the control connection's TLS session"};
  QHBoxLayout ImplicitRow;
  QCheckBox Implicit{"Implicit TLS on its own port :"};
  // Declared before the field it checks, so that it outlives it.
  QRegularExpressionValidator PortDigits{QRegularExpression("[0-9]{0,5}")};
  QLineEdit ImplicitPort;
  QGridLayout Files;
  QLabel CertLabel{"Certificate file :"};
  QLineEdit Cert;
  QPushButton CertBrowse{"..."};
  QLabel KeyLabel{"Private key file :"};
  QLineEdit Key;
  QPushButton KeyBrowse{"..."};
  QLabel FilesHint{
      "Both empty: a self-signed certificate for this machine, made at the first start"};
  QLabel Note{"Changes apply when the server is next started."};
  ButtonRow Buttons;
  QPushButton Ok{"&Ok"};
  QPushButton Cancel{"&Cancel"};

  void Reload() override;
  void OkClick();

 private:
  void Fill();
  void Collect();
  void UpdateEnabling();

  FtpHost& host_;
  SecurityWindowModel setup_;
};

}  // namespace orvane
