#include "ui/AccountNameDialog.h"

#include <QKeyEvent>

namespace orvane {

AccountNameDialog::AccountNameDialog(const char* objectName, const char* caption, QWidget* parent)
    : QDialog(parent) {
  setObjectName(objectName);
  setWindowTitle(caption);
  UserName.setObjectName("UserName");
  Layout.addWidget(&NameLabel);
  Layout.addWidget(&UserName);
  Buttons.addStretch(1);
  Buttons.addWidget(&Ok);
  Buttons.addWidget(&Cancel);
  Layout.addLayout(&Buttons);
  setLayout(&Layout);
  Ok.setAutoDefault(false);
  Cancel.setAutoDefault(false);
  connect(&UserName, &QLineEdit::returnPressed, this, &AccountNameDialog::Confirm);
  connect(&Ok, &QPushButton::clicked, this, &AccountNameDialog::Confirm);
  connect(&Cancel, &QPushButton::clicked, this, &QWidget::hide);
}

void AccountNameDialog::Open(const QString& name) {
  UserName.setText(name);
  show();
  raise();
  activateWindow();
  UserName.setFocus();
}

void AccountNameDialog::Confirm() {
  const std::string message = OnOk ? OnOk(UserName.text().toStdString()) : std::string();
  if (message.empty()) {
    hide();
  } else if (OnMessage) {
    OnMessage(message);
  }
}

void AccountNameDialog::keyPressEvent(QKeyEvent* event) {
  // Typing anywhere in the window goes to the name field.
  if (!event->text().isEmpty() && event->text()[0].isPrint() && !UserName.hasFocus()) {
    UserName.setFocus();
    UserName.insert(event->text());
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace orvane
