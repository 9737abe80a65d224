#pragma once

#include <QAction>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QSplitter>
#include <QVBoxLayout>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console/ClientActions.h"
#include "console/ClientList.h"
#include "console/StayOnTop.h"
#include "console/TrayNotices.h"
#include "host/FtpHost.h"
#include "net/TThreadedTimer.h"
#include "ui/MemoView.h"
#include "ui/PopupKey.h"
#include "ui/StatusPanels.h"
#include "ui/TrayIcon.h"

namespace orvane {

// The main window "Orvane FTP Server v1.3": the log memo ServMemo, the client list ListView1,
// the ban list Banlist, the status bar StatusBar1, the menus, the tray icon, and the selection
// timer Timer1. It runs the host's commands and shows what the host reports (through QtHostUi).
// Menu items whose windows live elsewhere emit a signal; the program connects them.
class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  TMainForm(FtpHost& host, StayOnTop& stayOnTop);
  ~TMainForm() override;

  // What the host shows (called by QtHostUi on the loop thread, which is the GUI thread).
  void SetPanel(int panel, const QString& text);
  void SetActivateCaption(const QString& caption);
  void SetTray(int image, const QString& hint);
  // Takes the client list and the ban list again from the host, when they changed.
  void RefreshLists();

  // The stay-on-top command (Toujoursvisible1 and its tray twin), and the main window's
  // topmost state brought in line with it and with DialogOpen.
  void StayOnTopCommand();
  void ApplyTopmost();
  // Shows the window again from the notification area.
  void Restore();
  // Whether minimising hides the window into the notification area.
  bool MinimizesToTray() const { return tray_.IsAvailable(); }
  // The geometry keys of the primary screen's size, written from the window's place and size.
  void SaveGeometry();
  // The close was granted: the next close request is not asked again (used by the signal end).
  void SetCloseGranted() { closeGranted_ = true; }

  // Timer1: the selected user's panels, also called by the tests.
  void Timer1Timer();
  void ListView1Click();
  TThreadedTimer& Timer1() { return timer1_; }

  // The containers come first: they are destroyed after the widgets they hold.
  QSplitter MainSplitter{Qt::Horizontal};
  QSplitter ListSplitter{Qt::Vertical};
  // The two lists on the right, each under its caption.
  QWidget ClientsPane;
  QVBoxLayout ClientsLayout;
  QLabel ClientsCaption{"&Clients"};
  QWidget BanPane;
  QVBoxLayout BanLayout;
  QLabel BanCaption{"&Ban list"};
  MemoView ServMemo;
  QListWidget ListView1;
  QListWidget Banlist;
  StatusPanels StatusBar1;

  QMenu Files{"&Files"};
  QAction Activer1{"Activate"};
  QAction Closed1{"&Closed"};
  QAction Toujoursvisible1{"&Always On Top"};
  QAction Statistiques1{"&Statistics"};
  QAction Usersinfos1{"&Users Infos"};
  QAction Quitter1{"&Exit"};
  QMenu Edit{"&Edit"};
  QAction Clear1{"&Clear"};
  QMenu Setup{"&Setup"};
  QAction Configuration1{"&Setup"};
  QAction FreeFiles1{"&Free Files/Dirs"};
  QAction Log1{"&Log"};
  QAction Messagedarrive1{"&Events"};
  QAction UsersAccount1{"&Users Account"};
  QAction Network1{"&Network"};
  QAction Security1{"Se&curity"};
  QMenu Help{"&Help"};
  QAction Apropos1{"&About"};
  // Pop-up menus of the client list, the ban list and the memo.
  QMenu PopupMenu1;
  QAction Kick1{"&Kick"};
  QAction Masskick1{"&Mass kick"};
  QAction Ban1{"&Ban"};
  QAction Usersinfos2{"&Users Infos"};
  QAction Spyuser1{"&Spy user"};
  QMenu PopupMenu2;
  QAction AddIP1{"&Add IP"};
  QAction Unban1{"&Unban"};
  QMenu PopupMenu4;
  QAction Clearbuffer1{"&Clear buffer"};
  QAction Copy1{"Co&py"};
  QAction SelectAll1{"Select &All"};

  TrayIcon& Tray() { return tray_; }
  // Which events the tray reports; its switch is set by the setup window.
  TrayNotices& Notices() { return notices_; }
  const ClientList& Clients() const { return clients_; }
  ClientActions& Actions() { return actions_; }

  // The client list's pop-up commands, on the one selected entry's record.
  void KickCommand();
  void MassKickCommand();
  void BanCommand();
  void SpyCommand();
  // The ban list's pop-up commands.
  void AddIPCommand();
  void UnbanCommand();
  // A drop onto the ban list from source: bans the single selected client of the main list or
  // of another accepted client list (DropSelection), with the file line; nothing otherwise.
  void BanlistDrop(QObject* source);
  // The enabling rules of the pop-up menus, applied when they open.
  void UpdatePopupMenus();
  // The reference of the single selected entry of the main list, if any.
  std::optional<ClientRef> SingleSelection() const;

  // The window a question of this window's belongs to: the one that asked, or this one.
  QWidget* BoxParent();
  // The "&Add IP" input dialog, wide enough for its whole caption.
  std::unique_ptr<QInputDialog> MakeAddIPDialog();

  // The questions, as boxes by default; tests answer them instead.
  std::function<KickAnswer()> AskKick;
  std::function<bool()> AskMassKick;
  std::function<std::optional<std::string>()> AskIP;
  // Another client list whose entries may be dropped onto the ban list: the single selected
  // client of source, or none when source is not such a list.
  std::function<std::optional<ClientRef>(QObject* source)> DropSelection;
  // Spying starts on a client, with its entry's caption.
  std::function<void(const ClientRef& ref, const std::string& caption)> OnSpy;

 signals:
  void setupRequested();
  void aboutRequested();
  void statisticsRequested();
  void usersInfosRequested();
  void freeFilesRequested();
  void logSetupRequested();
  void eventsRequested();
  void usersAccountRequested();
  void networkRequested();
  void securityRequested();
  // The rows of the client list changed (a login, a disconnection, a stop).
  void clientsChanged();
  // The window closed for good (the close was granted).
  void closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenus();
  void BuildLayout();
  std::vector<const Usrdata*> SelectedRecords() const;
  void SetSelectedPanels(const std::string& user, const std::string& ip, const std::string& status);
  void Notify(const std::optional<TrayNotices::Notice>& notice);

  FtpHost& host_;
  StayOnTop& stayOnTop_;
  TrayIcon tray_;
  TrayNotices notices_;
  PopupKey popupKey_;
  ClientList clients_;
  ClientActions actions_;
  std::vector<std::string> banShown_;
  TThreadedTimer timer1_;
  bool closeGranted_ = false;
};

}  // namespace orvane
