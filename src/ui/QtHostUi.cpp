#include "ui/QtHostUi.h"

#include <QApplication>
#include <cstdio>

#include "ui/AskingWindow.h"
#include "ui/QtText.h"
#include "ui/TMainForm.h"

namespace orvane {

namespace {

const char kTitle[] = "Orvane FTP Server";

}  // namespace

void QtHostUi::RunModal(QDialog& dialog) {
  if (OnModal) {
    OnModal(dialog);
  } else if (!unattended_) {
    dialog.exec();
  }
}

QWidget* QtHostUi::MessageParent() const {
  for (QWidget* window :
       {AskingWindow::Current(), QApplication::activeModalWidget(), QApplication::activeWindow()}) {
    if (window != nullptr && window->isVisible()) return window;
  }
  return form_;
}

std::unique_ptr<QMessageBox> QtHostUi::MakeBox(QWidget* parent, QMessageBox::Icon icon,
                                               const std::string& text,
                                               QMessageBox::StandardButtons buttons) {
  auto box = std::make_unique<QMessageBox>(icon, kTitle, Q(text), buttons, parent);
  if (parent != nullptr && parent->window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint)) {
    box->setWindowFlag(Qt::WindowStaysOnTopHint);
  }
  return box;
}

void QtHostUi::MemoAppend(const std::string& line, MemoColor) {
  if (echo_) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
  if (form_ != nullptr) form_->ServMemo.NoteAppended();
}

void QtHostUi::MemoRemoveFirst(size_t count) {
  if (form_ != nullptr) form_->ServMemo.NoteRemoved(count);
}

void QtHostUi::MemoClear() {
  if (form_ != nullptr) form_->ServMemo.NoteCleared();
}

void QtHostUi::StatusPanel(int panel, const std::string& text) {
  if (form_ != nullptr) form_->SetPanel(panel, Q(text));
}

void QtHostUi::MessageBox(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
  if (OnMessage) {
    OnMessage(text);
  } else if (!unattended_) {
    MakeBox(MessageParent(), QMessageBox::Information, text, QMessageBox::Ok)->exec();
  }
}

bool QtHostUi::Confirm(const std::string& question) {
  if (OnConfirm) return OnConfirm(question);
  if (unattended_) {
    // As the program without windows answers: on standard output, Yes.
    if (echo_) {
      std::fprintf(stdout, "%s Yes\n", question.c_str());
      std::fflush(stdout);
    }
    return true;
  }
  const std::unique_ptr<QMessageBox> box =
      MakeBox(MessageParent(), QMessageBox::Question, question, QMessageBox::Yes | QMessageBox::No);
  box->setDefaultButton(QMessageBox::Yes);
  return box->exec() == QMessageBox::Yes;
}

void QtHostUi::ActivateCaption(const std::string& caption) {
  if (form_ != nullptr) form_->SetActivateCaption(Q(caption));
}

void QtHostUi::TrayIcon(int image, const std::string& hint) {
  if (form_ != nullptr) form_->SetTray(image, Q(hint));
}

void QtHostUi::ClientListChanged() {
  if (form_ != nullptr) form_->RefreshLists();
}

void QtHostUi::BanListChanged() {
  if (form_ != nullptr) form_->RefreshLists();
}

}  // namespace orvane
