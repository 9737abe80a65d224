// The session's data channel: its states through a passive download as the hooks see them, an
// aborted connection that no transfer had claimed, a deferred close that must not reach the
// next listener, the one connection a passive port serves, a connection made before its
// transfer command, and a transfer command that finds an earlier active transfer still running.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ftp/EngineTestSupport.h"
#include "platform/FileSystem.h"
#include "platform/TempDir.h"

namespace orvane::test {
namespace {

using State = DataChannel::State;

// The port of a "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)." reply, 0 if there is none.
int PasvPort(const std::string& reply) {
  const size_t open = reply.find('(');
  int h[4] = {};
  int p1 = 0;
  int p2 = 0;
  if (reply.rfind("227 ", 0) != 0 || open == std::string::npos) return 0;
  if (std::sscanf(reply.c_str() + open, "(%d,%d,%d,%d,%d,%d)", &h[0], &h[1], &h[2], &h[3], &p1,
                  &p2) != 6) {
    return 0;
  }
  return p1 * 256 + p2;
}

// A client-side listener on 127.0.0.1 for active data connections (PORT).
class ActiveListener {
 public:
  explicit ActiveListener(EventLoop& loop) : loop_(loop) {
    fd_.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(fd_.Get(), reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    EXPECT_EQ(::listen(fd_.Get(), 4), 0);
    socklen_t len = sizeof at;
    ::getsockname(fd_.Get(), reinterpret_cast<sockaddr*>(&at), &len);
    port_ = ntohs(at.sin_port);
  }
  std::string PortArgument() const {
    return "PORT 127,0,0,1," + std::to_string(port_ / 256) + "," + std::to_string(port_ % 256);
  }
  // Steps the loop until the server's connection arrives.
  UniqueFd Accept() {
    int fd = -1;
    loop_.RunUntil(
        [&] {
          fd = ::accept4(fd_.Get(), nullptr, nullptr, SOCK_CLOEXEC);
          return fd >= 0;
        },
        FtpClient::kWait);
    return UniqueFd(fd);
  }

 private:
  EventLoop& loop_;
  UniqueFd fd_;
  int port_ = 0;
};

class DataChannelTest : public DriveEngineTest {
 protected:
  DataChannel& Channel() { return server_->Client(0).Data(); }
  bool WaitState(State state) {
    return loop_.RunUntil([&] { return Channel().GetState() == state; }, FtpClient::kWait);
  }
  void WriteFile(const std::string& name, const std::string& bytes) {
    std::FILE* f = std::fopen((root_.Path() + "/" + name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
};

// The channel's state as the hooks of a passive, resumed download see it: the connection waits
// unclaimed, the transfer runs, and the close hook finds every byte sent; then the channel is
// idle again and the restart offset is used up.
TEST_F(DataChannelTest, PassiveDownloadGoesThroughItsStatesAndTheHooksSeeTheOutcome) {
  WriteFile("f.bin", "0123456789");
  std::vector<std::string> seen;
  server_->OnRetrSessionConnected = [&](TFtpServer&, TFtpCtrlSocket& c, TWSocket&, uint16_t) {
    seen.push_back("connected:" + std::to_string(static_cast<int>(c.Data().GetState())));
  };
  server_->OnRetrSessionClosed = [&](TFtpServer&, TFtpCtrlSocket& c, TWSocket&, uint16_t e) {
    seen.push_back(std::string("closed:") + (e == 0 && c.Data().AllSent() ? "complete" : "short") +
                   (c.Data().Aborted() ? ",aborted" : ""));
  };
  auto client = Login();
  EXPECT_EQ(Channel().GetState(), State::Idle);
  const int port = PasvPort(client->Command("PASV"));
  ASSERT_NE(port, 0);
  EXPECT_EQ(Channel().GetState(), State::Listening);
  FtpClient data(loop_, port);
  ASSERT_TRUE(data.Connected());
  ASSERT_TRUE(WaitState(State::Connected));
  EXPECT_EQ(client->Command("REST 4"), "350 REST supported. Ready to resume at byte offset 4.");
  EXPECT_EQ(Channel().RestartOffset(), 4);
  EXPECT_EQ(client->Command("RETR f.bin"), "150 Opening data connection for f.bin.");
  EXPECT_EQ(client->ReadLine(), "226 File sent ok");
  ASSERT_TRUE(data.WaitClosed());
  EXPECT_EQ(data.TakeInput(), "456789");
  EXPECT_EQ(Channel().GetState(), State::Idle);
  EXPECT_EQ(Channel().RestartOffset(), 0);
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "connected:" + std::to_string(static_cast<int>(State::Transferring)),
                      "closed:complete"}));
}

// ABOR on a passive connection that no transfer command had claimed closes it and leaves the
// channel idle, so the next PASV and upload run normally instead of waiting on a closed socket.
TEST_F(DataChannelTest, AbortOfAnUnclaimedConnectionLeavesTheChannelIdle) {
  auto client = Login();
  const int first = PasvPort(client->Command("PASV"));
  ASSERT_NE(first, 0);
  FtpClient stale(loop_, first);
  ASSERT_TRUE(WaitState(State::Connected));
  EXPECT_EQ(client->Command("ABOR"), server_->Compatibility.AbortReply(true));
  EXPECT_EQ(Channel().GetState(), State::Idle);
  EXPECT_TRUE(stale.WaitClosed());

  const int second = PasvPort(client->Command("PASV"));
  ASSERT_NE(second, 0);
  EXPECT_EQ(client->Command("STOR up.txt"), "150 Opening data connection for up.txt.");
  EXPECT_EQ(Channel().GetState(), State::WaitingForConnection);
  {
    FtpClient data(loop_, second);
    ASSERT_TRUE(data.Send("payload"));
  }
  EXPECT_EQ(client->ReadLine(), "226 File received ok");
  EXPECT_EQ(FileSystem::FileSize("C:\\up.txt"), 7);
}

// The end of a download is a deferred close. A PASV in the same read as the RETR closes the
// download's connection itself and opens the next listener before that action runs: the action
// belongs to the old connection and must leave the new listener open for the client.
TEST_F(DataChannelTest, DeferredCloseOfAnEndedTransferLeavesTheNextListenerOpen) {
  WriteFile("empty.bin", "");  // nothing to send: the close is posted at once
  auto client = Login();
  const int first = PasvPort(client->Command("PASV"));
  FtpClient download(loop_, first);
  ASSERT_TRUE(WaitState(State::Connected));
  ASSERT_TRUE(client->Send("RETR empty.bin\r\nPASV\r\n"));
  EXPECT_EQ(client->ReadLine(), "150 Opening data connection for empty.bin.");
  EXPECT_EQ(client->ReadLine(), "226 File sent ok");
  const int second = PasvPort(client->ReadLine());
  ASSERT_NE(second, 0);
  Settle();  // the deferred close has run
  EXPECT_EQ(Channel().GetState(), State::Listening);
  FtpClient next(loop_, second);
  ASSERT_TRUE(next.Connected());
  EXPECT_TRUE(WaitState(State::Connected));
}

// The passive listener serves one connection: the first that comes from the client's address
// takes it, and the listener closes. On one host every program has that address, so any other
// program that connects to the port first (a test client that reads a stale 227 reply, say)
// leaves the client refused. Test programs that open data connections at random therefore get
// a passive port range of their own.
TEST_F(DataChannelTest, FirstConnectionFromTheClientsAddressTakesThePassivePort) {
  auto client = Login();
  const int port = PasvPort(client->Command("PASV"));
  ASSERT_NE(port, 0);
  FtpClient thief(loop_, port);
  ASSERT_TRUE(WaitState(State::Connected));
  FtpClient late(loop_, port);
  EXPECT_FALSE(late.Connected());
}

// A download starts once its command's "150" has been written, so the client has that answer
// when the first byte of the file leaves: on a connection made before the command, and on one
// accepted in the same round as the command.
TEST_F(DataChannelTest, DownloadWritesItsAnswerBeforeItsData) {
  WriteFile("f.bin", "0123456789");
  auto client = Login();
  std::string answerAtStart;
  server_->OnRetrSessionConnected = [&](TFtpServer&, TFtpCtrlSocket&, TWSocket&, uint16_t) {
    char buffer[256];
    const ssize_t n = ::recv(client->Fd(), buffer, sizeof buffer, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0) answerAtStart.assign(buffer, static_cast<size_t>(n));
  };
  for (const bool connectFirst : {true, false}) {
    SCOPED_TRACE(connectFirst ? "connected before RETR" : "RETR and connection in one round");
    answerAtStart.clear();
    const int port = PasvPort(client->Command("PASV"));
    std::unique_ptr<FtpClient> data;
    if (connectFirst) {
      data = std::make_unique<FtpClient>(loop_, port);
      ASSERT_TRUE(WaitState(State::Connected));
      EXPECT_EQ(client->Command("RETR f.bin"), "150 Opening data connection for f.bin.");
    } else {
      const std::string retr = "RETR f.bin\r\n";
      ASSERT_EQ(::send(client->Fd(), retr.data(), retr.size(), 0),
                static_cast<ssize_t>(retr.size()));
      data = std::make_unique<FtpClient>(loop_, port);  // the loop has not run in between
      EXPECT_EQ(client->ReadLine(), "150 Opening data connection for f.bin.");
    }
    EXPECT_EQ(client->ReadLine(), "226 File sent ok");
    ASSERT_TRUE(data->WaitClosed());
    EXPECT_EQ(data->TakeInput(), "0123456789");
    EXPECT_EQ(answerAtStart, "150 Opening data connection for f.bin.\r\n");
  }
}

// Commands in the same read as the transfer command reach the data connection before the
// posted start would: ABOR, a second RETR and PASV each start the transfer first, so the
// answers keep their order and every transfer's start hook comes before its close hook.
TEST_F(DataChannelTest, CommandsReadWithTheTransferCommandFindItStarted) {
  WriteFile("f.bin", "0123456789");
  auto client = Login();
  std::vector<std::string> hooks;
  server_->OnRetrSessionConnected = [&](TFtpServer&, TFtpCtrlSocket&, TWSocket&, uint16_t) {
    hooks.push_back("connected");
  };
  server_->OnRetrSessionClosed = [&](TFtpServer&, TFtpCtrlSocket& c, TWSocket&, uint16_t) {
    hooks.push_back(c.Data().Aborted() ? "closed:aborted" : "closed");
  };
  const struct {
    const char* after;
    std::vector<std::string> answers;
  } cases[] = {
      {"ABOR",
       {server_->Compatibility.AbortedDownloadReply("ABORT requested by client"),
        server_->Compatibility.AbortReply(true)}},
      // Closed before its end was seen, the first download is not reported complete; the
      // second RETR has no data port left.
      {"RETR f.bin",
       {"426 Connection closed; transfer aborted.",
        "501 Cannot RETR. Connect: No IP Address Specified"}},
      {"PASV", {"426 Connection closed; transfer aborted."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.after);
    hooks.clear();
    const int port = PasvPort(client->Command("PASV"));
    FtpClient data(loop_, port);
    ASSERT_TRUE(WaitState(State::Connected));
    ASSERT_TRUE(client->Send(std::string("RETR f.bin\r\n") + c.after + "\r\n"));
    EXPECT_EQ(client->ReadLine(), "150 Opening data connection for f.bin.");
    for (const std::string& answer : c.answers) EXPECT_EQ(client->ReadLine(), answer);
    ASSERT_FALSE(hooks.empty());
    EXPECT_EQ(hooks.front(), "connected");
    EXPECT_NE(hooks.back(), "connected");
    if (std::string(c.after) == "PASV") EXPECT_NE(PasvPort(client->ReadLine()), 0);
    EXPECT_TRUE(data.WaitClosed());
  }
}

// A transfer command that finds an earlier active transfer still running closes it first (its
// close answers it), and only then sets up its own: the earlier transfer's end must not take
// the new listing with it.
TEST_F(DataChannelTest, NewTransferClosesARunningActiveTransferBeforeItStarts) {
  const std::string big = root_.Path() + "/big.bin";
  {
    UniqueFd fd(::open(big.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    ASSERT_EQ(::ftruncate(fd.Get(), int64_t{64} << 20), 0);
  }
  auto client = Login();
  ActiveListener first(loop_);
  EXPECT_EQ(client->Command(first.PortArgument()), "200 Port command successful.");
  EXPECT_EQ(client->Command("RETR big.bin"), "150 Opening data connection for big.bin.");
  UniqueFd slow = first.Accept();  // never read: the download stays under way
  ASSERT_TRUE(slow);
  ASSERT_TRUE(WaitState(State::Transferring));

  ActiveListener second(loop_);
  EXPECT_EQ(client->Command(second.PortArgument()), "200 Port command successful.");
  ASSERT_TRUE(client->Send("NLST\r\n"));
  EXPECT_EQ(client->ReadLine(), "426 Connection closed; transfer aborted.");
  EXPECT_EQ(client->ReadLine(), "150 Opening data connection for directory list.");
  UniqueFd listing = second.Accept();
  ASSERT_TRUE(listing);
  EXPECT_EQ(client->ReadLine(), "226 File sent ok");
  std::string names;
  char buffer[4096];
  ssize_t n;
  while ((n = ::recv(listing.Get(), buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
    names.append(buffer, static_cast<size_t>(n));
  }
  EXPECT_NE(names.find("big.bin"), std::string::npos) << names;
}

}  // namespace
}  // namespace orvane::test
