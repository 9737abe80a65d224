// Command framing and dispatch through the real host: one loopback control connection per
// input, whose bytes are sent as they are (partial lines, CR, NUL, Telnet bytes, over-long
// lines), then the client stops sending and reads every answer until the server closes.
//
// The host runs on a scratch directory with an anonymous account (C:\pub, read and list) and a
// named one (user/pw, C:\home, every right), log lines on screen and in a file (/dev/null), and no
// delay, disconnect or ban for wrong passwords, so that every input ends quickly. PORT and EPRT
// lines are pointed at a sink this program listens on, so that no active data connection reaches
// any other program of the machine.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "host/FtpHost.h"
#include "net/EventLoop.h"
#include "platform/AsciiCase.h"
#include "platform/UniqueFd.h"
#include "support/FtpClient.h"
#include "support/FtpHostTestAccess.h"

using namespace orvane;
using namespace std::chrono_literals;

namespace {

class NullUi : public HostUi {
 public:
  void MemoAppend(const std::string&, MemoColor) override {}
  void StatusPanel(int, const std::string&) override {}
  void MessageBox(const std::string&) override {}
  bool Confirm(const std::string&) override { return true; }
};

// A listening socket on 127.0.0.1 that takes the engine's active data connections.
class Sink {
 public:
  Sink() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd_.Get(), 64);
    socklen_t length = sizeof a;
    ::getsockname(fd_.Get(), reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
  }
  int Port() const { return port_; }
  void Drain() {
    for (;;) {
      UniqueFd taken(::accept4(fd_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
      if (!taken) return;
    }
  }

 private:
  UniqueFd fd_;
  int port_ = 0;
};

struct World {
  World() {
    const std::string root = dir.Path() + "/root";
    fuzz::MakeDirs(root + "/pub/sub");
    fuzz::MakeDirs(root + "/home/in");
    fuzz::MakeDirs(root + "/HOME");
    fuzz::WriteFile(root + "/pub/a.txt", "hello\n");
    fuzz::WriteFile(root + "/pub/.hidden", "h\n");
    fuzz::WriteFile(root + "/home/b.bin", std::string(3000, 'b'));
    fuzz::WriteFile(root + "/HOME/twin.txt", "twin\n");
    std::string ini = "[Drives]\r\nC=" + root + "\r\n[ServerFTP]\r\nmaxusr=0\r\n" +
                      "loginfaildelay=0\r\nmaxloginfailures=0\r\nbanfailures=0\r\n[Screen]\r\n";
    for (int i = 1; i <= 12; ++i) ini += std::to_string(i) + "=1\r\n";
    ini += "[File]\r\n";
    for (int i = 1; i <= 12; ++i) ini += std::to_string(i) + "=1\r\n";
    ini += "13=/dev/null\r\n";  // every line is written, none is kept
    fuzz::WriteFile(dir.Path() + "/FTPsrv.ini", ini);
    fuzz::WriteFile(dir.Path() + "/Accounts.ini",
                    "[anonymous]\r\nLogin=anonymous\r\nEnableLogin=0\r\nEnablePass=0\r\n"
                    "Enabled=1\r\nDir0=C:\\pub\r\nAttr0=R---LS\r\n"
                    "[user]\r\nLogin=user\r\nPass=pw\r\nEnableLogin=1\r\nEnablePass=1\r\n"
                    "Enabled=1\r\nEnableMaxdl=1\r\nMaxdl=100000\r\n"
                    "Dir0=C:\\home\r\nAttr0=RWDMLS\r\n");
    host = std::make_unique<FtpHost>(loop, ui, dir.Path() + "/");
    if (!host->StartUp(std::string("0"), true) || !host->Active()) {
      fuzz::Fail("the host did not start");
    }
    port = std::stoi(FtpHostTestAccess::Engine(*host).ServerSocket().GetXPort());
  }

  fuzz::ScratchDir dir;
  EventLoop loop;
  NullUi ui;
  Sink sink;
  std::unique_ptr<FtpHost> host;
  int port = 0;
};

// The input with the argument of every PORT and EPRT line replaced by the sink's address.
std::string WithSafePorts(const std::string& input, int sinkPort) {
  const std::string port =
      "PORT 127,0,0,1," + std::to_string(sinkPort / 256) + "," + std::to_string(sinkPort % 256);
  std::string out;
  std::size_t pos = 0;
  while (pos < input.size()) {
    std::size_t end = input.find('\n', pos);
    end = end == std::string::npos ? input.size() : end + 1;
    const std::string line = input.substr(pos, end - pos);
    const std::string head = AsciiUpper(std::string_view(line).substr(0, 4));
    if (head == "PORT" || head == "EPRT") {
      out += port + (line.back() == '\n' ? "\r\n" : "");
    } else {
      out += line;
    }
    pos = end;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World world;
  const std::string input =
      WithSafePorts(std::string(reinterpret_cast<const char*>(data), size), world.sink.Port());
  {
    // Loopback ports are shared with every program of the machine: when all are taken (most in
    // TIME_WAIT), wait a little for some to come back rather than report the server. libFuzzer's
    // time-out alarm can interrupt the blocking connect; that is tried again too.
    std::unique_ptr<test::FtpClient> connected;
    for (int attempt = 0; attempt < 50; ++attempt) {
      connected = std::make_unique<test::FtpClient>(world.loop, world.port);
      if (connected->Connected() || (errno != EADDRNOTAVAIL && errno != EINTR)) break;
      world.loop.RunUntil([] { return false; }, 100ms);
    }
    test::FtpClient& client = *connected;
    if (!client.Connected()) fuzz::Fail(std::string("cannot connect: ") + std::strerror(errno));
    client.Send(input);
    ::shutdown(client.Fd(), SHUT_WR);
    // The server closes the session once it has read the end of the stream; every answer is
    // read meanwhile so that none waits in a full buffer.
    if (!client.WaitClosed(5s)) fuzz::Fail("the session did not end after the client's end");
    client.TakeInput();
  }
  if (!world.loop.RunUntil([] { return world.host->SessionCount() == 0; }, 5s)) {
    fuzz::Fail("a session stays after its connection closed");
  }
  world.sink.Drain();
  world.host->ClearMemo();
  return 0;
}
