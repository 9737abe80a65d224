#pragma once

#include "ui/AccountNameDialog.h"

namespace orvane {

// "New User": asks for the name of a new account.
class TNewUser : public AccountNameDialog {
 public:
  explicit TNewUser(QWidget* parent = nullptr)
      : AccountNameDialog("TNewUser", "New User", parent) {}
};

}  // namespace orvane
