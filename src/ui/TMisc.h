#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <functional>

namespace orvane {

// "Miscellaneous setup": the per-account options of the account editor, which loads them from
// the selected account and stores them back with its own store step. Showing takes a snapshot;
// "&Ok" reports a change through OnChanged and hides; any other way of hiding restores the
// snapshot.
class TMisc : public QDialog {
  Q_OBJECT

 public:
  explicit TMisc(QWidget* parent = nullptr);

  std::function<void()> OnChanged;

  QVBoxLayout Layout;
  QCheckBox hidefiles{"Hide hidden files/dirs"};
  QCheckBox Accenable{"Enable account"};
  QCheckBox enablenoop{"Allow Noop Command"};
  QCheckBox requiretls{"Require TLS before login"};
  QHBoxLayout TimeoutRow;
  QCheckBox AllowTimeout{"Enable Time out"};
  QLineEdit timeout{"0"};
  QLabel SecLabel{"Sec"};
  QLabel MessageLabel{"Login message file :"};
  QHBoxLayout MessageRow;
  QLineEdit Edit1;
  QPushButton Browse{"..."};
  // The account's limits, 0 = none each.
  QGroupBox LimitsBox{"Limits (0 = none)"};
  QGridLayout LimitsGrid;
  QLineEdit downloadrate{"0"};
  QLineEdit uploadrate{"0"};
  QLineEdit maxsessions{"0"};
  QLineEdit quotabytes{"0"};
  QLineEdit quotafiles{"0"};
  QLabel LimitCaptions[5];
  QLabel LimitUnits[5];
  QHBoxLayout Buttons;
  QPushButton Ok{"&Ok"};
  QPushButton Cancel{"&Cancel"};

  // Enables or disables every option control (all disabled while no account is selected).
  void SetControlsEnabled(bool on);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  struct Values {
    bool hide, enable, noop, requireTls, allowTimeout;
    QString timeout, message;
    QString downloadRate, uploadRate, maxSessions, quotaBytes, quotaFiles;
    bool operator==(const Values&) const = default;
  };
  Values Current() const;
  void Apply(const Values& v);

  Values snapshot_{};
  bool accepted_ = false;
};

}  // namespace orvane
