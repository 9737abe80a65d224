// TLS through the real host, with TLS on and an implicit port. The first byte of an input
// chooses where the rest goes:
//   0  the implicit port, as raw bytes where the server waits for a ClientHello;
//   1  the plain port after "AUTH TLS" and its 234 reply, as raw bytes where the server waits
//      for a ClientHello (the AUTH path);
//   2  the implicit port through a real TLS client: command lines over an established session
//      (PBSZ, PROT, logins, passive transfers), PORT and EPRT lines made NOOPs.
// Then the client ends its side; the server must end the session, drop it from its list, and
// keep no descriptor of it.
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "host/FtpHost.h"
#include "net/EventLoop.h"
#include "net/TWSocket.h"
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

// What each open descriptor is, for the report of a leak.
std::string DescriptorList() {
  std::string out;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (const dirent* entry = ::readdir(dir)) {
      char target[256] = {};
      const std::string link = std::string("/proc/self/fd/") + entry->d_name;
      if (::readlink(link.c_str(), target, sizeof target - 1) > 0) {
        out += std::string(" ") + entry->d_name + "=" + target;
      }
    }
    ::closedir(dir);
  }
  return out;
}

// The sockets open in this process: the server's listeners and whatever a session left behind.
// (The host's threads may hold pipes of their own for a while; they are not counted.)
int OpenSockets() {
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (const dirent* entry = ::readdir(dir)) {
      char target[256] = {};
      const std::string link = std::string("/proc/self/fd/") + entry->d_name;
      if (::readlink(link.c_str(), target, sizeof target - 1) > 0 &&
          std::string_view(target).starts_with("socket:")) {
        ++count;
      }
    }
    ::closedir(dir);
  }
  return count;
}

// A port no one listens on now, for the implicit listener (the settings keep 0 out).
int FreePort() {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t length = sizeof a;
  ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&a), &length);
  return ntohs(a.sin_port);
}

struct World {
  World() {
    const std::string root = dir.Path() + "/root";
    fuzz::MakeDirs(root + "/home/in");
    fuzz::WriteFile(root + "/home/b.bin", std::string(300000, 'b'));
    fuzz::WriteFile(dir.Path() + "/FTPsrv.ini",
                    "[Drives]\r\nC=" + root +
                        "\r\n[ServerFTP]\r\nmaxusr=0\r\nloginfaildelay=0\r\n"
                        "maxloginfailures=0\r\nbanfailures=0\r\n"
                        "[TLS]\r\nenabled=1\r\nimplicit=1\r\nimplicitport=" +
                        std::to_string(FreePort()) + "\r\n");
    fuzz::WriteFile(dir.Path() + "/Accounts.ini",
                    "[user]\r\nLogin=user\r\nPass=pw\r\nEnableLogin=1\r\nEnablePass=1\r\n"
                    "Enabled=1\r\nRequireTLS=1\r\nDir0=C:\\home\r\nAttr0=RWDMLS\r\n");
    host = std::make_unique<FtpHost>(loop, ui, dir.Path() + "/");
    if (!host->StartUp(std::string("0"), true) || !host->Active() ||
        FtpHostTestAccess::Engine(*host).ImplicitSocket().State() != wsListening) {
      fuzz::Fail("the host did not start with TLS");
    }
    port = std::stoi(FtpHostTestAccess::Engine(*host).ServerSocket().GetXPort());
    implicitPort = std::stoi(FtpHostTestAccess::Engine(*host).ImplicitSocket().GetXPort());
    client = TlsContext::Client();
  }

  fuzz::ScratchDir dir;
  EventLoop loop;
  NullUi ui;
  std::unique_ptr<FtpHost> host;
  std::shared_ptr<TlsContext> client;
  int port = 0;
  int implicitPort = 0;
};

std::string WithoutActivePorts(const std::string& input) {
  std::string out;
  std::size_t pos = 0;
  while (pos < input.size()) {
    std::size_t end = input.find('\n', pos);
    end = end == std::string::npos ? input.size() : end + 1;
    const std::string line = input.substr(pos, end - pos);
    const std::string head = AsciiUpper(std::string_view(line).substr(0, 4));
    out += head == "PORT" || head == "EPRT" ? "NOOP\r\n" : line;
    pos = end;
  }
  return out;
}

std::unique_ptr<test::FtpClient> Connect(World& world, int port) {
  std::unique_ptr<test::FtpClient> connected;
  for (int attempt = 0; attempt < 50; ++attempt) {
    connected = std::make_unique<test::FtpClient>(world.loop, port);
    if (connected->Connected() || (errno != EADDRNOTAVAIL && errno != EINTR)) break;
    world.loop.RunUntil([] { return false; }, 100ms);
  }
  if (!connected->Connected()) fuzz::Fail(std::string("cannot connect: ") + std::strerror(errno));
  return connected;
}

void RawBytes(World& world, int port, bool auth, const std::string& bytes) {
  std::unique_ptr<test::FtpClient> client = Connect(world, port);
  if (auth) {
    if (client->ReadLine().rfind("220", 0) != 0) fuzz::Fail("no greeting");
    if (client->Command("AUTH TLS").rfind("234", 0) != 0) fuzz::Fail("AUTH TLS refused");
  }
  client->Send(bytes);
  ::shutdown(client->Fd(), SHUT_WR);
  if (!client->WaitClosed(5s)) fuzz::Fail("the session did not end after the client's end");
}

void Commands(World& world, const std::string& lines) {
  TWSocket client(world.loop);
  bool closed = false;
  client.OnSessionClosed = [&](TCustomWSocket&, uint16_t) { closed = true; };
  client.OnDataAvailable = [](TCustomWSocket& s, uint16_t) {
    char buf[16384];
    while (s.Receive(buf, sizeof buf) > 0) {
    }
  };
  client.SetAddr("127.0.0.1");
  client.SetPort(std::to_string(world.implicitPort));
  client.Connect();
  client.StartTls(world.client, TlsRole::Client);
  if (!world.loop.RunUntil([&] { return client.TlsEstablished() || closed; }, 5s) || closed) {
    fuzz::Fail("no TLS session with the implicit port");
  }
  client.SendStr(lines);
  if (!world.loop.RunUntil([&] { return client.AllSent() || closed; }, 5s)) {
    fuzz::Fail("the server does not read the commands");
  }
  if (!closed) ::shutdown(client.HSocket(), SHUT_WR);
  if (!world.loop.RunUntil([&] { return closed; }, 10s)) {
    fuzz::Fail("the session did not end after the client's end");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World world;
  static const int baseline = OpenSockets();
  if (size == 0) return 0;
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 3) {
    case 0:
      RawBytes(world, world.implicitPort, false, rest);
      break;
    case 1:
      RawBytes(world, world.port, true, rest);
      break;
    default:
      Commands(world, WithoutActivePorts(rest));
      break;
  }
  if (!world.loop.RunUntil([] { return world.host->SessionCount() == 0; }, 5s)) {
    fuzz::Fail("a session stays after its connection closed");
  }
  // The data connections of a session close with it: no socket may stay open.
  if (!world.loop.RunUntil([] { return OpenSockets() <= baseline; }, 5s)) {
    fuzz::Fail("sockets leaked: " + std::to_string(OpenSockets() - baseline) + ":" +
               DescriptorList());
  }
  world.host->ClearMemo();
  return 0;
}
