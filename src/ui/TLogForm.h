#pragma once

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <string>

#include "console/StayOnTop.h"
#include "host/FtpHost.h"
#include "ui/ButtonRow.h"
#include "ui/SettingsDialog.h"

namespace orvane {

// "Log Setup". The check boxes of the "Screen" and "File" tabs are the host's log switches: a
// click counts for the very next event. OK stores the switches and both fields and changes the
// log file when its name changed; Cancel reloads everything from the file.
class TLogForm : public SettingsDialog {
  Q_OBJECT

 public:
  TLogForm(FtpHost& host, StayOnTop& stayOnTop, QWidget* parent = nullptr);

  // The "..." button's save dialog, opened on the given file (the log file in its folder);
  // returns the chosen path, nothing when abandoned. Tests replace it.
  std::function<std::optional<std::string>(const std::string& start)> ChooseFile;

  // The captions of the ten categories shared by both tabs, then the two own ones per tab.
  static QString ScreenCaption(int category);
  static QString FileCaption(int category);

  QVBoxLayout Layout;
  QTabWidget Tabs;
  // Each tab scrolls where the screen is too short for its twelve switches.
  QScrollArea ScreenScroll;
  QScrollArea FileScroll;
  QWidget ScreenTab;
  QWidget FileTab;
  QVBoxLayout ScreenLayout;
  QVBoxLayout FileLayout;
  // Index 1..12 is the category (tryconnection .. B, tryconnectionf .. Bf); 0 is unused.
  std::array<QCheckBox, 13> Screen;
  std::array<QCheckBox, 13> File;
  QHBoxLayout MaxLinesRow;
  QLabel Label1{"Max Lines :"};
  QLineEdit Edit2;
  QHBoxLayout LogFileRow;
  QLabel Label2{"Log File :"};
  QLineEdit Edit1;
  QPushButton SpeedButton1{"..."};
  ButtonRow Buttons;
  QPushButton Ok{"&Ok"};
  QPushButton Cancel{"&Cancel"};

  // The check boxes and fields shown again from the host's settings.
  void Fill();
  // The buttons' actions.
  void OkClick();
  void BrowseClick();
  // The switches and fields read again from the file.
  void Reload() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  FtpHost& host_;
  bool filling_ = false;
};

}  // namespace orvane
