#pragma once

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <functional>
#include <string>
#include <vector>

#include "console/StayOnTop.h"
#include "host/FtpHost.h"
#include "ui/ButtonRow.h"
#include "ui/SettingsDialog.h"

namespace orvane {

// "Events": the welcome message and the too-many-users message. The two text fields are the
// host's messages: every edit counts for the next connection. Showing reloads both from the
// file; OK erases and rewrites both sections; Cancel only closes, so typed text stays in effect
// until the next showing.
class TWMessageForm : public SettingsDialog {
  Q_OBJECT

 public:
  TWMessageForm(FtpHost& host, StayOnTop& stayOnTop, QWidget* parent = nullptr);

  // The lines of a text field: none for an empty field, and a final line end adds no line.
  static std::vector<std::string> LinesOf(const QString& text);

  QVBoxLayout Layout;
  QGroupBox GroupBox1{"Welcome Message"};
  QVBoxLayout Group1Layout;
  QPlainTextEdit Memo1;
  QGroupBox GroupBox2{"Too many users connected Message"};
  QVBoxLayout Group2Layout;
  QPlainTextEdit Memo2;
  ButtonRow Buttons;
  QPushButton Button1{"&Ok"};
  QPushButton Button2{"&Cancel"};

  void Fill();
  void OkClick();
  // Both messages read again from the file.
  void Reload() override;

 private:
  FtpHost& host_;
  bool filling_ = false;
};

}  // namespace orvane
