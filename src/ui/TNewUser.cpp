#include "ui/TNewUser.h"

#include <QKeyEvent>

namespace orvane {

TNewUser::TNewUser(QWidget* parent) : QDialog(parent) {
  setObjectName("TNewUser");
  setWindowTitle("New User");
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
  connect(&UserName, &QLineEdit::returnPressed, this, &TNewUser::Confirm);
  connect(&Ok, &QPushButton::clicked, this, &TNewUser::Confirm);
  connect(&Cancel, &QPushButton::clicked, this, &QWidget::hide);
}

void TNewUser::Open(const QString& name) {
  UserName.setText(name);
  show();
  raise();
  activateWindow();
  UserName.setFocus();
}

void TNewUser::Confirm() {
  const std::string message = OnOk ? OnOk(UserName.text().toStdString()) : std::string();
  if (message.empty()) {
    hide();
  } else if (OnMessage) {
    OnMessage(message);
  }
}

void TNewUser::keyPressEvent(QKeyEvent* event) {
  // Typing anywhere in the window goes to the name field.
  if (!event->text().isEmpty() && event->text()[0].isPrint() && !UserName.hasFocus()) {
    UserName.setFocus();
    UserName.insert(event->text());
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace orvane
