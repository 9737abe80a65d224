#include "ui/TWMessageForm.h"

#include "platform/IniFile.h"
#include "ui/AskingWindow.h"

namespace orvane {

namespace {

QString Joined(const std::vector<std::string>& lines) {
  QStringList list;
  for (const std::string& line : lines) {
    list << QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
  }
  return list.join('\n');
}

}  // namespace

std::vector<std::string> TWMessageForm::LinesOf(const QString& text) {
  std::vector<std::string> lines;
  if (text.isEmpty()) return lines;
  QStringList parts = text.split('\n');
  if (parts.last().isEmpty()) parts.removeLast();
  for (const QString& part : parts) lines.push_back(part.toUtf8().toStdString());
  return lines;
}

TWMessageForm::TWMessageForm(FtpHost& host, StayOnTop& stayOnTop, QWidget* parent)
    : SettingsDialog(stayOnTop, parent, true), host_(host) {
  setObjectName("WMessageForm");
  setWindowTitle("Events");
  setWindowFlag(Qt::WindowStaysOnTopHint);
  Memo1.setObjectName("Memo1");
  Memo2.setObjectName("Memo2");
  Memo1.setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo2.setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1.setMinimumSize(380, 120);
  Memo2.setMinimumSize(380, 80);
  Group1Layout.addWidget(&Memo1);
  GroupBox1.setLayout(&Group1Layout);
  Group2Layout.addWidget(&Memo2);
  GroupBox2.setLayout(&Group2Layout);
  Layout.addWidget(&GroupBox1);
  Layout.addWidget(&GroupBox2);
  Buttons.Place(Layout, {&Button1, &Button2});
  setLayout(&Layout);

  connect(&Memo1, &QPlainTextEdit::textChanged, this, [this] {
    if (!filling_) host_.messages.Welcome = LinesOf(Memo1.toPlainText());
  });
  connect(&Memo2, &QPlainTextEdit::textChanged, this, [this] {
    if (!filling_) host_.messages.TooManyUsers = LinesOf(Memo2.toPlainText());
  });
  connect(&Button1, &QPushButton::clicked, this, &TWMessageForm::OkClick);
  connect(&Button2, &QPushButton::clicked, this, &QDialog::hide);
  Fill();
}

void TWMessageForm::Fill() {
  filling_ = true;
  Memo1.setPlainText(Joined(host_.messages.Welcome));
  Memo2.setPlainText(Joined(host_.messages.TooManyUsers));
  filling_ = false;
}

void TWMessageForm::OkClick() {
  const AskingWindow asking(this);
  IniFile ini(host_.IniPath());
  if (!host_.messages.Store(ini)) {
    host_.Ui().MessageBox("Cannot write " + host_.IniPath());
    return;
  }
  hide();
}

void TWMessageForm::Reload() {
  host_.messages.Load(IniFile(host_.IniPath()));
  Fill();
}

}  // namespace orvane
