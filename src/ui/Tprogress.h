#pragma once

#include <QDialog>
#include <QProgressBar>
#include <QVBoxLayout>

namespace orvane {

// The loading window: one progress bar that the creation of the other windows moves on.
class Tprogress : public QDialog {
  Q_OBJECT

 public:
  explicit Tprogress(QWidget* parent = nullptr);

  // Shown with the caption "Loading ..." and the given maximum.
  void Begin(int maximum);
  void SetPosition(int position);
  // The last window exists: the bar at its maximum, the window hidden.
  void End();

  QVBoxLayout Layout;
  QProgressBar ProgressBar1;
};

}  // namespace orvane
