#pragma once

#include <QLabel>
#include <QWidget>
#include <array>

namespace orvane {

// A status bar's six sunken text panels, side by side from the left (the main window's: 0
// client count, 1 server state, 2 throughput, 3 to 5 the selected user). Each panel is as wide
// as its design width or as its text, whichever is more, and the last one takes the rest of
// the bar. A bar narrower than that takes width back from the right, the last panel first,
// each down to kFloor; a panel too narrow for its text shows it elided, with the whole text as
// its tooltip. The panels never widen the window.
class StatusPanels : public QWidget {
  Q_OBJECT

 public:
  // The main window's design widths.
  static constexpr std::array<int, 6> kWidths = {90, 150, 85, 110, 95, 50};
  static constexpr int kFloor = 40;

  explicit StatusPanels(const std::array<int, 6>& widths = kWidths, QWidget* parent = nullptr);

  void SetText(int panel, const QString& text);
  // The whole text of a panel, as set.
  QString Text(int panel) const;
  // The width of a panel on screen.
  int Width(int panel) const;
  // Whether the panel shows its text cut, with "…".
  bool IsElided(int panel) const;
  const QLabel& Panel(int panel) const { return panels_.at(static_cast<size_t>(panel)); }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // The width the panel asks for: its design width, or its text's.
  int Natural(size_t panel) const;
  void Layout();

  std::array<int, 6> widths_;
  std::array<QString, 6> texts_;
  std::array<QLabel, 6> panels_;
};

}  // namespace orvane
