#include "ui/MemoLines.h"

#include <QBrush>
#include <QColor>

namespace orvane {

int MemoLines::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

QVariant MemoLines::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() < 0 || static_cast<size_t>(index.row()) >= lines_.size()) {
    return {};
  }
  const Line& line = lines_[static_cast<size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:  // the whole line, also when it is wider than the memo
      return line.text;
    case Qt::ForegroundRole:
      if (line.green) return QBrush(QColor(0, 128, 0));
      return {};
    default:
      return {};
  }
}

void MemoLines::Append(std::vector<Line> lines) {
  if (lines.empty()) return;
  const int first = static_cast<int>(lines_.size());
  beginInsertRows(QModelIndex(), first, first + static_cast<int>(lines.size()) - 1);
  for (Line& line : lines) lines_.push_back(std::move(line));
  endInsertRows();
}

void MemoLines::RemoveFirst(size_t count) {
  if (count == 0 || lines_.empty()) return;
  if (count >= lines_.size()) {
    Clear();
    return;
  }
  beginRemoveRows(QModelIndex(), 0, static_cast<int>(count) - 1);
  lines_.erase(lines_.begin(), lines_.begin() + static_cast<std::ptrdiff_t>(count));
  endRemoveRows();
}

void MemoLines::Clear() {
  if (lines_.empty()) return;
  beginResetModel();
  lines_.clear();
  endResetModel();
}

}  // namespace orvane
