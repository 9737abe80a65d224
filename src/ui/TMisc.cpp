#include "ui/TMisc.h"

#include <QFileDialog>

#include "console/AccountEditor.h"
#include "platform/FileSystem.h"

namespace orvane {

namespace {

// Where the file dialogs start: the first drive's directory.
QString DriveDirectory() {
  const std::map<char, std::string> drives = FileSystem::DriveMap();
  return QString::fromUtf8(drives.empty() ? "/" : drives.begin()->second.c_str());
}

}  // namespace

TMisc::TMisc(QWidget* parent) : QDialog(parent) {
  setObjectName("Misc");
  setWindowTitle("Miscellaneous setup");
  Layout.addWidget(&hidefiles);
  Layout.addWidget(&Accenable);
  Layout.addWidget(&enablenoop);
  Layout.addWidget(&requiretls);
  TimeoutRow.addWidget(&AllowTimeout);
  TimeoutRow.addWidget(&timeout);
  TimeoutRow.addWidget(&SecLabel);
  Layout.addLayout(&TimeoutRow);
  Layout.addWidget(&MessageLabel);
  MessageRow.addWidget(&Edit1);
  MessageRow.addWidget(&Browse);
  Layout.addLayout(&MessageRow);
  const struct {
    const char* caption;
    QLineEdit* field;
    const char* unit;
  } limits[] = {{"Download rate", &downloadrate, "KiB/s"},
                {"Upload rate", &uploadrate, "KiB/s"},
                {"Max sessions", &maxsessions, "at once"},
                {"Quota", &quotabytes, "bytes"},
                {"Quota", &quotafiles, "files"}};
  // Two limits a row, so that the sheet still fits a 640 x 400 screen.
  int i = 0;
  for (const auto& limit : limits) {
    const int row = i / 2;
    const int column = (i % 2) * 3;
    LimitCaptions[i].setText(limit.caption);
    LimitUnits[i].setText(limit.unit);
    LimitsGrid.addWidget(&LimitCaptions[i], row, column);
    LimitsGrid.addWidget(limit.field, row, column + 1);
    LimitsGrid.addWidget(&LimitUnits[i], row, column + 2);
    ++i;
  }
  LimitsBox.setLayout(&LimitsGrid);
  Layout.addWidget(&LimitsBox);
  Buttons.addStretch(1);
  Buttons.addWidget(&Ok);
  Buttons.addWidget(&Cancel);
  Layout.addLayout(&Buttons);
  setLayout(&Layout);
  Ok.setDefault(true);
  SetControlsEnabled(false);

  connect(&Browse, &QPushButton::clicked, this, [this] {
    const QString file = QFileDialog::getOpenFileName(this, "Choose login message file",
                                                      DriveDirectory(), "Texts Files (*.txt)");
    // The server reads the file by its own path; a file outside the drives is not taken.
    const std::optional<std::string> path =
        AccountEditor::ServerPath(file.toUtf8().toStdString(), FileSystem::DriveMap());
    if (!file.isEmpty() && path) {
      Edit1.setText(QString::fromUtf8(path->c_str()));
    }
  });
  connect(&Ok, &QPushButton::clicked, this, [this] {
    accepted_ = true;
    if (!(Current() == snapshot_) && OnChanged) OnChanged();
    hide();
  });
  connect(&Cancel, &QPushButton::clicked, this, &QWidget::hide);
}

void TMisc::SetControlsEnabled(bool on) {
  for (QWidget* w : std::initializer_list<QWidget*>{
           &hidefiles, &Accenable, &enablenoop, &requiretls, &AllowTimeout, &timeout, &Edit1,
           &Browse, &downloadrate, &uploadrate, &maxsessions, &quotabytes, &quotafiles}) {
    w->setEnabled(on);
  }
}

TMisc::Values TMisc::Current() const {
  return {hidefiles.isChecked(),  Accenable.isChecked(),    enablenoop.isChecked(),
          requiretls.isChecked(), AllowTimeout.isChecked(), timeout.text(),
          Edit1.text(),           downloadrate.text(),      uploadrate.text(),
          maxsessions.text(),     quotabytes.text(),        quotafiles.text()};
}

void TMisc::Apply(const Values& v) {
  hidefiles.setChecked(v.hide);
  Accenable.setChecked(v.enable);
  enablenoop.setChecked(v.noop);
  requiretls.setChecked(v.requireTls);
  AllowTimeout.setChecked(v.allowTimeout);
  timeout.setText(v.timeout);
  Edit1.setText(v.message);
  downloadrate.setText(v.downloadRate);
  uploadrate.setText(v.uploadRate);
  maxsessions.setText(v.maxSessions);
  quotabytes.setText(v.quotaBytes);
  quotafiles.setText(v.quotaFiles);
}

void TMisc::showEvent(QShowEvent* event) {
  snapshot_ = Current();
  accepted_ = false;
  QDialog::showEvent(event);
}

void TMisc::hideEvent(QHideEvent* event) {
  if (!accepted_) Apply(snapshot_);
  accepted_ = false;
  QDialog::hideEvent(event);
}

}  // namespace orvane
