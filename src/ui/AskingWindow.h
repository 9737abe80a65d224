#pragma once

#include <QPointer>
#include <QWidget>

namespace orvane {

// The window on whose behalf the host shows a message box or asks a question: a window sets
// it for the span of an action that may report (its OK, a button), so that QtHostUi parents
// the box to that window and shows it above it, not behind a window that stays on top.
// Scopes nest; everything runs on the GUI thread.
class AskingWindow {
 public:
  explicit AskingWindow(QWidget* window);
  ~AskingWindow();
  AskingWindow(const AskingWindow&) = delete;
  AskingWindow& operator=(const AskingWindow&) = delete;

  // The window of the innermost scope still open, or nullptr.
  static QWidget* Current();

 private:
  QPointer<QWidget> previous_;
};

}  // namespace orvane
