#pragma once

#include <QDialog>
#include <functional>

#include "console/StayOnTop.h"

namespace orvane {

// A settings window of the "Setup" menu that edits a part of FTPsrv.ini: showing it and Cancel
// read the file again (Reload); showing and hiding tell the main window to bring its topmost
// state in line; a centred window is put in the middle of the screen at each showing. Each
// window adds its fields and its OK (and a Cancel of its own where Cancel means more).
class SettingsDialog : public QDialog {
  Q_OBJECT

 public:
  SettingsDialog(StayOnTop& stayOnTop, QWidget* parent, bool centred = false);

  std::function<void()> OnShownOrHidden;

  // The fields shown again from the file.
  virtual void Reload() = 0;
  void CancelClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  StayOnTop& stayOnTop_;
  bool centred_;
};

}  // namespace orvane
