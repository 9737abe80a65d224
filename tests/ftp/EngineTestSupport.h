#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ftp/TFtpServer.h"
#include "net/EventLoop.h"
#include "platform/TempDir.h"
#include "platform/UniqueFd.h"
#include "support/DriveMapScope.h"
#include "support/FtpClient.h"

namespace orvane::test {

using namespace std::chrono_literals;

// A loop and a started engine on a port the system chose. Tests connect plain clients to it and
// step the loop through the clients' waits.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The engine handles every failure of its own events; nothing may reach the loop.
    loop_.OnUnhandledException = [](const std::exception& e) {
      ADD_FAILURE() << "exception left an engine event: " << e.what();
    };
    server_ = std::make_unique<TFtpServer>(loop_);
    server_->Port = "0";
    server_->Start();
    ASSERT_TRUE(server_->Active());
    port_ = std::stoi(server_->ServerSocket().GetXPort());
  }

  // A client whose session has been accepted and greeted: the banner is its first line.
  std::unique_ptr<FtpClient> Connect() {
    auto client = std::make_unique<FtpClient>(loop_, port_);
    EXPECT_TRUE(client->Connected());
    EXPECT_EQ(client->ReadLine(), server_->Banner);
    return client;
  }

  // A connected client logged in through USER and PASS.
  std::unique_ptr<FtpClient> Login(const std::string& user = "anna") {
    auto client = Connect();
    EXPECT_EQ(client->Command("USER " + user), "331 Password required for " + user + ".");
    EXPECT_EQ(client->Command("PASS secret"), "230 User " + user + " logged in.");
    return client;
  }

  // Steps the loop until the server holds n sessions.
  bool WaitClientCount(int n) {
    return loop_.RunUntil([&] { return server_->ClientCount() == n; }, FtpClient::kWait);
  }

  // Runs the loop for a bounded time, for checks that something does NOT happen.
  void Settle(std::chrono::milliseconds time = 100ms) {
    loop_.RunUntil([] { return false; }, time);
  }

  EventLoop loop_;
  std::unique_ptr<TFtpServer> server_;
  int port_ = 0;
};

// An engine whose drive C is a fresh temporary directory; every login lands in C:\ whatever
// the password (a test that judges passwords sets its own OnAuthenticate after SetUp).
class DriveEngineTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    drives_.emplace(std::map<char, std::string>{{'C', root_.Path()}});
    server_->OnAuthenticate = [](TFtpServer&, TFtpCtrlSocket& client, const std::string&,
                                 const std::string&, bool&) { client.HomeDir = "C:\\"; };
  }
  void TearDown() override { drives_.reset(); }

  TempDir root_;
  std::optional<DriveMapScope> drives_;
};

}  // namespace orvane::test
