#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "host/FtpHost.h"
#include "net/EventLoop.h"
#include "platform/TempDir.h"
#include "platform/UniqueFd.h"
#include "support/FtpClient.h"
#include "support/FtpHostTestAccess.h"

namespace orvane::test {

using namespace std::chrono_literals;

// The host's windows as a recorder: every memo line, panel text, message box, question, caption
// and tray change is kept for the test to look at; confirmations are answered from a queue
// (Yes when it is empty).
class FakeUi : public HostUi {
 public:
  struct MemoLine {
    std::string text;
    MemoColor color;
  };

  void MemoAppend(const std::string& line, MemoColor color) override {
    memo.push_back({line, color});
  }
  void MemoRemoveFirst(size_t count) override {
    memo.erase(memo.begin(), memo.begin() + static_cast<std::ptrdiff_t>(count));
  }
  void MemoClear() override { memo.clear(); }
  void StatusPanel(int panel, const std::string& text) override { panels.at(panel) = text; }
  void MessageBox(const std::string& text) override { messages.push_back(text); }
  bool Confirm(const std::string& question) override {
    questions.push_back(question);
    if (answers.empty()) return true;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void ActivateCaption(const std::string& text) override { caption = text; }
  void BanListChanged() override { ++banListChanges; }
  void TrayIcon(int image, const std::string& hint) override {
    trayImage = image;
    trayHint = hint;
  }

  bool MemoHas(const std::string& text) const {
    for (const MemoLine& l : memo) {
      if (l.text == text) return true;
    }
    return false;
  }
  int MemoCount(const std::string& text) const {
    int n = 0;
    for (const MemoLine& l : memo) n += l.text == text ? 1 : 0;
    return n;
  }

  std::vector<MemoLine> memo;
  std::vector<std::string> panels = std::vector<std::string>(6);
  std::vector<std::string> messages;
  std::vector<std::string> questions;
  std::deque<bool> answers;
  std::string caption;
  int trayImage = -1;
  int banListChanges = 0;
  std::string trayHint;
};

// Clients of the host are the plain control-connection clients of the engine tests.
using HostClient = FtpClient;

// The text with every date ("2026-12-09") replaced by "<date>", every time ("14:05:09") by
// "<time>", and a date followed by a blank and a time by "<stamp>", so that log lines and
// greetings compare exactly.
inline std::string Normalize(const std::string& text) {
  auto fits = [&](size_t at, const char* shape) {
    for (size_t k = 0; shape[k] != 0; ++k) {
      if (at + k >= text.size()) return false;
      const char c = text[at + k];
      if (shape[k] == '#' ? !std::isdigit(static_cast<unsigned char>(c)) : c != shape[k]) {
        return false;
      }
    }
    return true;
  };
  std::string out;
  for (size_t i = 0; i < text.size();) {
    if (fits(i, "####-##-## ##:##:##")) {
      out += "<stamp>";
      i += 19;
    } else if (fits(i, "####-##-##")) {
      out += "<date>";
      i += 10;
    } else if (fits(i, "##:##:##")) {
      out += "<time>";
      i += 8;
    } else {
      out += text[i++];
    }
  }
  return out;
}

// One host in-process on a temporary program directory, started on a port the system chooses.
class HostTest : public ::testing::Test {
 protected:
  // Writes FTPsrv.ini (when given) and starts the host as the program does, with the engine
  // started at once on port "0"; port_ is the port it really listens on.
  void StartHost(const std::string& ini = "") {
    if (!ini.empty()) WriteBytes(dir_ / "FTPsrv.ini", ini);
    host_ = std::make_unique<FtpHost>(loop_, ui_, dir_.Path() + "/");
    ASSERT_TRUE(host_->StartUp(std::string("0"), true));
    ASSERT_TRUE(host_->Active());
    port_ = std::stoi(FtpHostTestAccess::Engine(*host_).ServerSocket().GetXPort());
  }

  // A client that has read its whole greeting (or refusal).
  std::unique_ptr<HostClient> Connect(const char* from = "127.0.0.1") {
    auto c = std::make_unique<HostClient>(loop_, port_, 0, from);
    EXPECT_TRUE(c->Connected());
    return c;
  }

  // Steps the loop until the memo shows the line `count` times.
  bool WaitMemo(const std::string& line, int count = 1) {
    return loop_.RunUntil([&] { return ui_.MemoCount(line) >= count; }, 3s);
  }

  std::string LogFile() {
    host_->Log().Flush();
    return ReadBytes(dir_ / "FTP.log");
  }

  TempDir dir_;
  EventLoop loop_;
  FakeUi ui_;
  std::unique_ptr<FtpHost> host_;
  int port_ = 0;
};

}  // namespace orvane::test
