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
  // Before its first showing the window manager has not told its frame yet: room is kept for
  // a usual one.
  // Its place is then taken as that of its client area, as window managers do on a first
  // mapping: the title bar must not start above the screen.
  QMargins frame = handle != nullptr ? handle->frameMargins() : QMargins();
  const bool frameKnown = !frame.isNull();
  if (!frameKnown) frame = QMargins(8, 32, 8, 8);
  const QSize room(area.width() - frame.left() - frame.right(),
                   area.height() - frame.top() - frame.bottom());
  const QSize least = window.minimumSize().expandedTo(window.minimumSizeHint());
  const QSize size(std::min(window.width(), std::max(room.width(), least.width())),
                   std::min(window.height(), std::max(room.height(), least.height())));
  if (size != window.size()) window.resize(size);
  const QRect outer = frameKnown ? window.frameGeometry()
                                 : QRect(window.pos() - QPoint(frame.left(), frame.top()),
                                         window.size().grownBy(frame));
  const int left = std::clamp(outer.left(), area.left(),
                              std::max(area.left(), area.right() + 1 - outer.width()));
  const int top =
      std::clamp(outer.top(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height()));
  if (QPoint(left, top) == outer.topLeft()) return;
  if (frameKnown) {
    window.move(left, top);
  } else {
    window.move(left + frame.left(), top + frame.top());
  }
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
