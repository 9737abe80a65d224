#include <gtest/gtest.h>
#include <sys/socket.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "NetTestSupport.h"
#include "net/TWSocket.h"

namespace orvane {
namespace {

using test::LoopbackTest;
using namespace std::chrono_literals;

using TWSocketSendTest = LoopbackTest;

// The byte at offset i of the long transfer: not periodic at any chunk or buffer size.
char PatternByte(uint64_t i) {
  return static_cast<char>((i * 2654435761u) >> 13);
}

// Several Send calls in one handler: one OnDataSent, after Send returned.
TEST_F(TWSocketSendTest, OneDataSentPerEmptyingNeverInsideSend) {
  bool insideSend = false;
  int dataSent = 0;
  std::string got;
  TWSocket conn(loop_);
  conn.OnDataSent = [&](TCustomWSocket& s, uint16_t) {
    EXPECT_FALSE(insideSend) << "OnDataSent fired from inside Send";
    if (++dataSent != 1) return;
    insideSend = true;
    EXPECT_EQ(s.SendStr("one "), 4);
    EXPECT_EQ(s.SendStr("two "), 4);
    EXPECT_EQ(s.SendStr("three"), 5);
    insideSend = false;
  };
  UniqueFd peer = Adopt(conn);
  EXPECT_TRUE(loop_.RunUntil(
      [&] { return (got += test::ReadWaiting(peer.Get())) == "one two three"; }, 1s));
  Settle(50ms);
  EXPECT_EQ(dataSent, 2);  // the first write report, then one for the emptied queue

  // "abc" meets a full system buffer and waits for write readiness; after the peer has read,
  // "def" takes both at once. The system's write report and the one Send posts then see the
  // same emptying: one OnDataSent for it.
  const std::string filler(65536, 'f');
  while (::send(conn.HSocket(), filler.data(), filler.size(), MSG_DONTWAIT) > 0) {
  }
  conn.SendStr("abc");
  for (std::string part; !(part = test::ReadWaiting(peer.Get())).empty();) got += part;
  insideSend = true;
  conn.SendStr("def");
  insideSend = false;
  EXPECT_TRUE(loop_.RunUntil(
      [&] { return (got += test::ReadWaiting(peer.Get())).ends_with("abcdef"); }, 1s));
  Settle(50ms);
  EXPECT_EQ(dataSent, 3);
}

// Gathered: the Sends of one round leave at its end, together; outside a round a Send leaves at
// once; a Close in the same round still delivers what was sent before it.
TEST_F(TWSocketSendTest, GatheredSendsLeaveAtTheRoundsEndAndBeforeAClose) {
  TWSocket conn(loop_);
  conn.SetGatherSends(true);
  UniqueFd peer = Adopt(conn);
  Settle(20ms);
  int64_t pendingInRound = -1;
  loop_.Post([&] {
    conn.SendStr("150 first\r\n");
    conn.SendStr("226 second\r\n");
    pendingInRound = conn.BufferedBytes();
  });
  std::string got;
  ASSERT_TRUE(loop_.RunUntil(
      [&] { return (got += test::ReadWaiting(peer.Get())) == "150 first\r\n226 second\r\n"; }, 1s));
  EXPECT_EQ(pendingInRound, 23);  // nothing written inside the round

  conn.SendStr("200 outside\r\n");
  EXPECT_EQ(conn.BufferedBytes(), 0);
  EXPECT_EQ(test::ReadWaiting(peer.Get()), "200 outside\r\n");

  loop_.Post([&] {
    conn.SendStr("221 Goodbye.\r\n");
    conn.Close();
  });
  got.clear();
  ASSERT_TRUE(loop_.RunUntil(
      [&] { return (got += test::ReadWaiting(peer.Get())) == "221 Goodbye.\r\n"; }, 1s));
  char byte = 0;
  EXPECT_EQ(::recv(peer.Get(), &byte, 1, 0), 0);  // then the end of the connection
}

TEST_F(TWSocketSendTest, ZeroBytesOnAFreshConnectionAndSendWhenNotConnected) {
  int dataSent = 0, errors = 0;
  TWSocket conn(loop_), idle(loop_);
  conn.OnDataSent = [&](TCustomWSocket&, uint16_t) { ++dataSent; };
  UniqueFd peer = Adopt(conn);
  ASSERT_TRUE(loop_.RunUntil([&] { return dataSent == 1; }, 1s));
  EXPECT_EQ(conn.Send("", 0), 0);  // nothing was ever queued: the queue counts as emptied
  EXPECT_TRUE(loop_.RunUntil([&] { return dataSent == 2; }, 1s));
  EXPECT_TRUE(conn.AllSent());
  EXPECT_EQ(test::ReadWaiting(peer.Get()), "");

  idle.OnError = [&](TCustomWSocket&) { ++errors; };
  EXPECT_EQ(idle.SendStr("x"), -1);
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(idle.LastError(), 10057);
  EXPECT_EQ(idle.State(), wsClosed);
}

// The peer resets while a long send is under way: OnSessionClosed(10054) on a socket that is
// already closed, no error report, and no OnDataSent for the data that never left.
TEST_F(TWSocketSendTest, PeerResetWhileSendingReportsSessionClosed) {
  int closed = 0, errors = 0, sentAfterClose = 0;
  uint16_t closeError = 0;
  TSocketState stateInHandler = wsInvalidState;
  TWSocket conn(loop_);
  conn.OnError = [&](TCustomWSocket&) { ++errors; };
  conn.OnSessionClosed = [&](TCustomWSocket& s, uint16_t error) {
    ++closed;
    closeError = error;
    stateInHandler = s.State();
  };
  conn.OnDataSent = [&](TCustomWSocket&, uint16_t) {
    if (closed > 0) ++sentAfterClose;
  };
  UniqueFd peer = Adopt(conn);
  const std::string block(8 << 20, 'z');
  EXPECT_EQ(conn.SendStr(block), static_cast<int>(block.size()));
  EXPECT_FALSE(conn.AllSent());

  linger abortive{1, 0};
  ASSERT_EQ(::setsockopt(peer.Get(), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive), 0);
  peer.Reset();
  ASSERT_TRUE(loop_.RunUntil([&] { return closed > 0; }, 2s));
  Settle(50ms);
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(closeError, 10054);
  EXPECT_EQ(stateInHandler, wsClosed);
  EXPECT_EQ(errors, 0);
  EXPECT_EQ(sentAfterClose, 0);
  EXPECT_EQ(conn.State(), wsClosed);
}

// 64 MiB to a reader that takes 4 KiB at a time with small pauses: everything arrives, in order.
TEST_F(TWSocketSendTest, LargeTransferToSlowReaderArrivesCompleteAndInOrder) {
  constexpr uint64_t kTotal = 64ull << 20;
  int dataSent = 0;
  TWSocket conn(loop_);
  conn.OnDataSent = [&](TCustomWSocket&, uint16_t) { ++dataSent; };
  UniqueFd peer = Adopt(conn);
  ASSERT_TRUE(loop_.RunUntil([&] { return dataSent == 1; }, 1s));

  std::atomic<uint64_t> received{0};
  std::atomic<bool> corrupt{false};
  timeval limit{20, 0};  // a stuck sender must not hang the reader
  ::setsockopt(peer.Get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  std::thread reader([&, fd = peer.Get()] {
    std::vector<char> buf(4096);
    uint64_t offset = 0, reads = 0;
    while (offset < kTotal) {
      const ssize_t n = ::recv(fd, buf.data(), buf.size(), 0);
      if (n <= 0) break;
      for (ssize_t i = 0; i < n; ++i) {
        if (buf[static_cast<size_t>(i)] != PatternByte(offset + static_cast<uint64_t>(i))) {
          corrupt = true;
        }
      }
      offset += static_cast<uint64_t>(n);
      received = offset;
      if (++reads % 64 == 0) std::this_thread::sleep_for(200us);  // the slowness
    }
  });

  // Odd-sized pieces, so that chunk boundaries never line up with the pieces.
  std::string piece;
  for (uint64_t offset = 0; offset < kTotal;) {
    const uint64_t size = std::min<uint64_t>(kTotal - offset, 1000003);
    piece.resize(size);
    for (uint64_t i = 0; i < size; ++i) piece[i] = PatternByte(offset + i);
    ASSERT_EQ(conn.SendStr(piece), static_cast<int>(size));
    offset += size;
  }
  const bool done = loop_.RunUntil([&] { return received == kTotal && dataSent == 2; }, 30s);
  if (!done) ::shutdown(peer.Get(), SHUT_RDWR);
  reader.join();
  EXPECT_TRUE(done);
  EXPECT_EQ(received, kTotal);
  EXPECT_FALSE(corrupt);
  EXPECT_EQ(dataSent, 2);
}

// A file range goes behind the bytes already queued, from the file's own offset, which it
// advances; one OnDataSent follows when both have left. A file shorter than the range sends what
// it has and records the rest as the shortfall, which the next Send clears.
TEST_F(TWSocketSendTest, SendFileFollowsTheQueueAndReportsAShortFile) {
  char path[] = "/tmp/orvane-sendfile-XXXXXX";
  UniqueFd file(::mkstemp(path));
  ASSERT_TRUE(file);
  ::unlink(path);
  std::string content(300000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = PatternByte(i);
  ASSERT_EQ(::write(file.Get(), content.data(), content.size()),
            static_cast<ssize_t>(content.size()));
  ASSERT_EQ(::lseek(file.Get(), 1000, SEEK_SET), 1000);

  int dataSent = 0;
  TWSocket conn(loop_);
  conn.OnDataSent = [&](TCustomWSocket&, uint16_t) { ++dataSent; };
  UniqueFd peer = Adopt(conn);
  ASSERT_TRUE(loop_.RunUntil([&] { return dataSent == 1; }, 1s));  // the first write report
  EXPECT_EQ(conn.SendStr("head"), 4);
  EXPECT_EQ(conn.SendFile(file.Get(), 200000), 200000);
  std::string got;
  const std::string want = "head" + content.substr(1000, 200000);
  EXPECT_TRUE(loop_.RunUntil(
      [&] { return (got += test::ReadWaiting(peer.Get())).size() >= want.size(); }, 3s));
  EXPECT_TRUE(got == want) << got.size();
  ASSERT_TRUE(loop_.RunUntil([&] { return dataSent == 2; }, 1s));
  EXPECT_EQ(conn.FileShortfall(), 0);
  EXPECT_EQ(::lseek(file.Get(), 0, SEEK_CUR), 201000);
  EXPECT_EQ(conn.BufferedBytes(), 0);

  // 99000 bytes are left in the file; 100000 are asked for.
  EXPECT_EQ(conn.SendFile(file.Get(), 100000), 100000);
  ASSERT_TRUE(loop_.RunUntil([&] { return dataSent == 3; }, 3s));
  EXPECT_EQ(conn.FileShortfall(), 1000);
  got.clear();
  EXPECT_TRUE(
      loop_.RunUntil([&] { return (got += test::ReadWaiting(peer.Get())).size() >= 99000; }, 3s));
  EXPECT_TRUE(got == content.substr(201000)) << got.size();
  conn.SendStr("x");
  EXPECT_EQ(conn.FileShortfall(), 0);
}

}  // namespace
}  // namespace orvane
