#pragma once

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>

namespace orvane {

// Trayicon1, the notification-area icon, with its hint and its menu PopupMenu3. Image 0 means
// no client, image 1 clients connected. The main window wires the menu items to its own
// commands and never touches QSystemTrayIcon itself, so a desktop without a notification area
// is decided here (IsAvailable) and nowhere else.
class TrayIcon : public QObject {
  Q_OBJECT

 public:
  explicit TrayIcon(QObject* parent = nullptr);

  // Whether the desktop has a notification area to put the icon in.
  bool IsAvailable() const;
  void SetImage(int image);
  int Image() const { return image_; }
  void SetHint(const QString& hint);
  QString Hint() const { return tray_.toolTip(); }
  // Shows the icon (again), also in a notification area that appears later.
  void Show();
  void Hide() {
    tray_.hide();
    shown_ = false;
  }

  // A bubble from the icon, where the desktop has a notification service and the icon is
  // shown; nothing otherwise. Returns whether it was sent.
  bool Notify(const QString& title, const QString& text);
  // Whether the session runs a notification service (org.freedesktop.Notifications on the
  // session bus) and has a notification area; tests replace it.
  std::function<bool()> HasNotificationService;
  // Sends the bubble (QSystemTrayIcon::showMessage by default); tests replace it.
  std::function<void(const QString& title, const QString& text)> ShowMessage;

  QMenu PopupMenu3;
  QAction Activer2{"Activate"};
  QAction Configuration3{"&Setup"};
  QAction Statistiques2{"&Statistics"};
  QAction ToujoursVisible2{"&Always On Top"};
  QAction Quitter2{"&Exit"};

 signals:
  // A double click on the icon: the main window is to be shown again.
  void activationRequested();

 private:
  // Both images drawn once: the icon changes at every first login and last disconnection.
  QIcon images_[2];
  QSystemTrayIcon tray_;
  int image_ = -1;
  bool shown_ = false;
};

}  // namespace orvane
