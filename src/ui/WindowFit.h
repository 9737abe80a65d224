#pragma once

#include <QObject>
#include <QWidget>

namespace orvane {

// Keeps the program's windows on their screen and in their place, for every window of the
// application (installed on it as an event filter):
// - a window that shows is made no larger than the available area of its screen (as far as
//   its minimum size allows; the tall windows scroll instead) and is moved inside it;
// - a window shown again comes back where it was. Qt maps a window that was placed by its frame
//   (move) with its client position and north-west gravity, so the window manager moved it
//   down and right by the frame at every showing; placed by its client geometry, it stays.
class WindowFit : public QObject {
  Q_OBJECT

 public:
  explicit WindowFit(QObject* parent = nullptr);
  ~WindowFit() override;

  // Brings one window inside the available area of its screen.
  static void Fit(QWidget& window);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace orvane
