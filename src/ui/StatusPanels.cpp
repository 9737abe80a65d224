#include "ui/StatusPanels.h"

#include <QEvent>
#include <algorithm>

namespace orvane {

StatusPanels::StatusPanels(const std::array<int, 6>& widths, QWidget* parent)
    : QWidget(parent), widths_(widths) {
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

int StatusPanels::Natural(size_t panel) const {
  const QLabel& label = panels_[panel];
  const QMargins m = label.contentsMargins();
  const int chrome = m.left() + m.right() + 2 * label.frameWidth() + 4;
  return std::max(widths_[panel], label.fontMetrics().horizontalAdvance(texts_[panel]) + chrome);
}

void StatusPanels::Layout() {
  std::array<int, 6> w{};
  int sum = 0;
  for (size_t i = 0; i < w.size(); ++i) sum += w[i] = Natural(i);
  if (sum <= width()) {
    w.back() += width() - sum;
  } else {
    int deficit = sum - width();
    for (size_t i = w.size(); i-- > 0 && deficit > 0;) {
      const int take = std::min(deficit, std::max(0, w[i] - kFloor));
      w[i] -= take;
      deficit -= take;
    }
  }
  int x = 0;
  for (size_t i = 0; i < panels_.size(); ++i) {
    QLabel& label = panels_[i];
    label.setGeometry(x, 0, w[i], height());
    x += w[i];
    const QMargins m = label.contentsMargins();
    const int room = label.contentsRect().width() - m.left() - m.right();
    const QString shown = label.fontMetrics().elidedText(texts_[i], Qt::ElideRight, room);
    label.setText(shown);
    label.setToolTip(shown != texts_[i] ? texts_[i] : QString());
  }
}

void StatusPanels::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) {
    Layout();
    updateGeometry();
  }
  QWidget::changeEvent(event);
}

void StatusPanels::SetText(int panel, const QString& text) {
  QString& stored = texts_.at(static_cast<size_t>(panel));
  if (stored == text) return;
  stored = text;
  Layout();
  updateGeometry();
}

QString StatusPanels::Text(int panel) const {
  return texts_.at(static_cast<size_t>(panel));
}

int StatusPanels::Width(int panel) const {
  return Panel(panel).width();
}

bool StatusPanels::IsElided(int panel) const {
  return Panel(panel).text() != Text(panel);
}

QSize StatusPanels::sizeHint() const {
  int width = 0;
  for (size_t i = 0; i < panels_.size(); ++i) width += Natural(i);
  return QSize(width, panels_[0].sizeHint().height());
}

QSize StatusPanels::minimumSizeHint() const {
  return QSize(0, panels_[0].sizeHint().height());
}

void StatusPanels::resizeEvent(QResizeEvent*) {
  Layout();
}

}  // namespace orvane
