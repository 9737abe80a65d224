#include "ui/SettingsDialog.h"

namespace orvane {

SettingsDialog::SettingsDialog(StayOnTop& stayOnTop, QWidget* parent)
    : QDialog(parent), stayOnTop_(stayOnTop) {}

void SettingsDialog::CancelClick() {
  Reload();
  hide();
}

void SettingsDialog::showEvent(QShowEvent* event) {
  Reload();
  stayOnTop_.DialogShown();
  if (OnShownOrHidden) OnShownOrHidden();
  QDialog::showEvent(event);
}

void SettingsDialog::hideEvent(QHideEvent* event) {
  stayOnTop_.DialogHidden();
  if (OnShownOrHidden) OnShownOrHidden();
  QDialog::hideEvent(event);
}

}  // namespace orvane
