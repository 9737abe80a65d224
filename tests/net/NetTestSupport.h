#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "net/EventLoop.h"
#include "net/TWSocket.h"
#include "platform/UniqueFd.h"

namespace orvane::test {

using namespace std::chrono_literals;

// A plain blocking socket connected to 127.0.0.1:port. The kernel completes the handshake into
// the listener's backlog, so this needs no loop step.
inline UniqueFd ConnectPlain(int port) {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd.Get(), reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) return UniqueFd();
  return fd;
}

// Whatever is waiting on fd now, without blocking.
inline std::string ReadWaiting(int fd) {
  std::string out;
  char buf[4096];
  for (;;) {
    const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n <= 0) return out;
    out.append(buf, static_cast<size_t>(n));
  }
}

// One Receive on s, appended to `into`; returns Receive's result.
inline int ReceiveInto(TCustomWSocket& s, std::string& into) {
  char buf[1024];
  const int n = s.Receive(buf, sizeof buf);
  if (n > 0) into.append(buf, static_cast<size_t>(n));
  return n;
}

inline bool WriteAll(int fd, const std::string& data) {
  return ::send(fd, data.data(), data.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(data.size());
}

// A loop with a loopback listener that hands the next accepted connection to a chosen socket.
class LoopbackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    listener_.SetAddr("127.0.0.1");
    listener_.SetPort("0");  // the system chooses
    ASSERT_EQ(listener_.Listen(), 0);
    port_ = std::stoi(listener_.GetXPort());
    listener_.OnSessionAvailable = [this](TCustomWSocket& l, uint16_t) {
      UniqueFd fd(l.Accept());
      if (target_ != nullptr && fd) target_->Dup(fd.Release());
      target_ = nullptr;
    };
  }

  // Connects a plain peer and lets the listener adopt the server end into conn.
  UniqueFd Adopt(TWSocket& conn) {
    target_ = &conn;
    UniqueFd peer = ConnectPlain(port_);
    EXPECT_TRUE(peer);
    EXPECT_TRUE(loop_.RunUntil([&] { return target_ == nullptr; }, 2s));
    return peer;
  }

  // Runs the loop for a bounded time, for checks that something does NOT happen.
  void Settle(std::chrono::milliseconds time = 100ms) {
    loop_.RunUntil([] { return false; }, time);
  }

  EventLoop loop_;
  TWSocket listener_{loop_};
  TWSocket* target_ = nullptr;
  int port_ = 0;
};

}  // namespace orvane::test
