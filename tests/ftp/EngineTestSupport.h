#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "ftp/TFtpServer.h"
#include "net/EventLoop.h"
#include "platform/UniqueFd.h"

namespace orvane::test {

using namespace std::chrono_literals;

// A plain FTP control-connection client over a non-blocking POSIX socket. It never blocks and
// never sleeps: every wait steps the engine's loop until the awaited bytes are there or a
// deadline passes.
class FtpClient {
 public:
  static constexpr std::chrono::milliseconds kWait = 3s;

  // rcvBuf > 0 sets a small receive buffer before connecting, so that the server's replies
  // back up when this client stops reading.
  FtpClient(EventLoop& loop, int port, int rcvBuf = 0) : loop_(loop) {
    fd_.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (rcvBuf > 0) ::setsockopt(fd_.Get(), SOL_SOCKET, SO_RCVBUF, &rcvBuf, sizeof rcvBuf);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // The kernel completes the handshake into the listener's backlog: no loop step needed.
    connected_ = ::connect(fd_.Get(), reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
    ::fcntl(fd_.Get(), F_SETFL, ::fcntl(fd_.Get(), F_GETFL) | O_NONBLOCK);
  }

  bool Connected() const { return connected_; }
  int Fd() const { return fd_.Get(); }

  // Writes all bytes, stepping the loop while the socket is full.
  bool Send(const std::string& bytes) {
    size_t done = 0;
    const bool ok = loop_.RunUntil(
        [&] {
          while (done < bytes.size()) {
            const ssize_t n =
                ::send(fd_.Get(), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n < 0) return errno != EAGAIN && errno != EWOULDBLOCK;
            done += static_cast<size_t>(n);
          }
          return true;
        },
        kWait);
    return ok && done == bytes.size();
  }

  // The next reply line without its CR LF; "<none>" when nothing complete arrived in time.
  std::string ReadLine(std::chrono::milliseconds wait = kWait) {
    loop_.RunUntil(
        [&] {
          Pump();
          return input_.find('\n') != std::string::npos || eof_ || reset_;
        },
        wait);
    const size_t lf = input_.find('\n');
    if (lf == std::string::npos) return "<none>";
    std::string line = input_.substr(0, lf);
    input_.erase(0, lf + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }

  // Sends one command line with CR LF and returns the reply line.
  std::string Command(const std::string& line) {
    if (!Send(line + "\r\n")) return "<send failed>";
    return ReadLine();
  }

  // Waits for the end of the stream; true when the server closed the connection (EOF or reset).
  // Bytes that arrive before the end stay readable with ReadLine/TakeInput.
  bool WaitClosed(std::chrono::milliseconds wait = kWait) {
    return loop_.RunUntil(
        [&] {
          Pump();
          return eof_ || reset_;
        },
        wait);
  }
  bool SawEof() const { return eof_; }
  bool SawReset() const { return reset_; }

  // Everything received and not yet taken as lines.
  std::string TakeInput() {
    Pump();
    std::string out;
    out.swap(input_);
    return out;
  }
  // Reads what is waiting now, without stepping the loop.
  void Pump() {
    char buf[65536];
    while (!eof_ && !reset_) {
      const ssize_t n = ::recv(fd_.Get(), buf, sizeof buf, MSG_DONTWAIT);
      if (n > 0) {
        input_.append(buf, static_cast<size_t>(n));
        continue;
      }
      if (n == 0) eof_ = true;
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) reset_ = true;
      return;
    }
  }

  // Closes the connection: gracefully, or with a reset (linger on, zero time).
  void Close() { fd_.Reset(); }
  void Reset() {
    const linger abortive{1, 0};
    ::setsockopt(fd_.Get(), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    fd_.Reset();
  }

 private:
  EventLoop& loop_;
  UniqueFd fd_;
  bool connected_ = false;
  std::string input_;
  bool eof_ = false;
  bool reset_ = false;
};

// A loop and a started engine on a port the system chose. Tests connect plain clients to it and
// step the loop through the clients' waits.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The engine handles every failure of its own events; nothing may reach the loop.
    loop_.OnUnhandledException = [](const std::exception& e) {
      ADD_FAILURE() << "exception left an engine event: " << e.what();
    };
    server_ = std::make_unique<TFtpServer>(loop_);
    server_->Port = "0";
    server_->Start();
    ASSERT_TRUE(server_->Active());
    port_ = std::stoi(server_->ServerSocket().GetXPort());
  }

  // A client whose session has been accepted and greeted: the banner is its first line.
  std::unique_ptr<FtpClient> Connect() {
    auto client = std::make_unique<FtpClient>(loop_, port_);
    EXPECT_TRUE(client->Connected());
    EXPECT_EQ(client->ReadLine(), server_->Banner);
    return client;
  }

  // A connected client logged in through USER and PASS.
  std::unique_ptr<FtpClient> Login(const std::string& user = "anna") {
    auto client = Connect();
    EXPECT_EQ(client->Command("USER " + user), "331 Password required for " + user + ".");
    EXPECT_EQ(client->Command("PASS secret"), "230 User " + user + " logged in.");
    return client;
  }

  // Steps the loop until the server holds n sessions.
  bool WaitClientCount(int n) {
    return loop_.RunUntil([&] { return server_->ClientCount() == n; }, FtpClient::kWait);
  }

  // Runs the loop for a bounded time, for checks that something does NOT happen.
  void Settle(std::chrono::milliseconds time = 100ms) {
    loop_.RunUntil([] { return false; }, time);
  }

  EventLoop loop_;
  std::unique_ptr<TFtpServer> server_;
  int port_ = 0;
};

}  // namespace orvane::test
