#pragma once

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>

#include "console/ClientActions.h"
#include "console/StayOnTop.h"
#include "console/UserInfoPanels.h"
#include "host/FtpHost.h"
#include "net/TThreadedTimer.h"
#include "ui/PopupKey.h"
#include "ui/StatusPanels.h"

namespace orvane {

class TMainForm;

// The user information window "Users Infos": the logged-in clients with their address, action
// and login time, the selected client's figures refreshed once a second by Timer1, and the
// client pop-up menu (kick, mass kick, ban, spy, "&Freeze list", "&Refresh all"). Each entry
// holds the reference of its client, so an action never reaches another client.
class Tuserinfo : public QWidget {
  Q_OBJECT

 public:
  Tuserinfo(FtpHost& host, TMainForm& main, StayOnTop& stayOnTop);
  ~Tuserinfo() override;

  // Brings the entries in line with the host's clients: new clients added, gone ones removed,
  // the others left as they are.
  void SyncEntries();
  // The single selected entry's client, if it is still connected.
  std::optional<ClientRef> SingleSelection() const;
  void ListView1Click();
  void Timer1Timer();
  void RefreshAll();
  void KickCommand();
  void MassKickCommand();
  void BanCommand();
  void SpyCommand();
  void UpdatePopupMenu();
  TThreadedTimer& Timer1() { return timer1_; }
  QString Panel(int panel) const { return Panels.Text(panel); }

  QVBoxLayout Layout;
  QTreeWidget ListView1;
  // The selected client's quota and rates; hidden for a client without limits.
  QLabel LimitsLine;
  QStatusBar StatusBar1;
  // 0 client count, 1 "Idle:", 2 "Upload:", 3 "Download:", 4 "Speed:", 5 "Max dl:".
  StatusPanels Panels{{100, 100, 150, 150, 120, 50}};
  QMenu PopupMenu1;
  QAction Kick1{"&Kick"};
  QAction MassKick1{"&Mass Kick"};
  QAction Ban1{"&Ban"};
  QAction Spyuser1{"&Spy user"};
  QAction Freezelist1{"&Freeze list"};
  QAction Refreshall1{"&Refresh all"};

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  // Escape closes the window, as it does a dialog.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void SetPanels(const UserInfoPanels::Texts& texts);
  void ShowLimits(const Usrdata* record);
  void FillEntry(QTreeWidgetItem& item, const Usrdata& record);
  static ClientRef RefOfItem(const QTreeWidgetItem& item);

  FtpHost& host_;
  TMainForm& main_;
  StayOnTop& stayOnTop_;
  PopupKey popupKey_;
  TThreadedTimer timer1_;
};

}  // namespace orvane
