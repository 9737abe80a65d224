#include "ui/WindowFit.h"

#include <QApplication>
#include <QScreen>
#include <QWindow>
#include <algorithm>

namespace orvane {

WindowFit::WindowFit(QObject* parent) : QObject(parent) {
  qApp->installEventFilter(this);
}

WindowFit::~WindowFit() {
  qApp->removeEventFilter(this);
}

void WindowFit::Fit(QWidget& window) {
  const QScreen* screen = window.screen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  const QWindow* handle = window.windowHandle();
  const QMargins frame = handle != nullptr ? handle->frameMargins() : QMargins();
  const QSize room(area.width() - frame.left() - frame.right(),
                   area.height() - frame.top() - frame.bottom());
  const QSize least = window.minimumSize().expandedTo(window.minimumSizeHint());
  const QSize size(std::min(window.width(), std::max(room.width(), least.width())),
                   std::min(window.height(), std::max(room.height(), least.height())));
  if (size != window.size()) window.resize(size);
  const QRect outer = window.frameGeometry();
  const int left = std::clamp(outer.left(), area.left(),
                              std::max(area.left(), area.right() + 1 - outer.width()));
  const int top =
      std::clamp(outer.top(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height()));
  if (QPoint(left, top) != outer.topLeft()) window.move(left, top);
}

bool WindowFit::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::Show || !watched->isWidgetType()) return false;
  auto* widget = static_cast<QWidget*>(watched);
  if (!widget->isWindow() || widget->windowType() == Qt::Popup ||
      widget->windowType() == Qt::ToolTip) {
    return false;
  }
  const QWindow* handle = widget->windowHandle();
  // Shown before: its frame is known, and its client geometry is where it was.
  if (handle != nullptr && handle->handle() != nullptr) widget->setGeometry(widget->geometry());
  Fit(*widget);
  return false;
}

}  // namespace orvane
