#include "ui/PopupKey.h"

#include <QAbstractItemView>
#include <QKeyEvent>

namespace orvane {

void PopupKey::Watch(QAbstractScrollArea& area) {
  area.installEventFilter(this);
}

bool PopupKey::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
  const auto* key = static_cast<QKeyEvent*>(event);
  if (key->key() != Qt::Key_F10 || key->modifiers() != Qt::ShiftModifier) return false;
  auto* area = qobject_cast<QAbstractScrollArea*>(watched);
  if (area == nullptr || area->contextMenuPolicy() != Qt::CustomContextMenu) return false;
  QPoint at = area->viewport()->rect().center();
  if (const auto* view = qobject_cast<QAbstractItemView*>(area)) {
    const QRect item = view->visualRect(view->currentIndex());
    if (item.isValid() && area->viewport()->rect().intersects(item)) at = item.center();
  }
  emit area->customContextMenuRequested(at);
  return true;
}

}  // namespace orvane
