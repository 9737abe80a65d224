// Engine defences against hostile clients: privileged data ports, uploads whose data connection
// never comes, and sessions a hook holds while their answer is delayed.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "ftp/EngineTestSupport.h"
#include "platform/FileSystem.h"
#include "platform/TempDir.h"

namespace orvane::test {
namespace {

class TFtpServerHardeningTest : public DriveEngineTest {
 protected:
  void SetUp() override {
    DriveEngineTest::SetUp();
    server_->OnAuthenticate = [this](TFtpServer&, TFtpCtrlSocket& client, const std::string&,
                                     const std::string& password, bool& ok) {
      client.HomeDir = "C:\\";
      ok = password == "secret";
      if (!ok && holdRefusals_) client.HoldCommands();
    };
  }

  bool holdRefusals_ = false;
};

TEST_F(TFtpServerHardeningTest, PortToAPrivilegedPortOfTheClientIsRefused) {
  auto client = Login();
  // 21 is this kind of server's own control port; 1023 the last privileged one.
  for (const char* args :
       {"127,0,0,1,0,21", "127,0,0,1,0,22", "127,0,0,1,3,255", "127,0,0,1,0,0"}) {
    EXPECT_EQ(client->Command(std::string("PORT ") + args), "501 Invalid PORT command.") << args;
  }
  // Nor this server's own control port, wherever it listens.
  EXPECT_EQ(client->Command("PORT 127,0,0,1," + std::to_string(port_ / 256) + "," +
                            std::to_string(port_ % 256)),
            "501 Invalid PORT command.");
  EXPECT_EQ(client->Command("PORT 127,0,0,1,4,0"), "200 Port command successful.");
  EXPECT_EQ(client->Command("EPRT |1|127.0.0.1|1023|"),
            "501 EPRT refused: the port must be between 1024 and 65535.");
  EXPECT_EQ(client->Command("EPRT |1|127.0.0.1|" + std::to_string(port_) + "|"),
            "501 EPRT refused: the port is this server's own.");
  EXPECT_EQ(client->Command("EPRT |1|127.0.0.1|1024|"), "200 EPRT command successful.");
}

TEST_F(TFtpServerHardeningTest, UploadWhoseDataConnectionNeverCameIsNoSuccessAndCreatesNothing) {
  auto client = Login();
  ASSERT_EQ(client->Command("PASV").substr(0, 4), "227 ");
  EXPECT_EQ(client->Command("STOR never.txt"), "150 Opening data connection for never.txt.");
  // The next PASV closes the listener the upload waited on.
  ASSERT_TRUE(client->Send("PASV\r\n"));
  const std::string first = client->ReadLine();
  const std::string second = client->ReadLine();
  EXPECT_EQ(first, "425 Can't open data connection.");
  EXPECT_EQ(second.substr(0, 4), "227 ");
  EXPECT_FALSE(FileSystem::FileExists("C:\\never.txt"));
  // The session goes on: a later upload on the new listener works.
  int p1 = 0, p2 = 0;
  ASSERT_EQ(std::sscanf(second.c_str() + second.find("(127,0,0,1,") + 11, "%d,%d", &p1, &p2), 2);
  EXPECT_EQ(client->Command("STOR later.txt"), "150 Opening data connection for later.txt.");
  {
    FtpClient data(loop_, p1 * 256 + p2);
    ASSERT_TRUE(data.Connected());
    ASSERT_TRUE(data.Send("bytes"));
  }
  EXPECT_EQ(client->ReadLine(), "226 File received ok");
  EXPECT_TRUE(FileSystem::FileExists("C:\\later.txt"));
}

TEST_F(TFtpServerHardeningTest, UploadWaitingWhenTheSessionEndsCreatesNothing) {
  auto client = Login();
  ASSERT_EQ(client->Command("PASV").substr(0, 4), "227 ");
  EXPECT_EQ(client->Command("STOR gone.txt"), "150 Opening data connection for gone.txt.");
  client->Close();
  ASSERT_TRUE(WaitClientCount(0));
  EXPECT_FALSE(FileSystem::FileExists("C:\\gone.txt"));
}

TEST_F(TFtpServerHardeningTest, HeldSessionRunsNoCommandUntilItsAnswerIsReleased) {
  holdRefusals_ = true;
  auto client = Connect();
  EXPECT_EQ(client->Command("USER anna"), "331 Password required for anna.");
  // A guesser pipelines its next tries behind the refused one: none of them may run early.
  ASSERT_TRUE(client->Send("PASS wrong\r\nUSER anna\r\nPASS secret\r\nPWD\r\n"));
  EXPECT_EQ(client->ReadLine(300ms), "<none>");
  ASSERT_EQ(server_->ClientCount(), 1);
  TFtpCtrlSocket& session = server_->Client(0);
  EXPECT_TRUE(session.CommandsHeld());
  EXPECT_NE(session.FtpState, ftpcReady);

  server_->ReleaseHeldAnswer(session);
  EXPECT_EQ(client->ReadLine(), "530 Login or Password incorrect.");
  EXPECT_EQ(client->ReadLine(), "331 Password required for anna.");
  EXPECT_EQ(client->ReadLine(), "230 User anna logged in.");
  EXPECT_EQ(client->ReadLine().substr(0, 4), "257 ");  // PWD, run last
  // Reading goes on after the held lines have run.
  EXPECT_EQ(client->Command("NOOP"), "200 Noop command successful.");
}

}  // namespace
}  // namespace orvane::test
