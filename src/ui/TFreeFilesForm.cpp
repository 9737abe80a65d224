#include "ui/TFreeFilesForm.h"

#include <QFileDialog>

#include "platform/IniFile.h"

namespace orvane {

TFreeFilesForm::TFreeFilesForm(FtpHost& host, QWidget* parent) : QDialog(parent), host_(host) {
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
  Buttons.addStretch(1);
  Buttons.addWidget(&Button1);
  Buttons.addWidget(&Button3);
  Layout.addLayout(&Buttons);
  setLayout(&Layout);
  Button1.setDefault(false);
  Button1.setAutoDefault(false);
  Button2.setAutoDefault(false);

  connect(&Button2, &QPushButton::clicked, this, &TFreeFilesForm::AddClick);
  connect(&Edit1, &QLineEdit::returnPressed, this, &TFreeFilesForm::AddClick);
  connect(&Button4, &QPushButton::clicked, this, &TFreeFilesForm::DeleteClick);
  connect(Delete1, &QAction::triggered, this, &TFreeFilesForm::DeleteClick);
  connect(&Button1, &QPushButton::clicked, this, &TFreeFilesForm::OkClick);
  connect(&Button3, &QPushButton::clicked, this, &TFreeFilesForm::CancelClick);
  connect(&ListBox1, &QListWidget::currentRowChanged, this, [this] { UpdateEnabling(); });
  connect(&ListBox1, &QListWidget::itemSelectionChanged, this, [this] { UpdateEnabling(); });
  connect(&SpeedButton1, &QPushButton::clicked, this, [this] {
    if (!ChooseFile) return;
    if (const std::optional<std::string> path = ChooseFile()) {
      Edit1.setText(QString::fromUtf8(path->data(), static_cast<qsizetype>(path->size())));
    }
  });
  ChooseFile = [this]() -> std::optional<std::string> {
    const QString path =
        QFileDialog::getOpenFileName(this, "Choose a file free to download", QString(),
                                     "All Files (*);;Exe Files (*.exe *.com);;Text Files (*.txt)");
    if (path.isEmpty()) return std::nullopt;
    return path.toUtf8().toStdString();
  };
  Fill();
}

void TFreeFilesForm::Fill() {
  ListBox1.clear();
  for (const std::string& item : host_.freeFiles.Items()) {
    ListBox1.addItem(QString::fromUtf8(item.data(), static_cast<qsizetype>(item.size())));
  }
  UpdateEnabling();
}

void TFreeFilesForm::Reload() {
  host_.freeFiles.Load(IniFile(host_.IniPath()));
  Fill();
}

void TFreeFilesForm::UpdateEnabling() {
  const bool selected = ListBox1.currentRow() >= 0 && !ListBox1.selectedItems().isEmpty();
  Button4.setEnabled(selected);
  Delete1->setEnabled(selected);
}

void TFreeFilesForm::AddClick() {
  const std::string text = Edit1.text().toUtf8().toStdString();
  if (!text.empty()) host_.freeFiles.Add(text);
  Edit1.clear();
  Fill();
}

void TFreeFilesForm::DeleteClick() {
  const int row = ListBox1.currentRow();
  if (row < 0 || ListBox1.selectedItems().isEmpty()) return;
  host_.freeFiles.Remove(static_cast<std::size_t>(row));
  Fill();
}

void TFreeFilesForm::OkClick() {
  IniFile ini(host_.IniPath());
  if (!host_.freeFiles.Store(ini)) {
    host_.Ui().MessageBox("Cannot write " + host_.IniPath());
    return;
  }
  accept();
}

void TFreeFilesForm::CancelClick() {
  reject();
  Reload();
}

void TFreeFilesForm::showEvent(QShowEvent* event) {
  Reload();
  QDialog::showEvent(event);
}

}  // namespace orvane
