#include "ui/TrayIcon.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

namespace orvane {

TrayIcon::TrayIcon(QObject* parent)
    : QObject(parent),
      images_{QIcon(":/icons/tray-no-client.svg"), QIcon(":/icons/tray-clients.svg")} {
  Activer2.setObjectName("Activer2");
  Configuration3.setObjectName("Configuration3");
  Configuration3.setVisible(false);
  Statistiques2.setObjectName("Statistiques2");
  ToujoursVisible2.setObjectName("ToujoursVisible2");
  ToujoursVisible2.setCheckable(true);
  Quitter2.setObjectName("Quitter2");
  PopupMenu3.setObjectName("PopupMenu3");
  for (QAction* item : {&Activer2, &Configuration3, &Statistiques2, &ToujoursVisible2}) {
    PopupMenu3.addAction(item);
  }
  PopupMenu3.addSeparator();
  PopupMenu3.addAction(&Quitter2);
  tray_.setContextMenu(&PopupMenu3);
  tray_.setToolTip("Orvane FTP Server");
  SetImage(0);
  connect(&tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
    if (r == QSystemTrayIcon::DoubleClick || r == QSystemTrayIcon::Trigger) {
      emit activationRequested();
    }
  });
  HasNotificationService = [this] {
    if (!IsAvailable()) return false;
    const QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface() != nullptr &&
           bus.interface()->isServiceRegistered("org.freedesktop.Notifications").value();
  };
  ShowMessage = [this](const QString& title, const QString& text) {
    tray_.showMessage(title, text, QSystemTrayIcon::Information, 5000);
  };
}

bool TrayIcon::Notify(const QString& title, const QString& text) {
  // Without a service Qt would draw a bubble of its own, which no desktop asked for.
  if (!shown_ || !HasNotificationService || !HasNotificationService()) return false;
  ShowMessage(title, text);
  return true;
}

bool TrayIcon::IsAvailable() const {
  return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::SetImage(int image) {
  if (image == image_) return;
  image_ = image;
  tray_.setIcon(images_[image == 0 ? 0 : 1]);
}

void TrayIcon::SetHint(const QString& hint) {
  tray_.setToolTip(hint);
}

void TrayIcon::Show() {
  // Where no notification area is there yet, Qt puts the icon in as soon as one appears.
  tray_.show();
  shown_ = true;
}

}  // namespace orvane
