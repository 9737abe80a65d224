#include "ui/Tstatistikform.h"

namespace orvane {

Tstatistikform::Tstatistikform(FtpHost& host, StayOnTop& stayOnTop, QWidget* parent)
    : QDialog(parent),
      host_(host),
      stayOnTop_(stayOnTop),
      token_(host.Loop().NewToken()),
      lookup_(std::make_unique<NameResolver>(host.Loop(), token_)) {
  setObjectName("statistikform");
  setWindowTitle("Statistics");
  ListBox1.setObjectName("ListBox1");
  ListBox1.setMinimumHeight(80);
  const auto labels = host_.Stats().Labels();
  for (std::size_t i = 0; i < Captions.size(); ++i) {
    Captions[i].setText(QString::fromStdString(labels[i].first));
    Values[i].setObjectName(QString("Value%1").arg(i));
    Values[i].setMinimumWidth(90);
    Grid.addWidget(&Captions[i], static_cast<int>(i), 0);
    Grid.addWidget(&Values[i], static_cast<int>(i), 1);
  }
  Layout.addLayout(&Grid);
  Layout.addWidget(&IpCaption);
  Layout.addWidget(&ListBox1);
  Layout.addWidget(&Ok, 0, Qt::AlignHCenter);
  setLayout(&Layout);
  Ok.setDefault(true);
  Timer1.setInterval(1000);
  connect(&Timer1, &QTimer::timeout, this, &Tstatistikform::Refresh);
  connect(&Ok, &QPushButton::clicked, this, &QDialog::hide);
  Resolve = [] {
    NameResolver::Answer answer;
    try {
      answer.results = NameResolver::LocalAddresses();
    } catch (const std::exception&) {
      answer.error = 1;
    }
    return answer;
  };
  Refresh();
}

Tstatistikform::~Tstatistikform() {
  lookup_->Cancel();
  host_.Loop().Release(token_);
}

void Tstatistikform::Refresh() {
  const auto labels = host_.Stats().Labels();
  for (std::size_t i = 0; i < Values.size(); ++i) {
    Values[i].setText(QString::fromStdString(labels[i].second));
  }
}

void Tstatistikform::showEvent(QShowEvent* event) {
  stayOnTop_.DialogShown();
  if (OnShownOrHidden) OnShownOrHidden();
  Refresh();
  Timer1.start();
  ListBox1.clear();
  try {
    lookup_->Start(Resolve, [this](const NameResolver::Answer& answer) {
      ListBox1.clear();
      for (const std::string& address : answer.results) {
        ListBox1.addItem(QString::fromStdString(address));
      }
    });
  } catch (const std::exception&) {
    // No thread to run the lookup on: the list stays empty; the counters still show.
  }
  QDialog::showEvent(event);
}

void Tstatistikform::hideEvent(QHideEvent* event) {
  Timer1.stop();
  stayOnTop_.DialogHidden();
  if (OnShownOrHidden) OnShownOrHidden();
  QDialog::hideEvent(event);
}

}  // namespace orvane
