#include "ui/QtEventLoopDriver.h"

#include <cstdio>
#include <exception>

namespace orvane {

QtEventLoopDriver::QtEventLoopDriver(EventLoop& loop, QObject* parent)
    : QObject(parent), loop_(loop), notifier_(loop.Fd(), QSocketNotifier::Read) {
  pending_.setSingleShot(true);
  pending_.setInterval(0);
  connect(&notifier_, &QSocketNotifier::activated, this, &QtEventLoopDriver::ProcessNow);
  connect(&pending_, &QTimer::timeout, this, &QtEventLoopDriver::ProcessNow);
}

void QtEventLoopDriver::ProcessNow() {
  if (inside_) {
    // A handler runs a nested Qt loop (a modal window): the descriptor stays readable until
    // the outer call returns, so it must not be watched meanwhile.
    notifier_.setEnabled(false);
    return;
  }
  inside_ = true;
  try {
    loop_.ProcessReady(0);
  } catch (const std::exception& e) {
    // Only the wait itself can fail here (handlers are guarded by the loop); Qt must not see
    // an exception, and the next readiness tries again.
    std::fprintf(stderr, "Event loop: %s\n", e.what());
  }
  if (!notifier_.isEnabled()) notifier_.setEnabled(true);
  inside_ = false;
  if (loop_.HasPending()) pending_.start();
}

}  // namespace orvane
