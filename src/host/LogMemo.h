#pragma once

#include <deque>
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

 private:
  HostUi& ui_;
  std::deque<Line> lines_;
};

}  // namespace orvane
