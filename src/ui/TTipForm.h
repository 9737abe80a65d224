#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <string>

#include "console/TipOfTheDay.h"

namespace orvane {

// "Tip of the Day": shown modally at start-up; "&Next Tip" and "&Previous Tip" walk the tips
// round, and closing writes "Show Tips at &Startup" to FTPServer/"Tip".
class TTipForm : public QDialog {
  Q_OBJECT

 public:
  TTipForm(std::string iniPath, QWidget* parent = nullptr);

  const TipOfTheDay& Model() const { return model_; }

  QVBoxLayout Layout;
  QLabel Title{"Did you know..."};
  QLabel TipText;
  QCheckBox ShowOnStartup{"Show Tips at &Startup"};
  QHBoxLayout Buttons;
  QPushButton Previous{"&Previous Tip"};
  QPushButton Next{"&Next Tip"};
  QPushButton Ok{"&OK"};

  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ShowTip();

  std::string iniPath_;
  TipOfTheDay model_;
};

}  // namespace orvane
