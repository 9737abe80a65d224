#pragma once

#include <QBoxLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <initializer_list>

namespace orvane {

// The row of buttons at the foot of a window ("&Ok", "&Cancel" ...), pushed to the right. A
// window declares its row before the buttons, as a layout comes before what it holds, and
// places them with Place once they exist; the buttons stay the window's members.
class ButtonRow : public QHBoxLayout {
 public:
  enum class Default {
    First,  // the first button is the window's default: Enter presses it
    None,   // Enter presses no button of the row
  };

  // Adds the buttons after a stretch, in their order, and the row at the foot of `window`.
  void Place(QBoxLayout& window, std::initializer_list<QPushButton*> buttons,
             Default choice = Default::First);
};

}  // namespace orvane
