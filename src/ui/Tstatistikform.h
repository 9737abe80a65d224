#pragma once

#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <array>
#include <functional>
#include <memory>

#include "console/StayOnTop.h"
#include "host/FtpHost.h"
#include "net/NameResolver.h"

namespace orvane {

// "Statistics": the seven counters, refreshed every second while shown, and this machine's
// IPv4 addresses. The addresses are looked up on a worker thread: the resolver may take long,
// and the loop thread also serves the clients.
class Tstatistikform : public QDialog {
  Q_OBJECT

 public:
  Tstatistikform(FtpHost& host, StayOnTop& stayOnTop, QWidget* parent = nullptr);
  ~Tstatistikform() override;

  std::function<void()> OnShownOrHidden;
  // The address lookup, run off the loop thread; tests replace it.
  NameResolver::Resolver Resolve;

  QVBoxLayout Layout;
  QGridLayout Grid;
  std::array<QLabel, 7> Captions;
  std::array<QLabel, 7> Values;
  QLabel IpCaption{"Your IP (you may have more than one) :"};
  QListWidget ListBox1;
  QPushButton Ok{"&Ok"};
  QTimer Timer1;

  // The seven values set again from the counters.
  void Refresh();
  bool LookupPending() const { return lookup_->Pending(); }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  FtpHost& host_;
  StayOnTop& stayOnTop_;
  EventLoop::Token token_;
  std::unique_ptr<NameResolver> lookup_;
};

}  // namespace orvane
