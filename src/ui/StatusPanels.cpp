#include "ui/StatusPanels.h"

#include <QEvent>
#include <algorithm>

namespace orvane {

StatusPanels::StatusPanels(QWidget* parent) : QWidget(parent) {
  for (size_t i = 0; i < panels_.size(); ++i) {
    QLabel& label = panels_[i];
    label.setParent(this);
    label.setObjectName(QString("Panel%1").arg(i));
    label.setFrameShape(QFrame::Panel);
    label.setFrameShadow(QFrame::Sunken);
    label.setTextFormat(Qt::PlainText);
    label.setContentsMargins(2, 0, 2, 0);
  }
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  Layout();
}

int StatusPanels::Width(int panel) const {
  return static_cast<int>(kWidths.at(static_cast<size_t>(panel)) * scale_ + 0.5);
}

void StatusPanels::Layout() {
  const QLabel& probe = panels_[1];
  const QMargins m = probe.contentsMargins();
  const int needed = probe.fontMetrics().horizontalAdvance("FTP Server On-line/Port : 65535") +
                     m.left() + m.right() + 2 * probe.frameWidth() + 4;
  scale_ = std::max(1.0, static_cast<double>(needed) / kWidths[1]);
  int x = 0;
  for (size_t i = 0; i < panels_.size(); ++i) {
    const int w = Width(static_cast<int>(i));
    panels_[i].setGeometry(x, 0, w, height());
    x += w;
  }
  updateGeometry();
}

void StatusPanels::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) Layout();
  QWidget::changeEvent(event);
}

void StatusPanels::SetText(int panel, const QString& text) {
  panels_.at(static_cast<size_t>(panel)).setText(text);
}

QString StatusPanels::Text(int panel) const {
  return Panel(panel).text();
}

QSize StatusPanels::sizeHint() const {
  int width = 0;
  for (size_t i = 0; i < kWidths.size(); ++i) width += Width(static_cast<int>(i));
  return QSize(width, panels_[0].sizeHint().height());
}

QSize StatusPanels::minimumSizeHint() const {
  return QSize(0, panels_[0].sizeHint().height());
}

void StatusPanels::resizeEvent(QResizeEvent*) {
  Layout();
}

}  // namespace orvane
