#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <QDialog>
#include <QTest>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/IniFile.h"
#include "platform/TempDir.h"
#include "support/FtpClient.h"
#include "ui/DesktopProgram.h"
#include "support/FtpHostTestAccess.h"

namespace orvane::test {

// A TCP port nobody uses right now, below the ephemeral range: the system never hands it to
// a test's own client connection while the server is starting.
inline int FreePort() {
  static std::mt19937 random(std::random_device{}());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int port = std::uniform_int_distribution<int>(20000, 31999)(random);
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(static_cast<uint16_t>(port));
    at.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&at), sizeof at) == 0) return port;
  }
  return 0;
}

// The whole desktop program on a temporary directory, its autostart entry in another one.
// Modal boxes never show: questions are answered from `answers` (Yes when it runs out) and
// recorded in `questions`; message boxes land in `messages`; other modal windows (the tip
// window) are handed to `onModal`, which by default records their title and closes them.
class Desktop {
 public:
  static constexpr const char* kAccounts =
      "[anonymous]\r\nLogin=anonymous\r\nEnableLogin=0\r\nEnablePass=0\r\nEnabled=1\r\n"
      "Dir0=C:\\\r\nAttr0=R---LS\r\n";

  explicit Desktop(const std::string& ini = "", bool withAccounts = true) {
    if (!ini.empty()) WriteBytes(dir / "FTPsrv.ini", ini);
    if (withAccounts) WriteBytes(dir / "Accounts.ini", kAccounts);
    onModal = [this](QDialog& d) {
      modals.push_back(d.windowTitle().toStdString());
      d.accept();
    };
  }

  // Builds and starts the program; false when the start-up failed.
  bool Start(std::optional<std::string> port = std::nullopt) {
    DesktopProgram::Options options;
    options.dir = dir.Path() + "/";
    options.port = std::move(port);
    options.autostartDirectory = xdg / "autostart";
    options.autostartCommand = {"/opt/orvane/orvane-ftp-server", "--dir", dir.Path()};
    program = std::make_unique<DesktopProgram>(options);
    QtHostUi& ui = program->Ui();
    ui.OnConfirm = [this](const std::string& q) {
      questions.push_back(q);
      if (answers.empty()) return true;
      const bool a = answers.front();
      answers.pop_front();
      return a;
    };
    ui.OnMessage = [this](const std::string& m) { messages.push_back(m); };
    ui.OnModal = [this](QDialog& d) { onModal(d); };
    return program->Start();
  }

  FtpHost& Host() { return program->Host(); }
  TMainForm& Main() { return program->MainForm(); }
  IniFile Ini() const { return IniFile(dir / "FTPsrv.ini"); }
  // The port the server listens on; 0 when it does not listen.
  int Port() const {
    TFtpServer& server = FtpHostTestAccess::Engine(program->Host());
    return server.Active() ? std::atoi(server.ServerSocket().GetXPort().c_str()) : 0;
  }

  // A client connected from `from` that has read its greeting; logged in as anonymous when
  // asked, and the host's list then holds it.
  std::unique_ptr<FtpClient> Connect(bool login = true, const char* from = "127.0.0.1") {
    auto c = std::make_unique<FtpClient>(program->Loop(), Port(), 0, from);
    c->ReadReply();
    if (login) {
      c->Command("USER anonymous");
      c->Send("PASS guest@\r\n");
      c->ReadReply();
    }
    return c;
  }

  // The memo on screen, brought up to date.
  QStringList Memo() {
    Main().ServMemo.Flush();
    return Main().ServMemo.VisibleLines();
  }

  TempDir dir;
  TempDir xdg;
  std::unique_ptr<DesktopProgram> program;
  std::deque<bool> answers;
  std::vector<std::string> questions;
  std::vector<std::string> messages;
  std::vector<std::string> modals;
  std::function<void(QDialog&)> onModal;
};

inline std::string Str(const QString& s) {
  return s.toStdString();
}

}  // namespace orvane::test
