#include "ui/MemoView.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <algorithm>
#include <vector>

namespace orvane {

MemoView::MemoView(const LogMemo& model, const LogSettings& settings, QWidget* parent)
    : QListView(parent), model_(model), settings_(settings) {
  setObjectName("ServMemo");
  setModel(&lines_);
  // Every row has the height of one text line: the view lays out only what is on screen.
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setTextElideMode(Qt::ElideRight);
  setWordWrap(false);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  batch_.setSingleShot(true);
  batch_.setInterval(kBatchMs);
  connect(&batch_, &QTimer::timeout, this, &MemoView::Flush);
  appended_ = model_.Lines().size();
  Schedule();
}

void MemoView::NoteCleared() {
  cleared_ = true;
  appended_ = 0;
  removed_ = 0;
  Schedule();
}

void MemoView::Schedule() {
  if (!batch_.isActive()) batch_.start();
}

void MemoView::AppendLines(size_t from) {
  const auto& lines = model_.Lines();
  if (from >= lines.size()) return;
  std::vector<MemoLines::Line> batch;
  batch.reserve(lines.size() - from);
  for (size_t i = from; i < lines.size(); ++i) {
    batch.push_back(
        {QString::fromUtf8(lines[i].text.data(), static_cast<qsizetype>(lines[i].text.size())),
         lines[i].color == MemoColor::Green});
  }
  lines_.Append(std::move(batch));
}

void MemoView::Flush() {
  batch_.stop();
  QElapsedTimer took;
  took.start();
  const size_t total = model_.Lines().size();
  const std::optional<int> maxLines = settings_.MaxLinesValue();
  const size_t cap = maxLines && *maxLines >= 0 ? static_cast<size_t>(*maxLines) : SIZE_MAX;
  if (cleared_) {
    lines_.Clear();
    total_ = 0;
    cleared_ = false;
  }
  size_t shown = lines_.Size();
  // The model's first (total_ - shown) lines were never in the view; what the model removed
  // beyond them leaves the view too.
  const size_t hidden = total_ - shown;
  lines_.RemoveFirst(std::min(shown, removed_ > hidden ? removed_ - hidden : 0));
  shown = lines_.Size();
  const size_t add = std::min({appended_, total, cap});
  lines_.RemoveFirst(shown + add > cap ? shown + add - cap : 0);
  AppendLines(total - add);
  appended_ = 0;
  removed_ = 0;
  total_ = total;
  if (lines_.Size() != std::min(total, cap)) {
    // "Max Lines" grew (lines the view skipped are wanted now), or the model changed without
    // telling: show the model's end again.
    lines_.Clear();
    AppendLines(total - std::min(total, cap));
  }
  // The newest line comes into view with every batch of new lines, as a memo's caret follows it.
  if (add > 0) scrollToBottom();
  batch_.setInterval(
      static_cast<int>(std::clamp<qint64>(took.elapsed() * kIdleFactor, kBatchMs, kMaxBatchMs)));
}

QStringList MemoView::VisibleLines() const {
  QStringList lines;
  for (size_t row = 0; row < lines_.Size(); ++row) lines << lines_.At(row).text;
  return lines;
}

bool MemoView::IsGreen(int line) const {
  return line >= 0 && static_cast<size_t>(line) < lines_.Size() &&
         lines_.At(static_cast<size_t>(line)).green;
}

void MemoView::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    CopySelection();
    return;
  }
  QListView::keyPressEvent(event);
}

bool MemoView::HasSelection() const {
  return selectionModel()->hasSelection();
}

void MemoView::CopySelection() {
  QModelIndexList rows = selectionModel()->selectedRows();
  if (rows.isEmpty()) return;
  std::sort(rows.begin(), rows.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  QStringList text;
  for (const QModelIndex& row : rows) text << lines_.At(static_cast<size_t>(row.row())).text;
  QApplication::clipboard()->setText(text.join('\n'));
}

}  // namespace orvane
