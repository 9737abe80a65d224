#pragma once

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <functional>
#include <string>

namespace orvane {

// The window that asks for an account's name, for a new account ("New User") and for a rename
// ("Edit UserName"); the two differ only in their caption. Typing while the focus is elsewhere in
// the window goes to the name field; Enter there acts as "&Ok". OnOk decides: it returns the
// message to show (the window stays open) or an empty text (the window closes).
class AccountNameDialog : public QDialog {
  Q_OBJECT

 public:
  AccountNameDialog(const char* objectName, const char* caption, QWidget* parent);

  // Shows the window with the name field holding name.
  void Open(const QString& name);

  std::function<std::string(const std::string& name)> OnOk;
  // Message boxes of the refusals.
  std::function<void(const std::string& text)> OnMessage;

  QVBoxLayout Layout;
  QLabel NameLabel{"User name :"};
  QLineEdit UserName;
  QHBoxLayout Buttons;
  QPushButton Ok{"&Ok"};
  QPushButton Cancel{"&Cancel"};

  // "&Ok" pressed.
  void Confirm();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace orvane
