#pragma once

#include <QAbstractListModel>
#include <QString>
#include <deque>
#include <vector>

namespace orvane {

// The lines the memo view shows, as a Qt list model: the text, and green for command echo lines
// (the foreground role). The view adds lines at the end and removes them from the top in
// batches; a row costs one short string, and nothing is laid out that is not on screen.
class MemoLines : public QAbstractListModel {
  Q_OBJECT

 public:
  struct Line {
    QString text;
    bool green = false;
  };

  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  void Append(std::vector<Line> lines);
  void RemoveFirst(size_t count);
  void Clear();
  size_t Size() const { return lines_.size(); }
  const Line& At(size_t row) const { return lines_[row]; }

 private:
  std::deque<Line> lines_;
};

}  // namespace orvane
