#include "ui/TLogForm.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>

#include "platform/IniFile.h"
#include "ui/AskingWindow.h"
#include "ui/QtText.h"

namespace orvane {

namespace {

const char* const kCaptions[] = {"",
                                 "Log tried connections",
                                 "Log users logged",
                                 "Log disconnections",
                                 "Log directories creations",
                                 "Log uploads",
                                 "Log ended uploads",
                                 "Log downloads",
                                 "Log ended downloads",
                                 "Log changes of directory",
                                 "Log files deletion"};

const char* const kScreenNames[] = {"",
                                    "tryconnection",
                                    "connection",
                                    "disconnection",
                                    "makedir",
                                    "upload",
                                    "uploadclosed",
                                    "download",
                                    "downloadclosed",
                                    "chgdir",
                                    "cmddele",
                                    "A",
                                    "B"};

}  // namespace

QString TLogForm::ScreenCaption(int category) {
  if (category == 11) return "Show Answers from server";
  if (category == 12) return "Show Clients commands";
  return kCaptions[category];
}

QString TLogForm::FileCaption(int category) {
  if (category == 11) return "Write Answers from server";
  if (category == 12) return "Write Clients commands";
  return kCaptions[category];
}

TLogForm::TLogForm(FtpHost& host, StayOnTop& stayOnTop, QWidget* parent)
    : SettingsDialog(stayOnTop, parent), host_(host) {
  setObjectName("LogForm");
  setWindowTitle("Log Setup");
  Edit1.setObjectName("Edit1");
  Edit2.setObjectName("Edit2");
  Edit1.setMinimumWidth(260);
  SpeedButton1.setFixedWidth(30);
  Edit2.installEventFilter(this);

  for (int c = 1; c <= LogSettings::kCategories; ++c) {
    Screen[c].setText(ScreenCaption(c));
    Screen[c].setObjectName(kScreenNames[c]);
    File[c].setText(FileCaption(c));
    File[c].setObjectName(QString(kScreenNames[c]) + "f");
    ScreenLayout.addWidget(&Screen[c]);
    FileLayout.addWidget(&File[c]);
    connect(&Screen[c], &QCheckBox::toggled, this, [this, c](bool on) {
      if (!filling_) host_.logSettings.Screen[c] = on;
    });
    connect(&File[c], &QCheckBox::toggled, this, [this, c](bool on) {
      if (!filling_) host_.logSettings.File[c] = on;
    });
  }
  MaxLinesRow.addWidget(&Label1);
  MaxLinesRow.addWidget(&Edit2);
  MaxLinesRow.addStretch(1);
  ScreenLayout.addLayout(&MaxLinesRow);
  LogFileRow.addWidget(&Label2);
  LogFileRow.addWidget(&Edit1, 1);
  LogFileRow.addWidget(&SpeedButton1);
  FileLayout.addLayout(&LogFileRow);
  ScreenTab.setLayout(&ScreenLayout);
  FileTab.setLayout(&FileLayout);
  for (const auto& [scroll, tab] :
       {std::pair{&ScreenScroll, &ScreenTab}, {&FileScroll, &FileTab}}) {
    scroll->setWidget(tab);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
  }
  Tabs.addTab(&ScreenScroll, "Screen");
  Tabs.addTab(&FileScroll, "File");
  Layout.addWidget(&Tabs);
  Buttons.Place(Layout, {&Ok, &Cancel});
  setLayout(&Layout);

  // The memo trimming reads the field on every tick, so it too counts at once.
  connect(&Edit2, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (!filling_) host_.logSettings.MaxLines = S(text);
  });
  connect(&Edit1, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (!filling_) host_.logSettings.LogFileName = S(text);
  });
  connect(&Ok, &QPushButton::clicked, this, &TLogForm::OkClick);
  connect(&Cancel, &QPushButton::clicked, this, &TLogForm::CancelClick);
  connect(&SpeedButton1, &QPushButton::clicked, this, &TLogForm::BrowseClick);
  ChooseFile = [this](const std::string& start) -> std::optional<std::string> {
    const QString path = QFileDialog::getSaveFileName(this, "Choose a log File", Q(start),
                                                      "Log Files (*.log);;Texts Files (*.txt)");
    if (path.isEmpty()) return std::nullopt;
    return S(path.endsWith(".log") || path.endsWith(".txt") ? path : path + ".log");
  };
  Fill();
}

void TLogForm::Fill() {
  filling_ = true;
  const LogSettings& s = host_.logSettings;
  for (int c = 1; c <= LogSettings::kCategories; ++c) {
    Screen[c].setChecked(s.Screen[c]);
    File[c].setChecked(s.File[c]);
  }
  Edit2.setText(Q(s.MaxLines));
  Edit1.setText(Q(s.LogFileName));
  filling_ = false;
}

void TLogForm::OkClick() {
  const AskingWindow asking(this);
  IniFile ini(host_.IniPath());
  if (!host_.logSettings.Store(ini)) {
    host_.Ui().MessageBox("'" + host_.logSettings.MaxLines + "' is not a valid integer value");
    return;
  }
  const std::string name = host_.logSettings.ResolvedLogFileName(host_.ProgramDir());
  if (!host_.Log().ChangeFile(name, host_.FtpServer1.Port)) {
    host_.Ui().MessageBox("Cannot open file \"" + name + "\"");
  }
  hide();
}

void TLogForm::Reload() {
  host_.logSettings.Load(IniFile(host_.IniPath()));
  Fill();
}

void TLogForm::BrowseClick() {
  if (!ChooseFile) return;
  // The field's name (which the field edits at once) as the log uses it: "<DIR>" replaced, a
  // relative name taken from the working directory, so the dialog opens in the file's folder
  // with the file's own name.
  const QString start =
      QFileInfo(Q(host_.logSettings.ResolvedLogFileName(host_.ProgramDir()))).absoluteFilePath();
  if (const std::optional<std::string> path = ChooseFile(S(start))) {
    Edit1.setText(Q(LogSettings::StoredLogFileName(*path, host_.ProgramDir())));
  }
}

bool TLogForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &Edit2 && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Backspace) return true;
    const QString text = key->text();
    // Keys without a character (Delete, arrows, Enter) keep working.
    if (!text.isEmpty() && text[0].unicode() >= 0x20 && text[0].unicode() != 0x7f &&
        !(text.size() == 1 &&
          LogSettings::AcceptMaxLinesChar(static_cast<char>(text[0].unicode())))) {
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace orvane
