#include "ui/AskingWindow.h"

namespace orvane {

namespace {

QPointer<QWidget>& Innermost() {
  static QPointer<QWidget> window;
  return window;
}

}  // namespace

AskingWindow::AskingWindow(QWidget* window) : previous_(Innermost()) {
  Innermost() = window != nullptr ? window->window() : nullptr;
}

AskingWindow::~AskingWindow() {
  Innermost() = previous_;
}

QWidget* AskingWindow::Current() {
  return Innermost().data();
}

}  // namespace orvane
