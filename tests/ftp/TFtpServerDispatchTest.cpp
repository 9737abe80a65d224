// The dispatcher: Telnet bytes, keyword and parameters, the host's command and answer hooks,
// exceptions inside command handling, and the command table.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "ftp/EngineTestSupport.h"

namespace orvane::test {
namespace {

using TFtpServerDispatchTest = EngineTest;

TEST_F(TFtpServerDispatchTest, KeywordAndParametersAreCutFromTheLine) {
  std::vector<std::string> seen;
  server_->OnClientCommand = [&](TFtpServer&, TFtpCtrlSocket&, std::string& keyword,
                                 std::string& params,
                                 std::string&) { seen.push_back(keyword + "|" + params); };
  auto client = Connect();

  EXPECT_EQ(client->Command("noop"), "200 Noop command successful.");
  EXPECT_EQ(client->Command(" \tNoOp  extra  "), "200 Noop command successful.");
  EXPECT_EQ(client->Command("XYZ some params"), "500 'XYZ': command not understood.");
  EXPECT_EQ(client->Command("  /etc/passwd x"), "500 '/etc/passwd x': command not understood.");
  // The keyword ends at the first character that is not a letter or digit.
  EXPECT_EQ(client->Command("CWD/pub"), "530 Please login with USER and PASS.");
  EXPECT_EQ(seen, (std::vector<std::string>{"NOOP|", "NOOP|extra  ", "XYZ|some params",
                                            "|/etc/passwd x", "CWD|/pub"}));
}

// Telnet: 255 255 is one data byte 255; 255 and the byte after it are dropped (IP, DM and the
// like, as clients send them before ABOR).
TEST_F(TFtpServerDispatchTest, TelnetBytesAreRemovedBeforeTheKeywordIsCut) {
  auto client = Connect();
  EXPECT_EQ(client->Command("\xff\xf4\xff\xf2NO\xff\xfbOP"), "200 Noop command successful.");
  EXPECT_EQ(client->Command("USER a\xff\xff"
                            "b"),
            "331 Password required for a\xff"
            "b.");
  // A 255 as the very last byte of the line is dropped alone.
  EXPECT_EQ(client->Command("USER c\xff"), "331 Password required for c.");
}

// An answer set in OnClientCommand replaces the command: its handler does not run, so the
// session's state is as before. A changed keyword is dispatched instead of the received one.
TEST_F(TFtpServerDispatchTest, ClientCommandHookCanReplaceOrRewriteTheCommand) {
  int authentications = 0;
  server_->OnAuthenticate = [&](TFtpServer&, TFtpCtrlSocket&, const std::string&,
                                const std::string&, bool&) { ++authentications; };
  server_->OnClientCommand = [](TFtpServer&, TFtpCtrlSocket&, std::string& keyword,
                                std::string& params, std::string& answer) {
    if (keyword == "USER" && params == "blocked") answer = "530 Not you.";
    if (keyword == "HELLO") keyword = "NOOP";
  };
  auto client = Connect();

  EXPECT_EQ(client->Command("USER blocked"), "530 Not you.");
  EXPECT_EQ((*server_->FindClient(1)).FtpState, ftpcWaitingUserCode);
  EXPECT_EQ((*server_->FindClient(1)).UserName, "");
  EXPECT_EQ(client->Command("PASS pw"), "503 Login with USER first.");
  EXPECT_EQ(authentications, 0);
  EXPECT_EQ(client->Command("HELLO"), "200 Noop command successful.");
}

// Any exception inside command handling is answered "501 " + its message; the session lives on.
TEST_F(TFtpServerDispatchTest, ExceptionFromAHookBecomes501WithItsMessage) {
  server_->OnAuthenticate = [](TFtpServer&, TFtpCtrlSocket&, const std::string&, const std::string&,
                               bool&) { throw std::runtime_error("account file unreadable"); };
  server_->OnClientCommand = [](TFtpServer&, TFtpCtrlSocket&, std::string& keyword, std::string&,
                                std::string&) {
    if (keyword == "BOOM") throw std::runtime_error("host failed");
  };
  auto client = Connect();
  EXPECT_EQ(client->Command("BOOM"), "501 host failed");
  EXPECT_EQ(client->Command("USER anna"), "331 Password required for anna.");
  EXPECT_EQ(client->Command("PASS pw"), "501 account file unreadable");
  EXPECT_EQ(client->Command("NOOP"), "200 Noop command successful.");
}

// Every command answer passes OnAnswerToClient, which may rewrite it; the banner and the raw
// text of SendToClient do not. An exception in the answer hook loses that one answer and nothing
// else.
TEST_F(TFtpServerDispatchTest, AnswerHookSeesAndRewritesCommandAnswersOnly) {
  std::vector<std::string> answers;
  server_->OnAnswerToClient = [&](TFtpServer&, TFtpCtrlSocket&, std::string& answer) {
    answers.push_back(answer);
    if (answer.rfind("215", 0) == 0) answer = "215 rewritten";
    if (answer.rfind("331", 0) == 0) throw std::runtime_error("lost");
  };
  auto client = Connect();
  EXPECT_EQ(client->Command("XYZ"), "500 'XYZ': command not understood.");
  ASSERT_TRUE(client->Send("USER anna\r\n"));
  EXPECT_EQ(client->ReadLine(200ms), "<none>");
  EXPECT_EQ(client->Command("PASS pw"), "230 User anna logged in.");
  EXPECT_EQ(client->Command("SYST"), "215 rewritten");
  server_->SendToClient(*server_->FindClient(1), "421 Connection timed-out !\r\n");
  EXPECT_EQ(client->ReadLine(), "421 Connection timed-out !");
  EXPECT_EQ(answers, (std::vector<std::string>{
                         "500 'XYZ': command not understood.", "331 Password required for anna.",
                         "230 User anna logged in.", "215 UNIX Type: L8 Corvil"}));
}

// One gate for every row of the table: the login rule for original and extension rows alike
// (RNTO answers a missing RNFR first), a session held by a hook while an extension command ran
// keeps that answer until it is released, and rows unknown now are not understood.
TEST_F(TFtpServerDispatchTest, EveryRowPassesTheSameGate) {
  auto client = Connect();
  for (const char* command : {"RETR a", "MDTM a", "XCWD d", "EPSV", "SITE HELP"}) {
    EXPECT_EQ(client->Command(command), "530 Please login with USER and PASS.") << command;
  }
  EXPECT_EQ(client->Command("RNTO b"), "550 Bad sequence of commands.");
  EXPECT_EQ(client->Command("OPTS UTF8 ON"), "200 UTF8 set to on.");
  EXPECT_EQ(client->Command("PBSZ 0"), "500 'PBSZ': command not understood.");  // no certificate

  TFtpCtrlSocket* held = nullptr;
  server_->OnValidateSize = [&](TFtpServer&, TFtpCtrlSocket& c, std::string&, bool& allowed) {
    c.HoldCommands();
    held = &c;
    allowed = false;
  };
  client = Login();
  ASSERT_TRUE(client->Send("MDTM a\r\nNOOP\r\n"));
  EXPECT_EQ(client->ReadLine(200ms), "<none>");
  ASSERT_NE(held, nullptr);
  server_->ReleaseHeldAnswer(*held);
  EXPECT_EQ(client->ReadLine(), "550 Command failed: File not found.");
  EXPECT_EQ(client->ReadLine(), "200 Noop command successful.");

  server_->Compatibility = CompatibilityPolicy(true);
  EXPECT_EQ(client->Command("MDTM a"), "500 'MDTM': command not understood.");
  EXPECT_EQ(client->Command("SYST"), "215 UNIX Type: L8 Corvil");
}

// A server with room for commands of its own: the table holds 33 entries, 25 of them built in.
class ExtendedServer : public TFtpServer {
 public:
  using TFtpServer::CommandNOOP;
  using TFtpServer::TFtpServer;
};

TEST_F(TFtpServerDispatchTest, CommandTableHoldsThirtyThreeEntries) {
  ExtendedServer server(loop_);
  server.AddCommand("XNOP", &ExtendedServer::CommandNOOP);
  for (int i = 0; i < 7; ++i)
    server.AddCommand("X" + std::to_string(i), &ExtendedServer::CommandNOOP);
  try {
    server.AddCommand("ONEMORE", &ExtendedServer::CommandNOOP);
    ADD_FAILURE() << "the 34th command was accepted";
  } catch (const FtpServerException& e) {
    EXPECT_STREQ(e.what(), "Too many command");
  }

  server.Port = "0";
  server.Start();
  FtpClient client(loop_, std::stoi(server.ServerSocket().GetXPort()));
  EXPECT_EQ(client.ReadLine(), "220 FTP server ready.");
  EXPECT_EQ(client.Command("xnop"), "200 Noop command successful.");
  EXPECT_EQ(client.Command("ONEMORE"), "500 'ONEMORE': command not understood.");
}

}  // namespace
}  // namespace orvane::test
