#include "ui/SettingsDialog.h"

#include <QGuiApplication>
#include <QScreen>

namespace orvane {

SettingsDialog::SettingsDialog(StayOnTop& stayOnTop, QWidget* parent, bool centred)
    : QDialog(parent), stayOnTop_(stayOnTop), centred_(centred) {}

void SettingsDialog::CancelClick() {
  Reload();
  hide();
}

void SettingsDialog::showEvent(QShowEvent* event) {
  Reload();
  if (const QScreen* screen = centred_ ? QGuiApplication::primaryScreen() : nullptr) {
    const QRect area = screen->availableGeometry();
    // Placed by its client area: a window placed by its frame would come back lower and
    // further right by the frame at its next showing (see WindowFit).
    setGeometry(QRect(area.center() - QPoint(width() / 2, height() / 2), size()));
  }
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
