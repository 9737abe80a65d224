#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include "net/EventLoop.h"

namespace orvane {

// Runs the engine's EventLoop inside Qt's event loop on the same thread: a QSocketNotifier on
// the loop's pollable descriptor calls ProcessReady(0) when sockets are ready or tasks were
// posted (threaded-timer ticks, lookups), and a zero-delay timer calls it again while posted
// tasks still wait. Nothing polls: an idle program sleeps in Qt's own wait.
//
// The loop is never entered twice: when a handler opens a modal window with its own Qt event
// loop, the notifier goes off until the handler has returned.
class QtEventLoopDriver : public QObject {
  Q_OBJECT

 public:
  explicit QtEventLoopDriver(EventLoop& loop, QObject* parent = nullptr);

  // Runs what is ready now; what a handler posts runs right after it, as in EventLoop::Run.
  void ProcessNow();

 private:
  EventLoop& loop_;
  QSocketNotifier notifier_;
  QTimer pending_;
  bool inside_ = false;
};

}  // namespace orvane
