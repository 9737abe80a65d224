#include "ui/TTipForm.h"

#include "platform/IniFile.h"

namespace orvane {

TTipForm::TTipForm(std::string iniPath, QWidget* parent)
    : QDialog(parent), iniPath_(std::move(iniPath)) {
  setObjectName("TipForm");
  setWindowTitle("Tip of the Day");
  QFont bold = Title.font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.3);
  Title.setFont(bold);
  TipText.setObjectName("TipText");
  TipText.setWordWrap(true);
  TipText.setMinimumSize(340, 70);
  TipText.setAlignment(Qt::AlignLeft | Qt::AlignTop);
  TipText.setFrameShape(QFrame::StyledPanel);
  TipText.setMargin(8);
  ShowOnStartup.setObjectName("ShowOnStartup");
  ShowOnStartup.setChecked(true);
  Buttons.addWidget(&ShowOnStartup);
  Buttons.addStretch(1);
  Buttons.addWidget(&Previous);
  Buttons.addWidget(&Next);
  Buttons.addWidget(&Ok);
  Layout.addWidget(&Title);
  Layout.addWidget(&TipText, 1);
  Layout.addLayout(&Buttons);
  setLayout(&Layout);
  Ok.setDefault(true);

  connect(&Next, &QPushButton::clicked, this, [this] {
    model_.Next();
    ShowTip();
  });
  connect(&Previous, &QPushButton::clicked, this, [this] {
    model_.Previous();
    ShowTip();
  });
  connect(&Ok, &QPushButton::clicked, this, &QDialog::accept);
  ShowTip();
}

void TTipForm::showEvent(QShowEvent* event) {
  model_.Reset();
  ShowTip();
  QDialog::showEvent(event);
}

void TTipForm::ShowTip() {
  TipText.setText(model_.Current());
}

void TTipForm::done(int result) {
  model_.ShowOnStartup = ShowOnStartup.isChecked();
  IniFile ini(iniPath_);
  model_.Store(ini);
  QDialog::done(result);
}

}  // namespace orvane
