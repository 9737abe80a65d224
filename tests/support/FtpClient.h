#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

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
  // back up when this client stops reading. fromAddress binds the client to another loopback
  // address (127.0.0.2 ...), so that the server sees a different peer; "::1" connects over
  // IPv6 to the server's ::1 instead.
  FtpClient(EventLoop& loop, int port, int rcvBuf = 0, const char* fromAddress = nullptr)
      : loop_(loop) {
    const bool v6 =
        fromAddress != nullptr && std::string(fromAddress).find(':') != std::string::npos;
    fd_.Reset(::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (rcvBuf > 0) ::setsockopt(fd_.Get(), SOL_SOCKET, SO_RCVBUF, &rcvBuf, sizeof rcvBuf);
    if (v6) {
      sockaddr_in6 to{};
      to.sin6_family = AF_INET6;
      to.sin6_port = htons(static_cast<uint16_t>(port));
      to.sin6_addr = in6addr_loopback;
      connected_ = ::connect(fd_.Get(), reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
      ::fcntl(fd_.Get(), F_SETFL, ::fcntl(fd_.Get(), F_GETFL) | O_NONBLOCK);
      return;
    }
    if (fromAddress != nullptr) {
      sockaddr_in from{};
      from.sin_family = AF_INET;
      ::inet_pton(AF_INET, fromAddress, &from.sin_addr);
      ::bind(fd_.Get(), reinterpret_cast<sockaddr*>(&from), sizeof from);
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // The kernel completes the handshake into the listener's backlog: no loop step needed.
    connected_ = ::connect(fd_.Get(), reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
    ::fcntl(fd_.Get(), F_SETFL, ::fcntl(fd_.Get(), F_GETFL) | O_NONBLOCK);
  }

  // Whether this machine lets a socket bind ::1 (IPv6 tests are skipped when it does not).
  static bool IPv6LoopbackWorks() {
    UniqueFd probe(::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!probe) return false;
    sockaddr_in6 any{};
    any.sin6_family = AF_INET6;
    any.sin6_addr = in6addr_loopback;
    return ::bind(probe.Get(), reinterpret_cast<sockaddr*>(&any), sizeof any) == 0;
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

  // Reads lines up to and including the last line of a reply (code and a blank).
  std::vector<std::string> ReadReply(std::chrono::milliseconds wait = kWait) {
    std::vector<std::string> lines;
    for (;;) {
      lines.push_back(ReadLine(wait));
      const std::string& l = lines.back();
      if (l == "<none>" || (l.size() >= 4 && l[3] == ' ')) return lines;
    }
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

}  // namespace orvane::test
