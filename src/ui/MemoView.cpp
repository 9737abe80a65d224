#include "ui/MemoView.h"

#include <QElapsedTimer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>

namespace orvane {

namespace {
const QColor kGreen(0, 128, 0);
}

MemoView::MemoView(const LogMemo& model, const LogSettings& settings, QWidget* parent)
    : QPlainTextEdit(parent), model_(model), settings_(settings) {
  setObjectName("ServMemo");
  setReadOnly(true);
  setUndoRedoEnabled(false);
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
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

void MemoView::RemoveFirst(size_t count) {
  if (count == 0) return;
  if (count >= shown_) {
    clear();
    shown_ = 0;
    return;
  }
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::Start);
  cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, static_cast<int>(count));
  cursor.removeSelectedText();
  shown_ -= count;
}

void MemoView::AppendLines(size_t from) {
  const auto& lines = model_.Lines();
  if (from >= lines.size()) return;
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  cursor.beginEditBlock();
  QTextCharFormat black;
  black.setForeground(palette().color(QPalette::Text));
  QTextCharFormat green;
  green.setForeground(kGreen);
  for (size_t i = from; i < lines.size(); ++i) {
    if (shown_ > 0) cursor.insertBlock();
    cursor.insertText(
        QString::fromUtf8(lines[i].text.data(), static_cast<qsizetype>(lines[i].text.size())),
        lines[i].color == MemoColor::Green ? green : black);
    ++shown_;
  }
  cursor.endEditBlock();
}

void MemoView::Flush() {
  batch_.stop();
  QElapsedTimer took;
  took.start();
  const size_t total = model_.Lines().size();
  const std::optional<int> maxLines = settings_.MaxLinesValue();
  const size_t cap = maxLines && *maxLines >= 0 ? static_cast<size_t>(*maxLines) : SIZE_MAX;
  if (cleared_) {
    clear();
    shown_ = 0;
    total_ = 0;
    cleared_ = false;
  }
  // The model's first (total_ - shown_) lines were never in the view; what the model removed
  // beyond them leaves the view too.
  const size_t hidden = total_ - shown_;
  RemoveFirst(std::min(shown_, removed_ > hidden ? removed_ - hidden : 0));
  const size_t add = std::min({appended_, total, cap});
  RemoveFirst(shown_ + add > cap ? shown_ + add - cap : 0);
  AppendLines(total - add);
  appended_ = 0;
  removed_ = 0;
  total_ = total;
  if (shown_ != std::min(total, cap)) {
    // "Max Lines" grew (lines the view skipped are wanted now), or the model changed without
    // telling: show the model's end again.
    clear();
    shown_ = 0;
    AppendLines(total - std::min(total, cap));
  }
  // The caret goes to the end with every new line, so the newest line is in view.
  if (add > 0) verticalScrollBar()->setValue(verticalScrollBar()->maximum());
  batch_.setInterval(
      static_cast<int>(std::clamp<qint64>(took.elapsed() * kIdleFactor, kBatchMs, kMaxBatchMs)));
}

QStringList MemoView::VisibleLines() const {
  QStringList lines;
  if (shown_ == 0) return lines;
  for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) lines << b.text();
  return lines;
}

bool MemoView::IsGreen(int line) const {
  const QTextBlock block = document()->findBlockByNumber(line);
  if (!block.isValid() || block.begin().atEnd()) return false;
  return block.begin().fragment().charFormat().foreground().color() == kGreen;
}

}  // namespace orvane
