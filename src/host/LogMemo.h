#pragma once

#include <deque>
#include <functional>
#include <string>

#include "host/HostUi.h"

namespace orvane {

// The log memo as a model: the lines the window shows, with their colour. The window mirrors it
// through HostUi.
class LogMemo {
 public:
  struct Line {
    std::string text;
    MemoColor color;
  };

  explicit LogMemo(HostUi& ui) : ui_(ui) {}
  void Append(const std::string& text, MemoColor color = MemoColor::Black);
  // Deletes lines from the top while more than maxLines remain.
  void TrimTo(size_t maxLines);
  void Clear();
  const std::deque<Line>& Lines() const { return lines_; }
  // Called for each line appended, so that the host can flush the log file before the line
  // leaves the program (HostUi::MemoFlush).
  std::function<void()> OnPending;

 private:
  HostUi& ui_;
  std::deque<Line> lines_;
};

}  // namespace orvane
