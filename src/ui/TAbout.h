#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvane {

class StayOnTop;

// "About ...": the product, the project's web and mail addresses as links that open in the
// desktop's browser and mail program, and "&Ok". Hiding it gives the main window its topmost
// state back.
class TAbout : public QDialog {
  Q_OBJECT

 public:
  static constexpr const char* kWebAddress = "https://orvane-ftp.example.org/";
  static constexpr const char* kMailAddress = "orvane-ftp@example.org";

  TAbout(StayOnTop& stayOnTop, QWidget* parent = nullptr);

  QVBoxLayout Layout;
  QLabel Product;
  QLabel Web;
  QLabel Mail;
  QPushButton Ok{"&Ok"};

  // Called when hidden, to put the main window on top again.
  std::function<void()> OnHidden;

 protected:
  void hideEvent(QHideEvent* event) override;

 private:
  StayOnTop& stayOnTop_;
};

}  // namespace orvane
