#pragma once

#include <QLabel>
#include <QWidget>
#include <array>

namespace orvane {

// StatusBar1's panels: six sunken text panels of fixed widths side by side from the left, as
// the main window's status bar has them (0 client count, 1 server state, 2 throughput, 3 to 5
// the selected user). The widths are those of the window's first design, whose font was
// narrower than today's desktop fonts: they grow with the font so that "FTP Server
// On-line/Port : 65535" fits its panel. A window narrower than the panels cuts the last ones
// off at its edge; the panels never widen the window.
class StatusPanels : public QWidget {
  Q_OBJECT

 public:
  static constexpr std::array<int, 6> kWidths = {90, 150, 85, 110, 95, 50};

  explicit StatusPanels(QWidget* parent = nullptr);

  void SetText(int panel, const QString& text);
  QString Text(int panel) const;
  // The width of a panel on screen: its design width times the font's factor.
  int Width(int panel) const;
  const QLabel& Panel(int panel) const { return panels_.at(static_cast<size_t>(panel)); }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Layout();
  void changeEvent(QEvent* event) override;

  std::array<QLabel, 6> panels_;
  double scale_ = 1.0;
};

}  // namespace orvane
