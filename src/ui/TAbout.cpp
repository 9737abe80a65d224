#include "ui/TAbout.h"

#include "console/StayOnTop.h"
#include "host/FtpHost.h"

namespace orvane {

TAbout::TAbout(StayOnTop& stayOnTop, QWidget* parent) : QDialog(parent), stayOnTop_(stayOnTop) {
  setObjectName("About");
  setWindowTitle("About ...");
  Product.setText(QString(FtpHost::kProductLine) + "\nA small FTP server for one computer.");
  Product.setAlignment(Qt::AlignCenter);
  Web.setObjectName("Web");
  Web.setText(QString("<a href=\"%1\">%1</a>").arg(kWebAddress));
  Mail.setObjectName("Mail");
  Mail.setText(QString("<a href=\"mailto:%1\">%1</a>").arg(kMailAddress));
  for (QLabel* link : {&Web, &Mail}) {
    link->setTextFormat(Qt::RichText);
    link->setOpenExternalLinks(true);
    link->setAlignment(Qt::AlignCenter);
  }
  Layout.addWidget(&Product);
  Layout.addWidget(&Web);
  Layout.addWidget(&Mail);
  Layout.addWidget(&Ok, 0, Qt::AlignCenter);
  setLayout(&Layout);
  connect(&Ok, &QPushButton::clicked, this, &QDialog::accept);
}

void TAbout::hideEvent(QHideEvent* event) {
  stayOnTop_.DialogHidden();
  if (OnHidden) OnHidden();
  QDialog::hideEvent(event);
}

}  // namespace orvane
