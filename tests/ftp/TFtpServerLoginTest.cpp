// Login states and the session commands: USER, PASS, QUIT, NOOP, SYST, TYPE, PWD, XPWD, CWD,
// CDUP, over loopback.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "ftp/EngineTestSupport.h"

namespace orvane::test {
namespace {

const char kLoginFirst[] = "530 Please login with USER and PASS.";

class TFtpServerLoginTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    server_->OnAuthenticate = [this](TFtpServer&, TFtpCtrlSocket& client, const std::string& user,
                                     const std::string& password, bool& authenticated) {
      events_.push_back("auth " + user + "/" + password);
      authenticated = password == "secret";
      client.HomeDir = home_;
    };
    server_->OnLogged = [this](TFtpServer&, TFtpCtrlSocket& client) {
      events_.push_back("logged in " + client.Directory());
      client.SendStr("230-Welcome.\r\n");
    };
  }

  std::unique_ptr<FtpClient> LoggedIn() {
    auto client = Connect();
    EXPECT_EQ(client->Command("USER anna"), "331 Password required for anna.");
    EXPECT_EQ(client->Command("PASS secret"), "230-Welcome.");
    EXPECT_EQ(client->ReadLine(), "230 User anna logged in.");
    events_.clear();
    return client;
  }

  void Classic() { server_->Compatibility = CompatibilityPolicy(true); }

  std::string home_ = "C:\\FTP\\pub\\";
  std::vector<std::string> events_;
};

TEST_F(TFtpServerLoginTest, UserAndPassFollowTheLoginStates) {
  auto client = Connect();
  // Before USER only USER, PASS (refused), QUIT and NOOP do anything.
  EXPECT_EQ(client->Command("NOOP"), "200 Noop command successful.");
  EXPECT_EQ(client->Command("SYST"), kLoginFirst);
  EXPECT_EQ(client->Command("PASS secret"), "503 Login with USER first.");

  // A refused password goes back to waiting for USER.
  EXPECT_EQ(client->Command("USER  anna \t"), "331 Password required for anna.");
  EXPECT_EQ(client->Command("PASS  wrong "), "530 Login or Password incorrect.");
  EXPECT_EQ(client->Command("PASS secret"), "503 Login with USER first.");
  EXPECT_EQ(events_, (std::vector<std::string>{"auth anna/wrong"}));
  events_.clear();

  // USER twice replaces the name; the host authenticates, then the home directory is current
  // when OnLogged runs, whose lines come before the 230 answer.
  EXPECT_EQ(client->Command("USER bob"), "331 Password required for bob.");
  EXPECT_EQ(client->Command("USER anna"), "331 Password required for anna.");
  EXPECT_EQ(client->Command("PASS secret"), "230-Welcome.");
  EXPECT_EQ(client->ReadLine(), "230 User anna logged in.");
  EXPECT_EQ(events_, (std::vector<std::string>{"auth anna/secret", "logged in C:\\FTP\\pub\\"}));
  EXPECT_EQ(client->Command("SYST"), "215 UNIX Type: L8 Corvil");

  // USER after login logs out every command that needs login, until PASS succeeds again.
  EXPECT_EQ(client->Command("USER carl"), "331 Password required for carl.");
  EXPECT_EQ(client->Command("SYST"), kLoginFirst);
  EXPECT_EQ(client->Command("PWD"), kLoginFirst);
  EXPECT_EQ(client->Command("NOOP"), "200 Noop command successful.");
  EXPECT_EQ(client->Command("PASS secret"), "230-Welcome.");
  EXPECT_EQ(client->ReadLine(), "230 User carl logged in.");
}

TEST_F(TFtpServerLoginTest, QuitWorksBeforeUser) {
  auto client = Connect();
  EXPECT_EQ(client->Command("QUIT"), "221 Goodbye.");
  EXPECT_TRUE(client->WaitClosed());
}

// A home directory the path rules refuse: the client is logged in but keeps its previous
// directory, and the host's OnLogged has not run.
TEST_F(TFtpServerLoginTest, RefusedHomeDirectoryAnswers501AndKeepsThePreviousDirectory) {
  Classic();  // the paths as the directory rule gives them, drive and all
  home_ = "\\\\server\\share\\";
  auto client = Connect();
  EXPECT_EQ(client->Command("USER anna"), "331 Password required for anna.");
  EXPECT_EQ(client->Command("PASS secret"), "501 Cannot accept UNC path");
  EXPECT_EQ(events_, (std::vector<std::string>{"auth anna/secret"}));
  EXPECT_EQ(client->Command("PWD"), "257 \"C:/TEMP/\" is current directory.");
}

TEST_F(TFtpServerLoginTest, PwdAndTypeAnswers) {
  Classic();  // the paths as the directory rule gives them, drive and all
  auto client = LoggedIn();
  EXPECT_EQ(client->Command("PWD"), "257 \"C:/FTP/pub/\" is current directory.");
  EXPECT_EQ(client->Command("XPWD"), "257 \"C:/FTP/pub/\" is current directory.");
  EXPECT_EQ((*server_->FindClient(1)).CurCmdType, ftpcXPWD);

  EXPECT_EQ(client->Command("TYPE I"), "200 Type set to I.");
  EXPECT_EQ(client->Command("TYPE i"), "200 Type set to i.");
  EXPECT_EQ(client->Command("TYPE  a "), "200 Type set to a .");
  EXPECT_EQ(client->Command("TYPE A N"), "500 'TYPE A N': command not understood.");
  EXPECT_EQ(client->Command("TYPE L 8"), "500 'TYPE L 8': command not understood.");
  EXPECT_EQ(client->Command("TYPE E"), "500 'TYPE E': command not understood.");
  EXPECT_EQ(client->Command("TYPE"), "500 'TYPE ': command not understood.");
}

std::string Cwd(const std::string& dir) {
  return "250 CWD command successful. \"" + dir + "\" is current directory.";
}

TEST_F(TFtpServerLoginTest, CwdAndCdupResolveAgainstTheCurrentDirectory) {
  Classic();  // the paths as the directory rule gives them, drive and all
  std::vector<std::string> asked;
  server_->OnChangeDirectory = [&](TFtpServer&, TFtpCtrlSocket&, const std::string& dir, bool&) {
    asked.push_back(dir);
  };
  auto client = LoggedIn();
  EXPECT_EQ(client->Command("CWD sub"), Cwd("C:/FTP/pub/sub/"));
  EXPECT_EQ(client->Command("CWD .."), Cwd("C:/FTP/pub/"));
  EXPECT_EQ(client->Command("CWD"), Cwd("C:/FTP/pub/"));
  EXPECT_EQ(client->Command("CWD /incoming/new"), Cwd("C:/incoming/new/"));
  EXPECT_EQ(client->Command("CDUP"), Cwd("C:/incoming/"));
  EXPECT_EQ(client->Command("CWD D:"), Cwd("D:/"));
  EXPECT_EQ(client->Command("CDUP"), Cwd("D:/"));
  EXPECT_EQ(asked,
            (std::vector<std::string>{"C:\\FTP\\pub\\sub\\", "C:\\FTP\\pub\\", "C:\\FTP\\pub\\",
                                      "C:\\incoming\\new\\", "C:\\incoming\\", "D:\\", "D:\\"}));
  EXPECT_EQ((*server_->FindClient(1)).CurCmdType, ftpcCDUP);

  // Refusals of the path rules leave the directory as it was, and the host is not asked.
  asked.clear();
  EXPECT_EQ(client->Command("CWD C:/FTP/pub"), Cwd("C:/FTP/pub/"));
  EXPECT_EQ(client->Command("CWD ../etc"),
            "501 CWD failed. Cannot accept relative path using dot notation");
  EXPECT_EQ(client->Command("CWD sub/.."),
            "501 CWD failed. Cannot accept relative path using dot notation");
  EXPECT_EQ(client->Command("CWD //server/share"), "501 CWD failed. Cannot accept UNC path");
  EXPECT_EQ(client->Command("CWD a:b:c"), "501 CWD failed. Invalid directory name syntax");
  EXPECT_EQ(client->Command("PWD"), "257 \"C:/FTP/pub/\" is current directory.");
  EXPECT_EQ(asked, (std::vector<std::string>{"C:\\FTP\\pub\\"}));
}

TEST_F(TFtpServerLoginTest, CdupAtADriveRootStaysThere) {
  Classic();  // the paths as the directory rule gives them, drive and all
  home_ = "C:\\";
  auto client = LoggedIn();
  EXPECT_EQ(client->Command("CDUP"), Cwd("C:/"));
  EXPECT_EQ(client->Command("CWD .."), Cwd("C:/"));
  EXPECT_EQ(client->Command("PWD"), "257 \"C:/\" is current directory.");
}

// A refused CWD restores the previous directory exactly, also when the host moved the session
// somewhere else inside the hook; a hook that throws is answered with its message.
TEST_F(TFtpServerLoginTest, RefusedCwdRestoresThePreviousDirectoryExactly) {
  Classic();  // the paths as the directory rule gives them, drive and all
  server_->OnChangeDirectory = [](TFtpServer&, TFtpCtrlSocket& client, const std::string& dir,
                                  bool& allowed) {
    if (dir.find("secret") != std::string::npos) {
      client.SetDirectory("D:\\elsewhere\\");
      allowed = false;
    }
    if (dir.find("broken") != std::string::npos) {
      client.SetDirectory("D:\\elsewhere\\");
      throw std::runtime_error("rights file unreadable");
    }
  };
  auto client = LoggedIn();
  EXPECT_EQ(client->Command("CWD c:"), Cwd("c:/FTP/pub/"));  // same drive, letter as given
  EXPECT_EQ(client->Command("CWD secret"), "501 CWD failed. No permission");
  EXPECT_EQ((*server_->FindClient(1)).Directory(), "c:\\FTP\\pub\\");
  EXPECT_EQ(client->Command("CWD broken"), "501 CWD failed. rights file unreadable");
  EXPECT_EQ((*server_->FindClient(1)).Directory(), "c:\\FTP\\pub\\");
  EXPECT_EQ(client->Command("CDUP"), Cwd("c:/FTP/"));
}

// The host may follow a link by assigning the session's directory; the answer reports where the
// session ended up, while the hook's argument stays the directory the client asked for.
TEST_F(TFtpServerLoginTest, ChangeDirectoryHookCanRedirect) {
  Classic();  // the paths as the directory rule gives them, drive and all
  std::vector<std::string> arguments;
  server_->OnChangeDirectory = [&](TFtpServer&, TFtpCtrlSocket& client, const std::string& dir,
                                   bool&) {
    arguments.push_back(dir);
    if (dir == "C:\\FTP\\pub\\music\\") client.SetDirectory("E:\\media\\music\\");
    arguments.push_back(dir);
  };
  auto client = LoggedIn();
  EXPECT_EQ(client->Command("CWD music"), Cwd("E:/media/music/"));
  EXPECT_EQ(arguments,
            (std::vector<std::string>{"C:\\FTP\\pub\\music\\", "C:\\FTP\\pub\\music\\"}));
  EXPECT_EQ(client->Command("PWD"), "257 \"E:/media/music/\" is current directory.");
}

// lftp read the drive of "C:/home/user/" as a directory, sent "CWD C:" and "CWD home", and could
// never leave its home directory. Paths on the current drive are shown as UNIX absolute paths;
// every command accepts them back. No closing "/" but for the root, as lftp compares them.
TEST_F(TFtpServerLoginTest, PathsOnTheCurrentDriveAreShownWithoutTheDrive) {
  server_->OnChangeDirectory = [](TFtpServer&, TFtpCtrlSocket&, const std::string& dir,
                                  bool& allowed) {
    allowed = dir.find("secret") == std::string::npos;
  };
  auto client = LoggedIn();
  EXPECT_EQ(client->Command("PWD"), "257 \"/FTP/pub\" is current directory.");
  EXPECT_EQ(client->Command("XPWD"), "257 \"/FTP/pub\" is current directory.");
  EXPECT_EQ(client->Command("CWD sub"), Cwd("/FTP/pub/sub"));
  EXPECT_EQ(client->Command("CDUP"), Cwd("/FTP/pub"));
  EXPECT_EQ(client->Command("CWD /FTP/pub/sub"), Cwd("/FTP/pub/sub"));
  EXPECT_EQ(client->Command("CWD /"), Cwd("/"));
  // A refusal for lack of the right is a 550 with the same text.
  EXPECT_EQ(client->Command("CWD secret"), "550 CWD failed. No permission");
  EXPECT_EQ(client->Command("CWD D:/data"), Cwd("/data"));  // now D: is the current drive
  EXPECT_EQ(client->Command("PWD"), "257 \"/data\" is current directory.");
}

}  // namespace
}  // namespace orvane::test
