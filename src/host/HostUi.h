#pragma once

#include <string>

namespace orvane {

enum class MemoColor { Black, Green };

// The one narrow interface through which the host shows and asks: the desktop windows, the
// program without windows and the tests each implement it. Every call comes on the loop thread.
class HostUi {
 public:
  virtual ~HostUi() = default;

  // A line appended to the log memo, and lines removed from its top by the trimming.
  virtual void MemoAppend(const std::string& line, MemoColor color) = 0;
  virtual void MemoRemoveFirst(size_t count) { (void)count; }
  virtual void MemoClear() {}
  // The memo lines appended so far may leave the program now: the host calls this once per
  // loop round, after the log file has the round's lines (a front end that writes its memo
  // to a stream buffers it until then).
  virtual void MemoFlush() {}
  // Status-bar panel 0..5 of the main window (0 client count, 1 server state, 2 throughput).
  virtual void StatusPanel(int panel, const std::string& text) = 0;
  // A message box with a fixed text, and a Yes/No confirmation.
  virtual void MessageBox(const std::string& text) = 0;
  virtual bool Confirm(const std::string& question) = 0;
  // Caption of the start/stop command ("Activate", "Activer", "Arrêter").
  virtual void ActivateCaption(const std::string& caption) { (void)caption; }
  // Notification-area icon: image 0 (no client) or 1, and its hint.
  virtual void TrayIcon(int image, const std::string& hint) {
    (void)image;
    (void)hint;
  }
  // The client list changed (rows added or removed); the window re-reads the host's list.
  virtual void ClientListChanged() {}
  // The host itself changed the ban list (an automatic ban, or its end); the window re-reads it.
  virtual void BanListChanged() {}
};

}  // namespace orvane
