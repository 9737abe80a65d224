#pragma once

#include <QAbstractScrollArea>
#include <QObject>

namespace orvane {

// Shift+F10 opens the pop-up menu of a list or memo, as the Menu key does: the watched widget
// reports customContextMenuRequested at its current item (at the middle of its view when it
// has none), in the view's coordinates, so its own handler opens the menu there. A window
// holds one PopupKey and watches each of its widgets with a pop-up menu.
class PopupKey : public QObject {
  Q_OBJECT

 public:
  explicit PopupKey(QObject* parent = nullptr) : QObject(parent) {}

  void Watch(QAbstractScrollArea& area);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace orvane
