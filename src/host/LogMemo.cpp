#include "host/LogMemo.h"

#include "host/EscapeControlBytes.h"

namespace orvane {

void LogMemo::Append(const std::string& text, MemoColor color) {
  std::string shown = EscapeControlBytes(text);
  ui_.MemoAppend(shown, color);
  lines_.push_back(Line{std::move(shown), color});
  if (OnPending) OnPending();
}

void LogMemo::TrimTo(size_t maxLines) {
  if (lines_.size() <= maxLines) return;
  const size_t remove = lines_.size() - maxLines;
  lines_.erase(lines_.begin(), lines_.begin() + static_cast<std::ptrdiff_t>(remove));
  ui_.MemoRemoveFirst(remove);
}

void LogMemo::Clear() {
  lines_.clear();
  ui_.MemoClear();
}

}  // namespace orvane
