#include "ui/ButtonRow.h"

namespace orvane {

void ButtonRow::Place(QBoxLayout& window, std::initializer_list<QPushButton*> buttons,
                      Default choice) {
  addStretch(1);
  for (QPushButton* button : buttons) {
    addWidget(button);
    if (choice == Default::None) {
      button->setDefault(false);
      button->setAutoDefault(false);
    }
  }
  window.addLayout(this);
  if (choice == Default::First && buttons.size() > 0) (*buttons.begin())->setDefault(true);
}

}  // namespace orvane
