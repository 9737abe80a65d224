#pragma once

#include <QDialog>
#include <QMessageBox>
#include <functional>
#include <memory>
#include <string>

#include "host/HostUi.h"

namespace orvane {

class TMainForm;

// The host's windows under Qt: memo lines, panels, captions, the tray icon and the client list
// go to the main window; message boxes and Yes/No questions are modal boxes. Like the program
// without windows, every memo line is also written to standard output.
//
// Tests and the end by a signal answer the modal boxes without showing them: OnConfirm and
// OnMessage, when set, take the place of the boxes, and OnModal of every other modal window.
class QtHostUi : public HostUi {
 public:
  using ConfirmHandler = std::function<bool(const std::string& question)>;
  using MessageHandler = std::function<void(const std::string& text)>;
  using ModalHandler = std::function<void(QDialog& dialog)>;

  explicit QtHostUi(bool echoToStdout = false) : echo_(echoToStdout) {}

  // The main window once it exists (nothing is shown before; its memo mirrors the host's
  // model and so shows every line from the start).
  void Attach(TMainForm* form) { form_ = form; }
  // The program is ending without the operator: questions are answered Yes and messages only
  // written to standard error.
  void SetUnattended(bool on) { unattended_ = on; }

  // Runs a modal window (tip, about, free files ...) through OnModal or exec().
  void RunModal(QDialog& dialog);

  // The window a box now shown would belong to: the window that asked (AskingWindow), else
  // the modal window open, else the active window, else the main window.
  QWidget* MessageParent() const;
  // A box of the host's title owned by parent and shown above it: the box of a window that
  // stays on top stays on top too.
  static std::unique_ptr<QMessageBox> MakeBox(QWidget* parent, QMessageBox::Icon icon,
                                              const std::string& text,
                                              QMessageBox::StandardButtons buttons);

  ConfirmHandler OnConfirm;
  MessageHandler OnMessage;
  ModalHandler OnModal;

  void MemoAppend(const std::string& line, MemoColor color) override;
  void MemoRemoveFirst(size_t count) override;
  void MemoClear() override;
  void StatusPanel(int panel, const std::string& text) override;
  void MessageBox(const std::string& text) override;
  bool Confirm(const std::string& question) override;
  void ActivateCaption(const std::string& caption) override;
  void TrayIcon(int image, const std::string& hint) override;
  void ClientListChanged() override;
  void BanListChanged() override;

 private:
  TMainForm* form_ = nullptr;
  bool echo_ = false;
  bool unattended_ = false;
};

}  // namespace orvane
