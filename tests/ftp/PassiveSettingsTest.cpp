// The passive port range and the announced external address: parsing, the range honoured and
// exhausted with a 425 that leaves nothing listening, the address chosen per client.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <string>

#include "ftp/EngineTestSupport.h"
#include "ftp/PassiveAddress.h"
#include "ftp/PassivePorts.h"
#include "platform/TempDir.h"

namespace orvane::test {
namespace {

TEST(PassivePorts, ParsesRangesAndRefusesNonsense) {
  PassivePorts ports;
  EXPECT_TRUE(ports.Parse(" 50000 - 50002 "));
  EXPECT_EQ(ports.Count(), 3);
  EXPECT_EQ(ports.Next(), 50000);
  EXPECT_EQ(ports.Next(), 50001);
  EXPECT_EQ(ports.Next(), 50002);
  EXPECT_EQ(ports.Next(), 50000);
  for (const char* bad : {"50002-50000", "abc", "80-90", "50000-70000", "1-", "-5"}) {
    EXPECT_FALSE(ports.Parse(bad)) << bad;
  }
  EXPECT_EQ(ports.Text(), "50000-50002");
  EXPECT_TRUE(ports.Parse("60000"));
  EXPECT_EQ(ports.Count(), 1);
  EXPECT_TRUE(ports.Parse(""));
  EXPECT_TRUE(ports.Any());
}

TEST(PassivePorts, DrawsFromTheSystemRangeWithTheDefaultForAnUnreadableOne) {
  TempDir dir;
  const std::string file = dir / "ip_local_port_range";
  uint16_t first = 0;
  uint16_t last = 0;
  PassivePorts::ReadSystemRange(file, first, last);  // missing
  EXPECT_EQ(first, 32768);
  EXPECT_EQ(last, 60999);
  for (const char* text : {"40000\t40009\n", "  40000 40009"}) {
    std::ofstream(file) << text;
    PassivePorts::ReadSystemRange(file, first, last);
    EXPECT_EQ(first, 40000) << text;
    EXPECT_EQ(last, 40009) << text;
  }
  for (const char* bad : {"", "abc", "50000 40000", "80 90", "40000 70000", "40000"}) {
    std::ofstream(file) << bad;
    PassivePorts::ReadSystemRange(file, first, last);
    EXPECT_EQ(first, 32768) << bad;
    EXPECT_EQ(last, 60999) << bad;
  }

  PassivePorts::ReadSystemRange("/proc/sys/net/ipv4/ip_local_port_range", first, last);
  PassivePorts ports;
  std::set<uint16_t> drawn;
  for (int i = 0; i < 200; ++i) {
    const uint16_t port = ports.Draw();
    EXPECT_GE(port, first);
    EXPECT_LE(port, last);
    EXPECT_EQ(port % 2, 0) << port;  // never a port the system gives to a bind of port 0
    drawn.insert(port);
  }
  EXPECT_GT(drawn.size(), 100u);  // spread, not one port again and again
}

TEST(PassiveAddress, ExternalAddressGoesToClientsOutsideTheLocalNetwork) {
  EventLoop loop;
  PassiveAddress address(loop);
  EXPECT_EQ(address.Announced("192.168.1.5", "203.0.113.9"), "192.168.1.5");
  address.Set("198.51.100.20");
  EXPECT_EQ(address.Announced("192.168.1.5", "203.0.113.9"), "198.51.100.20");
  for (const char* local : {"127.0.0.1", "10.1.2.3", "172.20.0.1", "192.168.0.9", "169.254.1.1"}) {
    EXPECT_EQ(address.Announced("192.168.1.5", local), "192.168.1.5") << local;
  }
  EXPECT_FALSE(PassiveAddress::IsLocalNetwork("172.32.0.1"));
  for (const char* local : {"::1", "fd00::2", "fe80::1", "::ffff:192.168.0.9"}) {
    EXPECT_TRUE(PassiveAddress::IsLocalNetwork(local)) << local;
  }
  EXPECT_FALSE(PassiveAddress::IsLocalNetwork("2001:db8::1"));
  EXPECT_FALSE(PassiveAddress::IsLocalNetwork("::ffff:8.8.8.8"));
}

// A host name is looked up off the loop; its answer is announced once it has arrived.
TEST(PassiveAddress, NameIsResolvedWithoutBlockingTheLoop) {
  EventLoop loop;
  PassiveAddress address(loop);
  address.Set("localhost");
  ASSERT_TRUE(
      loop.RunUntil([&] { return address.Announced("192.168.1.5", "203.0.113.9") == "127.0.0.1"; },
                    std::chrono::seconds(10)));
}

class PassiveRangeTest : public EngineTest {
 protected:
  // A free range of two ports: the system's choice and the port after it, if free.
  int FreePort() {
    UniqueFd probe(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(probe.Get(), reinterpret_cast<sockaddr*>(&any), sizeof any);
    socklen_t len = sizeof any;
    ::getsockname(probe.Get(), reinterpret_cast<sockaddr*>(&any), &len);
    return ntohs(any.sin_port);
  }
  static int PasvPort(const std::string& reply) {
    int a = 0, b = 0, c = 0, d = 0, p1 = 0, p2 = 0;
    if (std::sscanf(reply.c_str(), "227 Entering Passive Mode (%d,%d,%d,%d,%d,%d).", &a, &b, &c, &d,
                    &p1, &p2) != 6) {
      return -1;
    }
    return p1 * 256 + p2;
  }
};

TEST_F(PassiveRangeTest, RangeIsHonouredAndExhaustedWithA425) {
  const int port = FreePort();
  ASSERT_TRUE(server_->PassivePortRange.Parse(std::to_string(port)));
  auto first = Login();
  EXPECT_EQ(PasvPort(first->Command("PASV")), port);
  EXPECT_EQ(first->Command("EPSV"), "229 Entering Extended Passive Mode (|||" +
                                        std::to_string(port) + "|)");  // its own port again
  auto second = Login("bert");
  const std::string range = std::to_string(port) + "-" + std::to_string(port);
  EXPECT_EQ(second->Command("PASV"), "425 No passive port is free in the range " + range + ".");
  EXPECT_EQ(second->Command("EPSV"),
            "425 Cannot open a passive port. No passive port is free in the range " + range + ".");
  EXPECT_EQ((*server_->FindClient(2)).Data().Socket().State(), wsClosed);
  EXPECT_EQ((*server_->FindClient(2)).Data().GetState(), DataChannel::State::Idle);
  // Once the first session's listener is gone, the port is free for the second.
  first->Command("QUIT");
  ASSERT_TRUE(WaitClientCount(1));
  EXPECT_EQ(PasvPort(second->Command("PASV")), port);
}

// A port of the range that another program holds is skipped within the same PASV.
TEST_F(PassiveRangeTest, PortInUseIsSkippedForTheNextOfTheRange) {
  UniqueFd holder;
  int port = 0;
  for (int attempt = 0; attempt < 20 && port == 0; ++attempt) {
    holder.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in any{};
    any.sin_family = AF_INET;
    ::bind(holder.Get(), reinterpret_cast<sockaddr*>(&any), sizeof any);
    ::listen(holder.Get(), 1);
    socklen_t len = sizeof any;
    ::getsockname(holder.Get(), reinterpret_cast<sockaddr*>(&any), &len);
    const int taken = ntohs(any.sin_port);
    // The port after it must be free for the test to mean anything.
    UniqueFd next(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in probe{};
    probe.sin_family = AF_INET;
    probe.sin_port = htons(static_cast<uint16_t>(taken + 1));
    if (taken < 65535 &&
        ::bind(next.Get(), reinterpret_cast<sockaddr*>(&probe), sizeof probe) == 0) {
      port = taken;
    }
  }
  ASSERT_NE(port, 0);
  ASSERT_TRUE(
      server_->PassivePortRange.Parse(std::to_string(port) + "-" + std::to_string(port + 1)));
  auto client = Login();
  EXPECT_EQ(PasvPort(client->Command("PASV")), port + 1);
}

// Without a range, each PASV listens on a drawn port (the transfer tests go through them).
TEST_F(PassiveRangeTest, EachPasvWithoutARangeDrawsAPort) {
  auto client = Login();
  std::set<int> ports;
  for (int i = 0; i < 5; ++i) {
    const int port = PasvPort(client->Command("PASV"));
    ASSERT_GT(port, 0);
    ports.insert(port);
  }
  EXPECT_GE(ports.size(), 4u);
  EXPECT_EQ(client->Command("NOOP").substr(0, 3), "200");
}

// The external address reaches PASV's reply for a client outside the local network only.
TEST_F(PassiveRangeTest, PasvAnnouncesTheExternalAddressToOutsideClients) {
  server_->ExternalAddress.Set("198.51.100.20");
  auto client = Login();
  const std::string local = "227 Entering Passive Mode (127,0,0,1,";
  EXPECT_EQ(client->Command("PASV").substr(0, local.size()), local);
  // As if the client had come from outside (the address the passive port admits).
  (*server_->FindClient(1)).PeerAddr = "203.0.113.9";
  const std::string external = "227 Entering Passive Mode (198,51,100,20,";
  EXPECT_EQ(client->Command("PASV").substr(0, external.size()), external);
  server_->ExternalAddress.Set("");
  EXPECT_EQ(client->Command("PASV").substr(0, local.size()), local);
}

}  // namespace
}  // namespace orvane::test
