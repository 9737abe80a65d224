// Addresses of both families: the texts the program compares and shows, and a dual-stack
// listener that serves IPv6 and IPv4 clients with the IPv4 ones shown dotted.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "net/NameResolver.h"
#include "net/SocketAddress.h"
#include "net/TWSocket.h"
#include "support/FtpClient.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;

TEST(SocketAddress, NumericTextsOfBothFamilies) {
  const auto v4 = SocketAddress::FromNumeric("192.0.2.7", 2121);
  ASSERT_TRUE(v4);
  EXPECT_EQ(v4->Family(), AF_INET);
  EXPECT_FALSE(v4->IsIPv6());
  EXPECT_EQ(v4->Text(), "192.0.2.7");
  EXPECT_EQ(v4->Port(), 2121);
  EXPECT_EQ(v4->Length(), sizeof(sockaddr_in));

  const auto v6 = SocketAddress::FromNumeric("[2001:DB8:0:0:0:0:0:5]", 21);
  ASSERT_TRUE(v6);
  EXPECT_TRUE(v6->IsIPv6());
  EXPECT_EQ(v6->Text(), "2001:db8::5");
  EXPECT_EQ(v6->Port(), 21);
  EXPECT_EQ(v6->Length(), sizeof(sockaddr_in6));

  // An IPv4 client of a dual-stack socket: the system's mapped form, shown dotted.
  const auto mapped = SocketAddress::FromNumeric("::ffff:10.0.0.5");
  ASSERT_TRUE(mapped);
  EXPECT_EQ(mapped->Family(), AF_INET6);
  EXPECT_FALSE(mapped->IsIPv6());
  EXPECT_EQ(mapped->Text(), "10.0.0.5");

  for (const char* nonsense :
       {"", "localhost", "1.2.3", "1.2.3.256", "::1::2", "[::1", "01.2.3.4"}) {
    EXPECT_FALSE(SocketAddress::FromNumeric(nonsense)) << nonsense;
    EXPECT_EQ(CanonicalAddress(nonsense), nonsense);
  }
  EXPECT_EQ(CanonicalAddress("0:0:0:0:0:0:0:1"), "::1");
  EXPECT_EQ(CanonicalAddress("::FFFF:127.0.0.1"), "127.0.0.1");
  EXPECT_TRUE(IsIPv6Address("fe80::1"));
  EXPECT_FALSE(IsIPv6Address("::ffff:1.2.3.4"));
  EXPECT_FALSE(IsIPv6Address("1.2.3.4"));
  EXPECT_TRUE(SocketAddress::Any(AF_INET6).IsWildcard());
  EXPECT_EQ(SocketAddress::Any(AF_INET6).Text(), "::");
}

TEST(SocketAddress, LookupsGiveIPv4AddressesFirst) {
  const NameResolver::Answer answer = NameResolver::ByName("localhost");
  ASSERT_EQ(answer.error, 0);
  ASSERT_FALSE(answer.results.empty());
  EXPECT_EQ(answer.results.front(), "127.0.0.1");
  bool seenV6 = false;
  for (const std::string& address : answer.results) {
    if (IsIPv6Address(address))
      seenV6 = true;
    else
      EXPECT_FALSE(seenV6) << "IPv4 address " << address << " after an IPv6 one";
  }
  EXPECT_EQ(NameResolver::ByAddress("not an address").error, 10022);
  EXPECT_NE(NameResolver::ByAddress("::1").error, 10022);  // an IPv6 address is one
}

class DualStackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::FtpClient::IPv6LoopbackWorks()) GTEST_SKIP() << "::1 cannot be bound here";
    listener_.SetAddr("::");
    listener_.SetPort("0");
    listener_.OnSessionAvailable = [this](TCustomWSocket&, uint16_t) {
      UniqueFd fd(listener_.Accept());
      if (!fd) return;
      accepted_.push_back(std::make_unique<TWSocket>(loop_));
      accepted_.back()->Dup(fd.Release());
    };
    ASSERT_EQ(listener_.Listen(), 0);
    port_ = std::stoi(listener_.GetXPort());
  }
  void TearDown() override {
    for (auto& s : accepted_) s->Close();
    listener_.Close();
  }

  EventLoop loop_;
  TWSocket listener_{loop_};
  std::vector<std::unique_ptr<TWSocket>> accepted_;
  int port_ = 0;
};

// One "::" listener accepts both families; the IPv4 peer is shown as before, dotted.
TEST_F(DualStackTest, ServesBothFamiliesAndShowsIPv4Dotted) {
  test::FtpClient v4(loop_, port_);
  test::FtpClient v6(loop_, port_, 0, "::1");
  ASSERT_TRUE(v4.Connected());
  ASSERT_TRUE(v6.Connected());
  ASSERT_TRUE(loop_.RunUntil([&] { return accepted_.size() == 2; }, 3s));
  std::vector<std::string> peers;
  for (auto& s : accepted_) peers.push_back(s->GetPeerAddr());
  std::sort(peers.begin(), peers.end());
  EXPECT_EQ(peers, (std::vector<std::string>{"127.0.0.1", "::1"}));
  for (auto& s : accepted_) {
    SocketAddress local;
    ASSERT_EQ(s->GetSockName(local), 0);
    EXPECT_EQ(local.Port(), port_);
    EXPECT_EQ(local.IsIPv6(), s->GetPeerAddr() == "::1");
  }
}

// A socket connects to an IPv6 address given as Addr, as active data connections do.
TEST_F(DualStackTest, ConnectsToAnIPv6Address) {
  TWSocket client(loop_);
  int connected = 0;
  uint16_t connectError = 1;
  client.OnSessionConnected = [&](TCustomWSocket&, uint16_t error) {
    connectError = error;
    ++connected;
  };
  client.SetAddr("::1");
  client.SetPort(std::to_string(port_));
  client.Connect();
  ASSERT_TRUE(loop_.RunUntil([&] { return connected == 1 && accepted_.size() == 1; }, 3s));
  EXPECT_EQ(connectError, 0);
  EXPECT_EQ(client.GetPeerAddr(), "::1");
  EXPECT_EQ(accepted_.front()->GetPeerAddr(), "::1");
  client.Close();
}

}  // namespace
}  // namespace orvane
