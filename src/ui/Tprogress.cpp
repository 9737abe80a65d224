#include "ui/Tprogress.h"

#include <QCoreApplication>

namespace orvane {

Tprogress::Tprogress(QWidget* parent) : QDialog(parent) {
  setObjectName("progress");
  setWindowFlag(Qt::WindowStaysOnTopHint);
  ProgressBar1.setObjectName("ProgressBar1");
  ProgressBar1.setRange(0, 100);
  ProgressBar1.setMinimumWidth(260);
  Layout.addWidget(&ProgressBar1);
  setLayout(&Layout);
}

void Tprogress::Begin(int maximum) {
  setWindowTitle("Loading ...");
  ProgressBar1.setMaximum(maximum);
  ProgressBar1.setValue(0);
  show();
}

void Tprogress::SetPosition(int position) {
  ProgressBar1.setValue(position);
  // The window draws itself between the creation steps, before the event loop runs.
  if (isVisible()) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void Tprogress::End() {
  ProgressBar1.setValue(ProgressBar1.maximum());
  hide();
}

}  // namespace orvane
