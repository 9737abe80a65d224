#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "NetTestSupport.h"
#include "net/TWSocket.h"

namespace orvane {
namespace {

using test::LoopbackTest;
using namespace std::chrono_literals;

using TWSocketTest = LoopbackTest;

TEST_F(TWSocketTest, AcceptedConnectionIsConnectedAndReportsWritableOnce) {
  std::vector<std::pair<TSocketState, TSocketState>> changes;
  int sent = 0;
  TWSocket conn(loop_);
  conn.OnChangeState = [&](TCustomWSocket&, TSocketState from, TSocketState to) {
    changes.emplace_back(from, to);
  };
  conn.OnDataSent = [&](TCustomWSocket&, uint16_t error) {
    EXPECT_EQ(error, 0);
    ++sent;
  };
  UniqueFd peer = Adopt(conn);
  EXPECT_EQ(conn.State(), wsConnected);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].second, wsConnected);
  EXPECT_EQ(conn.GetPeerAddr(), "127.0.0.1");
  EXPECT_TRUE(loop_.RunUntil([&] { return sent == 1; }, 1s));
  Settle(50ms);
  EXPECT_EQ(sent, 1);
}

TEST_F(TWSocketTest, ConnectSucceedsOrReportsRefusal) {
  std::vector<TSocketState> states;
  int connected = 0, sent = 0;
  uint16_t connectError = 1;
  TWSocket server(loop_), client(loop_);
  client.OnChangeState = [&](TCustomWSocket&, TSocketState, TSocketState to) {
    states.push_back(to);
  };
  client.OnSessionConnected = [&](TCustomWSocket&, uint16_t error) {
    connectError = error;
    ++connected;
  };
  client.OnDataSent = [&](TCustomWSocket&, uint16_t) { ++sent; };
  target_ = &server;
  client.SetAddr("127.0.0.1");
  client.SetPort(std::to_string(port_));
  client.Connect();
  EXPECT_EQ(client.State(), wsConnecting);
  ASSERT_TRUE(loop_.RunUntil([&] { return sent == 1; }, 2s));
  EXPECT_EQ(connected, 1);
  EXPECT_EQ(connectError, 0);
  EXPECT_EQ(client.State(), wsConnected);
  EXPECT_EQ(states, (std::vector<TSocketState>{wsOpened, wsConnecting, wsConnected}));
  Settle(50ms);
  EXPECT_EQ(sent, 1);

  // A port nobody listens on: the one we were listening on, once closed.
  const std::string freePort = std::to_string(port_);
  listener_.Close();
  TWSocket refused(loop_);
  connected = 0;
  refused.OnSessionConnected = [&](TCustomWSocket&, uint16_t error) {
    connectError = error;
    ++connected;
  };
  refused.SetAddr("127.0.0.1");
  refused.SetPort(freePort);
  refused.Connect();
  ASSERT_TRUE(loop_.RunUntil([&] { return connected == 1; }, 2s));
  EXPECT_EQ(connectError, 10061);
  EXPECT_EQ(refused.State(), wsClosed);
}

// Connections that arrive while the loop is busy wait in the listener's queue; none is lost,
// however many come at once.
TEST_F(TWSocketTest, ABurstOfConnectionsIsAcceptedWhole) {
  std::vector<UniqueFd> accepted;
  listener_.OnSessionAvailable = [&](TCustomWSocket& l, uint16_t) {
    UniqueFd fd(l.Accept());
    if (fd) accepted.push_back(std::move(fd));
  };
  constexpr int kBurst = 40;
  std::vector<UniqueFd> clients;
  for (int i = 0; i < kBurst; ++i) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const timeval limit{1, 0};  // bounds connect when a full queue makes the kernel drop the SYN
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port_));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd.Get(), reinterpret_cast<sockaddr*>(&to), sizeof to), 0) << i;
    clients.push_back(std::move(fd));
  }
  EXPECT_TRUE(loop_.RunUntil([&] { return accepted.size() == kBurst; }, 2s));
  EXPECT_EQ(accepted.size(), static_cast<size_t>(kBurst));
}

// A report posted for a handle must never reach a later connection that got the same
// descriptor number.
TEST_F(TWSocketTest, StaleReportDoesNotReachReusedDescriptor) {
  int closed = 0;
  std::string got;
  TWSocket conn(loop_);
  UniqueFd peer1 = Adopt(conn);
  const int oldFd = conn.HSocket();
  conn.PostReadiness(FD_READ | FD_CLOSE, 0);

  UniqueFd peer2 = test::ConnectPlain(port_);  // waits in the backlog
  conn.Close();
  conn.Dup(listener_.Accept());
  ASSERT_EQ(conn.HSocket(), oldFd);

  conn.OnSessionClosed = [&](TCustomWSocket&, uint16_t) { ++closed; };
  conn.OnDataAvailable = [&](TCustomWSocket& s, uint16_t) { test::ReceiveInto(s, got); };
  ASSERT_TRUE(test::WriteAll(peer2.Get(), "still here"));
  EXPECT_TRUE(loop_.RunUntil([&] { return got == "still here"; }, 1s));
  EXPECT_EQ(closed, 0);
  EXPECT_EQ(conn.State(), wsConnected);
}

// A handler that reads nothing must not make the loop spin; the next Receive re-arms reading.
// A report with read and close bits then delivers the data before the close.
TEST_F(TWSocketTest, ABusyReaderTakesTurnsWithTheRestOfTheLoop) {
  // A peer that keeps data waiting must not hold the loop: one read report calls the handler a
  // bounded number of times, and the rest comes in later rounds.
  TWSocket conn(loop_);
  UniqueFd peer = Adopt(conn);
  std::string got;
  int calls = 0;
  conn.OnDataAvailable = [&](TCustomWSocket& s, uint16_t) {
    ++calls;
    char buf[16];
    const int n = s.Receive(buf, sizeof buf);
    if (n > 0) got.append(buf, static_cast<size_t>(n));
  };
  const std::string sent(64 * 1024, 'x');
  ASSERT_TRUE(test::WriteAll(peer.Get(), sent));
  ASSERT_TRUE(loop_.RunUntil([&] { return calls > 0; }, 1s));
  EXPECT_LE(calls, 64);
  EXPECT_TRUE(loop_.RunUntil([&] { return got.size() == sent.size(); }, 5s));
  EXPECT_EQ(got, sent);
}

TEST_F(TWSocketTest, IdleReaderDoesNotSpinAndReadCloseReportDeliversDataFirst) {
  bool read = false;
  int calls = 0;
  std::vector<std::string> events;
  std::string got;
  TWSocket conn(loop_);
  UniqueFd peer = Adopt(conn);
  conn.OnDataAvailable = [&](TCustomWSocket& s, uint16_t) {
    ++calls;
    if (read && test::ReceiveInto(s, got) > 0) events.push_back("data");
  };
  conn.OnSessionClosed = [&](TCustomWSocket& s, uint16_t error) {
    EXPECT_EQ(error, 0);
    EXPECT_NE(s.State(), wsClosed);
    events.push_back("closed");
  };
  ASSERT_TRUE(test::WriteAll(peer.Get(), "abc"));
  ASSERT_TRUE(loop_.RunUntil([&] { return calls > 0; }, 1s));
  for (int i = 0; i < 100; ++i) loop_.ProcessReady(0);
  EXPECT_LE(calls, 2);

  // A Receive outside the handler re-arms: the rest arrives through the loop.
  char first;
  ASSERT_EQ(conn.Receive(&first, 1), 1);
  read = true;
  EXPECT_TRUE(loop_.RunUntil([&] { return got == "bc"; }, 1s));

  // Data waiting, read reports off again, then one report with read and close bits.
  read = false;
  got.clear();
  events.clear();
  ASSERT_TRUE(test::WriteAll(peer.Get(), "tail"));
  const int before = calls;
  ASSERT_TRUE(loop_.RunUntil([&] { return calls > before; }, 1s));
  read = true;
  conn.PostReadiness(FD_READ | FD_CLOSE, 0);
  EXPECT_TRUE(loop_.RunUntil([&] { return conn.State() == wsClosed; }, 1s));
  EXPECT_EQ(got, "tail");
  EXPECT_EQ(events, (std::vector<std::string>{"data", "closed"}));
}

// OnSessionClosed fires once per connection: after a peer close (the data first), with Close
// called again from the handlers on the way, and after a local Close.
TEST_F(TWSocketTest, SessionClosedFiresOnceWhoeverCloses) {
  for (const bool closeOnEof : {false, true}) {
    SCOPED_TRACE(closeOnEof ? "data handler closes at end of stream" : "plain data handler");
    std::vector<std::string> events;
    std::string got;
    TWSocket conn(loop_);
    UniqueFd peer = Adopt(conn);
    conn.OnDataAvailable = [&](TCustomWSocket& s, uint16_t) {
      const int n = test::ReceiveInto(s, got);
      if (n > 0) events.push_back("data");
      if (n == 0 && closeOnEof) s.Close();
    };
    conn.OnSessionClosed = [&](TCustomWSocket& s, uint16_t) {
      events.push_back("closed");
      s.Close();  // performs the close, or does nothing when it is done already
    };
    ASSERT_TRUE(test::WriteAll(peer.Get(), "last words"));
    peer.Reset();
    EXPECT_TRUE(loop_.RunUntil([&] { return conn.State() == wsClosed; }, 1s));
    Settle(50ms);
    EXPECT_EQ(got, "last words");
    EXPECT_EQ(events.front(), "data");
    EXPECT_EQ(events.back(), "closed");
    EXPECT_EQ(std::count(events.begin(), events.end(), "closed"), 1);
  }

  int closed = 0;
  TWSocket conn(loop_);
  UniqueFd peer = Adopt(conn);
  conn.OnSessionClosed = [&](TCustomWSocket& s, uint16_t error) {
    EXPECT_EQ(error, 0);
    EXPECT_EQ(s.State(), wsClosed);
    ++closed;
    s.Close();
  };
  conn.Close();
  conn.Close();
  Settle(50ms);
  EXPECT_EQ(closed, 1);
}

TEST_F(TWSocketTest, PauseStopsReportsAndResumeRestartsThem) {
  std::string got;
  TWSocket conn(loop_);
  UniqueFd peer = Adopt(conn);
  conn.OnDataAvailable = [&](TCustomWSocket& s, uint16_t) { test::ReceiveInto(s, got); };
  conn.Pause();
  ASSERT_TRUE(test::WriteAll(peer.Get(), "while paused"));
  conn.PostReadiness(FD_READ, 0);
  Settle(100ms);
  EXPECT_EQ(got, "");
  conn.Resume();
  EXPECT_TRUE(loop_.RunUntil([&] { return got == "while paused"; }, 1s));
}

}  // namespace
}  // namespace orvane
