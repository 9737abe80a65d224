#pragma once

#include <QListView>
#include <QTimer>
#include <cstddef>

#include "host/LogMemo.h"
#include "host/LogSettings.h"
#include "ui/MemoLines.h"

namespace orvane {

// ServMemo, the log memo on screen: a list view over MemoLines, which mirrors the host's LogMemo.
// The host tells it that lines were appended, trimmed or cleared; the view catches up with the
// model in one batch a little later (or at Flush), so a burst of events costs one update. The
// view shows the model's last lines, never more than "Max Lines" of them: the model is trimmed
// only once a second, and lines it will drop are not copied at all. Command echo lines are green,
// every other line in the usual text colour. Lines are selectable; Ctrl+C copies them.
//
// A line costs one short string and the view lays out only the rows on screen, so thousands of
// lines a second do not hold the loop back. A flush that took long still puts the next one off
// (at least kIdleFactor times its time, up to kMaxBatchMs), so that the memo never takes more
// than about a twentieth of the loop; no line is skipped by that, they appear later.
class MemoView : public QListView {
  Q_OBJECT

 public:
  static constexpr int kBatchMs = 50;
  static constexpr int kMaxBatchMs = 2000;
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
  // The selected lines to the clipboard, one per line, top to bottom (Ctrl+C and "&Copy").
  void CopySelection();
  bool HasSelection() const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Schedule();
  void AppendLines(size_t from);

  const LogMemo& model_;
  const LogSettings& settings_;
  MemoLines lines_;
  QTimer batch_;
  size_t total_ = 0;     // lines in the model at the last flush
  size_t appended_ = 0;  // appended to the model since the last flush
  size_t removed_ = 0;   // removed from the model's top since the last flush
  bool cleared_ = false;
};

}  // namespace orvane
