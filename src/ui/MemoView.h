#pragma once

#include <QPlainTextEdit>
#include <QTimer>
#include <cstddef>

#include "host/LogMemo.h"
#include "host/LogSettings.h"

namespace orvane {

// ServMemo, the log memo on screen: a read-only text view over the host's LogMemo. The host
// tells it that lines were appended, trimmed or cleared; the view catches up with the model in
// one batch a little later (or at Flush), so a burst of events costs one update of the widget.
// The view shows the model's last lines, never more than "Max Lines" of them: the model is
// trimmed only once a second, and lines it will drop are not drawn at all. Command echo lines
// are green, every other line black.
//
// Drawing a line costs far more than logging it (text layout), so the view never takes more than
// about a twentieth of the loop's time: a flush that took long puts the next one off accordingly
// (up to kMaxBatchMs), and a large "Max Lines" filled at thousands of lines a second is drawn less
// often instead of slowing the server down. No line is skipped by that; they appear later.
class MemoView : public QPlainTextEdit {
  Q_OBJECT

 public:
  static constexpr int kBatchMs = 50;
  static constexpr int kMaxBatchMs = 2000;
  // The time between flushes is at least this many times the last flush's own time.
  static constexpr int kIdleFactor = 19;

  MemoView(const LogMemo& model, const LogSettings& settings, QWidget* parent = nullptr);

  void NoteAppended() {
    ++appended_;
    Schedule();
  }
  void NoteRemoved(size_t count) {
    removed_ += count;
    Schedule();
  }
  void NoteCleared();
  // Brings the view up to the model now, and sets the time to the next batch from its cost.
  void Flush();
  // The time the next batch waits, in milliseconds.
  int BatchInterval() const { return batch_.interval(); }
  // The lines on screen (without waiting for the batch: call Flush first).
  QStringList VisibleLines() const;
  // Whether line index is drawn green.
  bool IsGreen(int line) const;

 private:
  void Schedule();
  void RemoveFirst(size_t count);
  void AppendLines(size_t from);

  const LogMemo& model_;
  const LogSettings& settings_;
  QTimer batch_;
  size_t shown_ = 0;     // lines in the view: the last ones of the model at the last flush
  size_t total_ = 0;     // lines in the model at the last flush
  size_t appended_ = 0;  // appended to the model since the last flush
  size_t removed_ = 0;   // removed from the model's top since the last flush
  bool cleared_ = false;
};

}  // namespace orvane
