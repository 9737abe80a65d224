// How a session cuts command lines out of the control connection's byte stream, over loopback.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ftp/EngineTestSupport.h"

namespace orvane::test {
namespace {

class TFtpCtrlSocketTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    // Every dispatched line, as keyword and parameters.
    server_->OnClientCommand = [this](TFtpServer&, TFtpCtrlSocket&, std::string& keyword,
                                      std::string& params, std::string&) {
      commands_.push_back(keyword + "|" + params);
    };
  }

  std::vector<std::string> commands_;
};

TEST_F(TFtpCtrlSocketTest, LinesAreCutAtLfWhateverTheWritesLookLike) {
  auto client = Connect();

  // Two complete lines in one write: two commands, in order.
  ASSERT_TRUE(client->Send("USER anna\r\nPASS pw\r\n"));
  EXPECT_EQ(client->ReadLine(), "331 Password required for anna.");
  EXPECT_EQ(client->ReadLine(), "230 User anna logged in.");
  EXPECT_EQ(commands_, (std::vector<std::string>{"USER|anna", "PASS|pw"}));
  commands_.clear();

  // A line split over several writes is dispatched once, when its LF arrives.
  ASSERT_TRUE(client->Send("NO"));
  Settle(30ms);
  ASSERT_TRUE(client->Send("OP x"));
  Settle(30ms);
  EXPECT_TRUE(commands_.empty());
  ASSERT_TRUE(client->Send("yz\r\n"));
  EXPECT_EQ(client->ReadLine(), "200 Noop command successful.");
  EXPECT_EQ(commands_, (std::vector<std::string>{"NOOP|xyz"}));
  commands_.clear();

  // A lone LF ends a line; a CR whose LF comes in a later write is dropped with it.
  ASSERT_TRUE(client->Send("NOOP a\n"));
  EXPECT_EQ(client->ReadLine(), "200 Noop command successful.");
  ASSERT_TRUE(client->Send("NOOP b\r"));
  Settle(30ms);
  EXPECT_EQ(commands_.size(), 1u);
  ASSERT_TRUE(client->Send("\n"));
  EXPECT_EQ(client->ReadLine(), "200 Noop command successful.");
  EXPECT_EQ(commands_, (std::vector<std::string>{"NOOP|a", "NOOP|b"}));

  // An empty line and a line of blanks are answered as an empty command.
  ASSERT_TRUE(client->Send("\n"));
  EXPECT_EQ(client->ReadLine(), "500 '': command not understood.");
  EXPECT_EQ(client->Command(" \t "), "500 '': command not understood.");
}

// The buffer holds RcvSize - 1 bytes: 2045 bytes of command and CR LF still fit, one more byte
// makes the line too long. An over-long line is answered once, after its LF, and the session
// goes on with the next line.
TEST_F(TFtpCtrlSocketTest, OverLongLineIsAnsweredOnceAndTheSessionGoesOn) {
  auto client = Connect();

  const std::string fits = "USER " + std::string(2045 - 5, 'u');
  EXPECT_EQ(client->Command(fits), "331 Password required for " + fits.substr(5) + ".");

  commands_.clear();
  ASSERT_TRUE(client->Send("USER " + std::string(2046 - 5, 'v') + "\r\nNOOP\r\n"));
  EXPECT_EQ(client->ReadLine(), "500 Command line too long.");
  EXPECT_EQ(client->ReadLine(), "200 Noop command successful.");
  EXPECT_EQ(commands_, (std::vector<std::string>{"NOOP|"}));

  // A flood without any line end: the session reads it away without spinning the loop (each
  // idle step waits for readiness, so a busy loop shows as thousands of steps).
  commands_.clear();
  ASSERT_TRUE(client->Send(std::string(100000, 'x')));
  int steps = 0;
  loop_.RunUntil(
      [&] {
        ++steps;
        return false;
      },
      300ms);
  EXPECT_LT(steps, 40);
  EXPECT_TRUE(commands_.empty());
  EXPECT_EQ(client->TakeInput(), "");

  ASSERT_TRUE(client->Send("yyy\r\nNOOP\r\n"));
  EXPECT_EQ(client->ReadLine(), "500 Command line too long.");
  EXPECT_EQ(client->ReadLine(), "200 Noop command successful.");
  EXPECT_EQ(client->Command("NOOP"), "200 Noop command successful.");
  EXPECT_EQ(commands_, (std::vector<std::string>{"NOOP|", "NOOP|"}));
}

// A hook that resizes the receive buffer while a line is dispatched drops the data held, and
// the line being dispatched is still answered without touching memory outside the new buffer.
TEST_F(TFtpCtrlSocketTest, ReceiveBufferResizedInsideAHookLosesOnlyHeldData) {
  auto client = Connect();
  server_->OnClientCommand = [](TFtpServer&, TFtpCtrlSocket& c, std::string& keyword, std::string&,
                                std::string&) {
    if (keyword == "USER") c.SetRcvSize(16);
  };
  const std::string name(200, 'n');
  ASSERT_TRUE(client->Send("USER " + name + "\r\nNOOP\r\n"));
  EXPECT_EQ(client->ReadLine(), "331 Password required for " + name + ".");
  EXPECT_EQ(client->ReadLine(200ms), "<none>");  // the NOOP held in the old buffer is gone
  EXPECT_EQ(client->Command("NOOP"), "200 Noop command successful.");
}

// Lines that follow a command after which the session was closed are not dispatched: a client
// the host has disconnected runs no further commands.
TEST_F(TFtpCtrlSocketTest, LinesAfterTheSessionClosedAreNotDispatched) {
  int authentications = 0;
  int disconnects = 0;
  server_->OnClientCommand = [&](TFtpServer& s, TFtpCtrlSocket& c, std::string& keyword,
                                 std::string&, std::string&) {
    commands_.push_back(keyword);
    if (keyword == "KICK") s.Disconnect(c);
  };
  server_->OnAuthenticate = [&](TFtpServer&, TFtpCtrlSocket&, const std::string&,
                                const std::string&, bool&) { ++authentications; };
  server_->OnClientDisconnect = [&](TFtpServer&, TFtpCtrlSocket&, uint16_t) { ++disconnects; };

  auto client = Connect();
  ASSERT_TRUE(client->Send("USER anna\r\nKICK\r\nPASS pw\r\nNOOP\r\n"));
  EXPECT_TRUE(client->WaitClosed());
  EXPECT_TRUE(WaitClientCount(0));
  EXPECT_TRUE(loop_.RunUntil([&] { return disconnects == 1; }, FtpClient::kWait));
  EXPECT_EQ(commands_, (std::vector<std::string>{"USER", "KICK"}));
  EXPECT_EQ(authentications, 0);
}

}  // namespace
}  // namespace orvane::test
