#include "ui/MemoView.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>

namespace orvane {

namespace {
const QColor kGreen(0, 128, 0);
}

MemoView::MemoView(const LogMemo& model, QWidget* parent) : QPlainTextEdit(parent), model_(model) {
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

void MemoView::Rebuild() {
  clear();
  shown_ = 0;
  AppendLines(0);
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
  const size_t total = model_.Lines().size();
  if (cleared_) {
    clear();
    shown_ = 0;
    cleared_ = false;
  }
  const size_t remove = std::min(removed_, shown_);
  const size_t add = std::min(appended_, total);
  appended_ = 0;
  removed_ = 0;
  if (shown_ - remove + add != total) {
    // The view lost track (it cannot, unless the model changed without telling): start over.
    Rebuild();
  } else {
    if (remove == shown_) {
      clear();
      shown_ = 0;
    } else if (remove > 0) {
      QTextCursor cursor(document());
      cursor.movePosition(QTextCursor::Start);
      cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor,
                          static_cast<int>(remove));
      cursor.removeSelectedText();
      shown_ -= remove;
    }
    AppendLines(total - add);
  }
  // The caret goes to the end with every new line, so the newest line is in view.
  if (add > 0) verticalScrollBar()->setValue(verticalScrollBar()->maximum());
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
