#include "ui/Tprogress.h"

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
  // Drawn at once between the creation steps: no events are processed, so nothing of the
  // server runs before the last window exists.
  if (isVisible()) ProgressBar1.repaint();
}

void Tprogress::End() {
  ProgressBar1.setValue(ProgressBar1.maximum());
  hide();
}

}  // namespace orvane
