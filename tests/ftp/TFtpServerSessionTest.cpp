// Session lifecycle: accept and the client limit, QUIT, every way a session ends, the deferred
// close and free actions, and destroying the server with sessions still open.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "ftp/EngineTestSupport.h"
#include "net/ESocketException.h"
#include "platform/FileSystem.h"
#include "platform/TempDir.h"

namespace orvane::test {
namespace {

class TFtpServerSessionTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    server_->OnClientDisconnect = [this](TFtpServer& s, TFtpCtrlSocket& client, uint16_t error) {
      ++disconnects_[client.SequenceNumber];
      EXPECT_EQ(error, 0);
      EXPECT_FALSE(s.Lists(client));               // already out of the list
      EXPECT_EQ(client.GetPeerAddr(), "127.0.0.1");  // still known after the close
    };
  }

  // Steps until the session's disconnect hook has fired, then a little longer to catch a
  // second call.
  void ExpectOneDisconnect(uint64_t seq) {
    EXPECT_TRUE(loop_.RunUntil([&] { return disconnects_[seq] > 0; }, FtpClient::kWait));
    Settle(50ms);
    EXPECT_EQ(disconnects_[seq], 1) << "session " << seq;
  }

  std::map<uint64_t, int> disconnects_;
};

TEST_F(TFtpServerSessionTest, ClientLimitRefusesTheThirdClientAfterItsConnectHook) {
  server_->MaxClients = 2;
  server_->Compatibility = CompatibilityPolicy(true);  // every connection counts as it comes
  std::vector<int> countsAtConnect;
  server_->OnClientConnect = [&](TFtpServer& s, TFtpCtrlSocket&, uint16_t) {
    countsAtConnect.push_back(s.ClientCount());
  };
  auto first = Connect();
  auto second = Connect();
  FtpClient third(loop_, port_);
  EXPECT_EQ(third.ReadLine(), "421 Too many users connected.");
  EXPECT_TRUE(third.WaitClosed());
  EXPECT_TRUE(third.SawEof());
  EXPECT_EQ(countsAtConnect, (std::vector<int>{1, 2, 3}));  // the refused one counts
  ExpectOneDisconnect(3);
  EXPECT_EQ(server_->ClientCount(), 2);

  EXPECT_EQ(first->Command("NOOP"), "200 Noop command successful.");
  EXPECT_EQ(second->Command("NOOP"), "200 Noop command successful.");
  second->Close();
  ExpectOneDisconnect(2);
  auto fourth = Connect();  // room again
  EXPECT_EQ(fourth->Command("NOOP"), "200 Noop command successful.");
}

// Stop closes only the listening socket: sessions stay, new clients are refused until Start.
TEST_F(TFtpServerSessionTest, StopAndStartKeepTheSessions) {
  int starts = 0;
  int stops = 0;
  server_->OnStart = [&](TFtpServer&) { ++starts; };
  server_->OnStop = [&](TFtpServer&) { ++stops; };
  auto client = Login();
  server_->Stop();
  EXPECT_FALSE(server_->Active());
  EXPECT_EQ(stops, 1);
  EXPECT_FALSE(FtpClient(loop_, port_).Connected());
  EXPECT_EQ(client->Command("SYST"), "215 UNIX Type: L8 Corvil");

  server_->Port = std::to_string(port_);
  server_->Start();
  server_->Start();  // already listening: nothing
  EXPECT_TRUE(server_->Active());
  EXPECT_EQ(starts, 1);
  auto second = Connect();
  EXPECT_EQ(server_->ClientCount(), 2);
  EXPECT_EQ(client->Command("NOOP"), "200 Noop command successful.");
}

TEST_F(TFtpServerSessionTest, QuitAnswersThenClosesGracefully) {
  auto client = Login();
  EXPECT_EQ(client->Command("QUIT"), "221 Goodbye.");
  EXPECT_TRUE(client->WaitClosed());
  EXPECT_TRUE(client->SawEof());
  EXPECT_EQ(client->TakeInput(), "");
  ExpectOneDisconnect(1);
  EXPECT_EQ(server_->ClientCount(), 0);
}

// The close of QUIT waits until the session's send queue is empty: a client that is slow to read
// still gets every byte queued before the answer, the answer, and then the end of the stream.
TEST_F(TFtpServerSessionTest, QuitWaitsUntilEveryQueuedByteHasBeenSent) {
  FtpClient client(loop_, port_, 8192);
  ASSERT_EQ(client.ReadLine(), "220 FTP server ready.");
  const std::string backlog(8 << 20, 'b');
  server_->SendToClient(*server_->FindClient(1), backlog);
  ASSERT_FALSE((*server_->FindClient(1)).AllSent());

  // With that much waiting, QUIT is read only once the answers have left; either way the
  // connection closes only after every queued byte and "221 Goodbye.".
  ASSERT_TRUE(client.Send("QUIT\r\n"));
  Settle(50ms);
  EXPECT_EQ((*server_->FindClient(1)).State(), wsConnected);

  std::string received;
  ASSERT_TRUE(loop_.RunUntil(
      [&] {
        received += client.TakeInput();
        return client.SawEof() || client.SawReset();
      },
      20s));
  received += client.TakeInput();
  EXPECT_TRUE(client.SawEof());
  ASSERT_EQ(received.size(), backlog.size() + 14);
  EXPECT_EQ(received.substr(backlog.size()), "221 Goodbye.\r\n");
  ExpectOneDisconnect(1);
}

TEST_F(TFtpServerSessionTest, DisconnectHookFiresOnceWhenTheClientCloses) {
  auto client = Connect();
  client->Close();
  ExpectOneDisconnect(1);
  EXPECT_EQ(server_->ClientCount(), 0);
}

TEST_F(TFtpServerSessionTest, DisconnectHookFiresOnceWhenTheClientResets) {
  auto client = Login();
  client->Reset();
  ExpectOneDisconnect(1);
  EXPECT_EQ(server_->ClientCount(), 0);
}

TEST_F(TFtpServerSessionTest, DisconnectHookFiresOnceWhenTheHostDisconnects) {
  auto a = Connect();
  auto b = Connect();
  auto c = Connect();
  // Disconnect takes the session out of the list at once; the hook follows from the loop.
  server_->Disconnect(*server_->FindClient(2));
  EXPECT_EQ(server_->ClientCount(), 2);
  EXPECT_EQ(disconnects_[2], 0);
  EXPECT_TRUE(b->WaitClosed());
  ExpectOneDisconnect(2);

  server_->DisconnectAll();
  EXPECT_EQ(server_->ClientCount(), 0);
  EXPECT_TRUE(a->WaitClosed());
  EXPECT_TRUE(c->WaitClosed());
  ExpectOneDisconnect(1);
  ExpectOneDisconnect(3);
  EXPECT_EQ(disconnects_.size(), 3u);
}

// A client that has already closed but whose close has not been processed yet can still be
// disconnected by the host: one hook call all the same.
TEST_F(TFtpServerSessionTest, DisconnectOfAClosingSessionFiresTheHookOnce) {
  auto client = Connect();
  client->Close();
  // Step until the engine saw the close (the session is closed but still listed).
  ASSERT_TRUE(loop_.RunUntil(
      [&] { return server_->ClientCount() == 0 || (*server_->FindClient(1)).State() == wsClosed; },
      FtpClient::kWait));
  if (server_->ClientCount() == 1) server_->Disconnect(*server_->FindClient(1));
  ExpectOneDisconnect(1);
}

// The host refuses a client inside OnClientConnect: no greeting, one disconnect.
TEST_F(TFtpServerSessionTest, SessionClosedByTheConnectHookGetsNoBanner) {
  server_->OnClientConnect = [](TFtpServer&, TFtpCtrlSocket& client, uint16_t) {
    client.SendStr("421 Go away.\r\n");
    client.Close();
  };
  FtpClient client(loop_, port_);
  EXPECT_EQ(client.ReadLine(), "421 Go away.");
  EXPECT_TRUE(client.WaitClosed());
  EXPECT_EQ(client.TakeInput(), "");
  ExpectOneDisconnect(1);
}

// Hook failures outside command handling end that one session at most, and none of them reaches
// the event loop.
TEST_F(TFtpServerSessionTest, ConnectHookExceptionClosesOnlyThatSession) {
  server_->OnClientConnect = [](TFtpServer&, TFtpCtrlSocket& client, uint16_t) {
    if (client.SequenceNumber == 1) throw std::runtime_error("host not ready");
  };
  FtpClient refused(loop_, port_);
  EXPECT_TRUE(refused.WaitClosed());
  EXPECT_EQ(refused.TakeInput(), "");
  ExpectOneDisconnect(1);
  auto next = Connect();
  EXPECT_EQ(next->Command("NOOP"), "200 Noop command successful.");
}

TEST_F(TFtpServerSessionTest, DisconnectHookExceptionStillFreesEverySession) {
  int calls = 0;
  server_->OnClientDisconnect = [&](TFtpServer&, TFtpCtrlSocket&, uint16_t) {
    ++calls;
    throw std::runtime_error("log file full");
  };
  auto a = Connect();
  auto b = Connect();
  a->Close();
  b->Close();
  EXPECT_TRUE(loop_.RunUntil([&] { return calls == 2; }, FtpClient::kWait));
  EXPECT_EQ(server_->ClientCount(), 0);
  auto next = Connect();
  EXPECT_EQ(next->Command("NOOP"), "200 Noop command successful.");
}

// The system refuses the accept (out of descriptors): the pending client is dropped, the server
// keeps listening and serves the next client once descriptors are free again.
TEST_F(TFtpServerSessionTest, FailedAcceptDropsThePendingClientAndKeepsListening) {
  FtpClient waiting(loop_, port_);  // completed into the backlog, not accepted yet
  ASSERT_TRUE(waiting.Connected());

  // The sanitizers check an exception's type on first sight with the help of a pipe, which they
  // cannot open while descriptors are out: let them see the accept failure's type beforehand.
  try {
    throw ESocketException("warm-up");
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "warm-up");
  }

  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
  // A low limit, then every free descriptor below it taken: the next accept fails. Descriptors
  // already open above the limit stay usable.
  rlimit low = old;
  low.rlim_cur = 32;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  std::vector<UniqueFd> fillers;
  for (int i = 0; i < 64; ++i) {
    UniqueFd fd(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (!fd) break;
    fillers.push_back(std::move(fd));
  }
  ASSERT_LT(fillers.size(), 64u);  // the limit was reached
  Settle(100ms);
  EXPECT_EQ(server_->ClientCount(), 0);
  fillers.clear();
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &old), 0);

  EXPECT_TRUE(waiting.WaitClosed());
  EXPECT_TRUE(server_->Active());
  auto next = Connect();
  EXPECT_EQ(next->Command("NOOP"), "200 Noop command successful.");
}

// The host disconnects a client while it keeps sending commands: no further command of it runs,
// its freeing touches nothing that is gone, and the writes it still makes are harmless.
TEST_F(TFtpServerSessionTest, SessionFreedWhileItsClientKeepsSending) {
  int dispatched = 0;
  server_->OnClientCommand = [&](TFtpServer& s, TFtpCtrlSocket& client, std::string&, std::string&,
                                 std::string&) {
    if (++dispatched == 50) s.Disconnect(client);
  };
  auto client = Login();
  dispatched = 0;
  std::string batch;
  for (int i = 0; i < 200; ++i) batch += "NOOP\r\n";
  for (int round = 0; round < 50 && client->Send(batch); ++round) {
  }
  EXPECT_TRUE(client->WaitClosed());
  ExpectOneDisconnect(1);
  EXPECT_EQ(dispatched, 50);
}

// QUIT's deferred close request may find its session already freed (the host disconnected it
// first): the request then does nothing.
TEST_F(TFtpServerSessionTest, DeferredCloseForAFreedSessionIsHarmless) {
  server_->OnClientCommand = [](TFtpServer& s, TFtpCtrlSocket& client, std::string& keyword,
                                std::string&, std::string&) {
    if (keyword == "QUIT") s.Disconnect(client);
  };
  auto client = Connect();
  auto other = Connect();
  ASSERT_TRUE(client->Send("QUIT\r\n"));
  EXPECT_TRUE(client->WaitClosed());
  ExpectOneDisconnect(1);
  EXPECT_EQ(server_->ClientCount(), 1);
  EXPECT_EQ(other->Command("NOOP"), "200 Noop command successful.");
}

// Destroying the server frees every session, also one in the middle of a download, and calls
// no hook: the host that set them may be half gone.
TEST_F(TFtpServerSessionTest, DestroyingTheServerFreesSessionsWithoutHooks) {
  TempDir root;
  WriteBytes(root / "big.bin", std::string(4 << 20, 'd'));
  const auto drives = FileSystem::DriveMap();
  FileSystem::SetDriveMap({{'C', root.Path()}});
  server_->OnAuthenticate = [](TFtpServer&, TFtpCtrlSocket& client, const std::string&,
                               const std::string&, bool&) { client.HomeDir = "C:\\"; };

  auto idle = Connect();
  auto busy = Login();
  const std::string pasv = busy->Command("PASV");
  ASSERT_EQ(pasv.rfind("227 Entering Passive Mode (127,0,0,1,", 0), 0u) << pasv;
  int p1 = 0, p2 = 0;
  ASSERT_EQ(std::sscanf(pasv.c_str() + pasv.find("(127,0,0,1,") + 11, "%d,%d", &p1, &p2), 2);
  FtpClient data(loop_, p1 * 256 + p2, 8192);  // reads nothing: the download stays running
  ASSERT_TRUE(data.Connected());
  EXPECT_EQ(busy->Command("RETR big.bin"), "150 Opening data connection for big.bin.");
  ASSERT_TRUE(loop_.RunUntil(
      [&] { return (*server_->FindClient(2)).Data().Socket().State() == wsConnected; }, FtpClient::kWait));
  Settle(50ms);

  auto fail = [](const char* hook) { ADD_FAILURE() << hook << " fired during destruction"; };
  server_->OnClientDisconnect = [&](TFtpServer&, TFtpCtrlSocket&, uint16_t) {
    fail("OnClientDisconnect");
  };
  server_->OnRetrSessionClosed = [&](TFtpServer&, TFtpCtrlSocket&, TWSocket&, const Transfer&,
                                     uint16_t) {
    fail("OnRetrSessionClosed");
  };
  server_->OnRetrDataSent = [&](TFtpServer&, TFtpCtrlSocket&, TWSocket&, uint16_t) {
    fail("OnRetrDataSent");
  };
  server_->OnAnswerToClient = [&](TFtpServer&, TFtpCtrlSocket&, std::string&) {
    fail("OnAnswerToClient");
  };
  server_->OnStop = [&](TFtpServer&) { fail("OnStop"); };

  server_.reset();
  FileSystem::SetDriveMap(drives);
  EXPECT_TRUE(idle->WaitClosed());
  EXPECT_TRUE(busy->WaitClosed());
  EXPECT_TRUE(data.WaitClosed());
  EXPECT_EQ(busy->TakeInput(), "");  // no transfer answer was sent on the way out
}

// A client that quits while the bytes of its upload are still waiting to be read loses none
// of them: they are stored before the data connection closes with the session.
TEST_F(TFtpServerSessionTest, QuitRightAfterAnUploadKeepsTheBytesThatArrived) {
  TempDir root;
  const auto drives = FileSystem::DriveMap();
  FileSystem::SetDriveMap({{'C', root.Path()}});
  server_->OnAuthenticate = [](TFtpServer&, TFtpCtrlSocket& client, const std::string&,
                               const std::string&, bool&) { client.HomeDir = "C:\\"; };
  auto client = Login();
  const std::string pasv = client->Command("PASV");
  int p1 = 0, p2 = 0;
  ASSERT_EQ(std::sscanf(pasv.c_str() + pasv.find("(127,0,0,1,") + 11, "%d,%d", &p1, &p2), 2);
  FtpClient data(loop_, p1 * 256 + p2);
  ASSERT_TRUE(data.Connected());
  EXPECT_EQ(client->Command("STOR quit.bin"), "150 Opening data connection for quit.bin.");
  ASSERT_TRUE(loop_.RunUntil(
      [&] { return (*server_->FindClient(1)).Data().Socket().State() == wsConnected; }, FtpClient::kWait));

  // The data arrives while QUIT is being answered, after the loop last looked for readiness:
  // only the session's close can still take it.
  const std::string payload(100000, 'q');
  server_->OnAnswerToClient = [&](TFtpServer&, TFtpCtrlSocket&, std::string& answer) {
    if (answer != "221 Goodbye.") return;
    ASSERT_EQ(::send(data.Fd(), payload.data(), payload.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(payload.size()));
    data.Close();
  };
  ASSERT_TRUE(client->Send("QUIT\r\n"));
  EXPECT_TRUE(client->WaitClosed());
  ExpectOneDisconnect(1);
  EXPECT_EQ(ReadBytes(root / "quit.bin"), payload);
  FileSystem::SetDriveMap(drives);
}

TEST_F(TFtpServerSessionTest, AClientThatNeverReadsCannotGrowTheAnswerQueueWithoutEnd) {
  FtpClient client(loop_, port_, 4096);
  ASSERT_TRUE(client.Connected());
  ASSERT_EQ(client.ReadLine(), server_->Banner);
  ASSERT_TRUE(WaitClientCount(1));
  TFtpCtrlSocket& session = (*server_->FindClient(1));

  // Unknown commands of 1000 bytes, each answered with a little more, pushed without reading a
  // single answer, until the client's own sends block (the server stopped reading) for a while.
  const std::string line = std::string(1000, 'X') + "\r\n";
  std::string batch;
  for (int i = 0; i < 16; ++i) batch += line;
  std::string unsent;
  int64_t sentLines = 0;
  auto push = [&] {
    if (unsent.empty()) {
      unsent = batch;
      sentLines += 16;
    }
    const ssize_t n =
        ::send(client.Fd(), unsent.data(), unsent.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) unsent.erase(0, static_cast<size_t>(n));
    return n > 0;
  };
  int64_t largestBacklog = 0;
  int blockedRounds = 0;
  for (int round = 0; round < 3000 && blockedRounds < 50; ++round) {
    blockedRounds = push() ? 0 : blockedRounds + 1;
    loop_.ProcessReady(0);
    largestBacklog = std::max(largestBacklog, session.BufferedBytes());
  }
  ASSERT_EQ(blockedRounds, 50) << "the server kept reading commands";
  EXPECT_GT(largestBacklog, TFtpCtrlSocket::kMaxAnswerBacklog / 2);
  // At most one read's worth of answers beyond the limit.
  EXPECT_LE(largestBacklog, TFtpCtrlSocket::kMaxAnswerBacklog + 8 * 1024);

  // Once the client reads, every command is answered, and the session goes on.
  int64_t answers = 0;
  const bool done = loop_.RunUntil(
      [&] {
        if (!unsent.empty()) push();
        const std::string input = client.TakeInput();
        for (size_t at = input.find('\n'); at != std::string::npos; at = input.find('\n', at + 1)) {
          ++answers;
        }
        return unsent.empty() && answers >= sentLines;
      },
      20s);
  EXPECT_TRUE(done) << answers << " of " << sentLines;
  EXPECT_EQ(client.Command("NOOP"), "200 Noop command successful.");
}

}  // namespace
}  // namespace orvane::test
