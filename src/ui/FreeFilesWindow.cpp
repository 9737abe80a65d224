#include "ui/FreeFilesWindow.h"

#include <QFileDialog>

#include "console/AccountEditor.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "ui/AskingWindow.h"
#include "ui/QtText.h"

namespace orvane {

FreeFilesWindow::FreeFilesWindow(FtpHost& host, QWidget* parent) : QDialog(parent), host_(host) {
  setObjectName("FreeFilesForm");
  setWindowTitle("Files/Dirs free to download");
  ListBox1.setObjectName("ListBox1");
  Edit1.setObjectName("Edit1");
  ListBox1.setMinimumSize(240, 160);
  Edit1.setMinimumWidth(200);
  SpeedButton1.setFixedWidth(30);
  Delete1 = PopupMenu1.addAction("&Delete");
  Delete1->setObjectName("Delete1");
  ListBox1.setContextMenuPolicy(Qt::CustomContextMenu);
  popupKey_.Watch(ListBox1);
  connect(&ListBox1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu1.popup(ListBox1.viewport()->mapToGlobal(at)); });

  Layout.addWidget(&Examples);
  Grid.addWidget(&ListBox1, 0, 0, 3, 1);
  Grid.addWidget(&Button2, 0, 1);
  Grid.addWidget(&Edit1, 0, 2);
  Grid.addWidget(&SpeedButton1, 0, 3);
  Grid.addWidget(&Button4, 1, 1);
  Grid.setRowStretch(2, 1);
  Layout.addLayout(&Grid);
  // No default button: Enter in Edit1 adds its text ("<< Add"), and nothing else.
  Buttons.Place(Layout, {&Button1, &Button3}, ButtonRow::Default::None);
  setLayout(&Layout);
  for (QPushButton* button : {&SpeedButton1, &Button2, &Button4}) {
    button->setDefault(false);
    button->setAutoDefault(false);
  }

  connect(&Button2, &QPushButton::clicked, this, &FreeFilesWindow::AddClick);
  connect(&Edit1, &QLineEdit::returnPressed, this, &FreeFilesWindow::AddClick);
  connect(&Button4, &QPushButton::clicked, this, &FreeFilesWindow::DeleteClick);
  connect(Delete1, &QAction::triggered, this, &FreeFilesWindow::DeleteClick);
  connect(&Button1, &QPushButton::clicked, this, &FreeFilesWindow::OkClick);
  connect(&Button3, &QPushButton::clicked, this, &FreeFilesWindow::CancelClick);
  connect(&ListBox1, &QListWidget::currentRowChanged, this, [this] { UpdateEnabling(); });
  connect(&ListBox1, &QListWidget::itemSelectionChanged, this, [this] { UpdateEnabling(); });
  connect(&SpeedButton1, &QPushButton::clicked, this, &FreeFilesWindow::BrowseClick);
  ChooseFile = [this](const std::string& start) -> std::optional<std::string> {
    const QString path =
        QFileDialog::getOpenFileName(this, "Choose a file free to download", Q(start),
                                     "All Files (*);;Exe Files (*.exe *.com);;Text Files (*.txt)");
    if (path.isEmpty()) return std::nullopt;
    return path.toUtf8().toStdString();
  };
  Fill();
}

void FreeFilesWindow::Fill() {
  ListBox1.clear();
  for (const std::string& item : host_.FreeFileList().Items()) {
    ListBox1.addItem(Q(item));
  }
  UpdateEnabling();
}

void FreeFilesWindow::Reload() {
  host_.FreeFileList().Load(IniFile(host_.IniPath()));
  Fill();
}

void FreeFilesWindow::UpdateEnabling() {
  const bool selected = ListBox1.currentRow() >= 0 && !ListBox1.selectedItems().isEmpty();
  Button4.setEnabled(selected);
  Delete1->setEnabled(selected);
}

void FreeFilesWindow::AddClick() {
  const std::string text = S(Edit1.text());
  if (!text.empty()) host_.FreeFileList().Add(text);
  Edit1.clear();
  Fill();
}

void FreeFilesWindow::BrowseClick() {
  if (!ChooseFile) return;
  // Downloads are matched by their drive paths (C:\pub\readme.txt): the list must hold that
  // form, never the path on this machine.
  const std::map<char, std::string> drives = FileSystem::DriveMap();
  const std::optional<std::string> file =
      ChooseFile(drives.empty() ? std::string("/") : drives.begin()->second);
  if (!file) return;
  if (const std::optional<std::string> path = AccountEditor::ServerPath(*file, drives)) {
    Edit1.setText(Q(*path));
    return;
  }
  const AskingWindow asking(this);
  host_.Ui().MessageBox(*file + " is on no drive of the server: it cannot be free.");
}

void FreeFilesWindow::DeleteClick() {
  const int row = ListBox1.currentRow();
  if (row < 0 || ListBox1.selectedItems().isEmpty()) return;
  host_.FreeFileList().Remove(static_cast<std::size_t>(row));
  Fill();
}

void FreeFilesWindow::OkClick() {
  const AskingWindow asking(this);
  IniFile ini(host_.IniPath());
  if (!host_.FreeFileList().Store(ini)) {
    host_.Ui().MessageBox("Cannot write " + host_.IniPath());
    return;
  }
  accept();
}

void FreeFilesWindow::CancelClick() {
  reject();
  Reload();
}

void FreeFilesWindow::showEvent(QShowEvent* event) {
  Reload();
  QDialog::showEvent(event);
}

}  // namespace orvane
