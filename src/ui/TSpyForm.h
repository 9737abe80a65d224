#pragma once

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QWidget>
#include <functional>

#include "console/ClientActions.h"
#include "console/SpyFeed.h"
#include "console/StayOnTop.h"
#include "host/FtpHost.h"
#include "ui/PopupKey.h"

namespace orvane {

// The spy window "Spy user": one client's commands in green and the server's replies to it in
// black, live, while the window is shown. The text is a document bounded to SpyFeed::kMaxLines
// blocks, so appending stays cheap and a long session does not grow it without end.
class TSpyForm : public QWidget {
  Q_OBJECT

 public:
  TSpyForm(FtpHost& host, ClientActions& actions, StayOnTop& stayOnTop);
  ~TSpyForm() override;

  // Starts spying on a client (the main or user information window's "Spy user") and shows
  // the window.
  void Spy(const ClientRef& ref, const std::string& caption);
  void ShowMoreInformations();
  void KickCommand();

  QVBoxLayout Layout;
  QTextEdit RichEdit1;
  QStatusBar StatusBar1;
  QLabel UserNamePanel;
  QLabel IpPanel;
  QMenu PopupMenu1;
  QAction Clearbuffer1{"&Clear buffer"};
  QAction Showmoreinformations1{"&Show more Informations"};
  QAction Kick1{"&Kick"};

  const SpyFeed& Feed() const { return feed_; }
  // The questions and the message box, as boxes by default; tests answer them instead.
  std::function<KickAnswer()> AskKick;
  std::function<void(const std::string&)> ShowMessage;
  // The window was shown or hidden (the main window's topmost state follows).
  std::function<void()> OnShownOrHidden;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  // Escape closes the window, as it does a dialog.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Append(const std::string& text, bool green);
  void SetHeader();

  FtpHost& host_;
  ClientActions& actions_;
  StayOnTop& stayOnTop_;
  PopupKey popupKey_;
  SpyFeed feed_;
};

}  // namespace orvane
