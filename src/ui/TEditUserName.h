#pragma once

#include "ui/AccountNameDialog.h"

namespace orvane {

// "Edit UserName": asks for the new name of the selected account, starting with its name.
class TEditUserName : public AccountNameDialog {
 public:
  explicit TEditUserName(QWidget* parent = nullptr)
      : AccountNameDialog("TEditUserName", "Edit UserName", parent) {}
};

}  // namespace orvane
