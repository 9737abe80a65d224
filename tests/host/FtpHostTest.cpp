#include <gtest/gtest.h>

#include "host/FtpHost.h"
#include "host/HostTestSupport.h"
#include "platform/IniFile.h"
#include "support/FtpHostTestAccess.h"

namespace orvane::test {
namespace {

// Server replies shown on screen (category 11) so that every line the host sends is visible.
std::string Ini(const std::string& serverFtp, const std::string& more = "") {
  return "[ServerFTP]\r\nport=0\r\n" + serverFtp + "[Screen]\r\n11=1\r\n" + more;
}

using Lines = std::vector<std::string>;

// ---------------------------------------------------------------------------------------------
// Greeting and macros. The welcome lines are the live model: a change counts for the next client.

TEST_F(HostTest, GreetingWithNoneOneAndSeveralWelcomeLines) {
  StartHost(Ini("maxusr=0\r\n", "[WMessage]\r\nline0=Hello %IP\r\n"));
  auto one = Connect();
  EXPECT_EQ(one->ReadReply(), (Lines{"220-Orvane FTP Server v1.3", "220 Hello 127.0.0.1"}));
  EXPECT_TRUE(ui_.MemoHas("127.0.0.1 220-Orvane FTP Server v1.3"));
  EXPECT_TRUE(ui_.MemoHas("127.0.0.1 220 Hello 127.0.0.1"));
  EXPECT_TRUE(ui_.MemoHas("127.0.0.1 try to connect"));
  EXPECT_TRUE(ui_.MemoHas("127.0.0.1 sending welcome message"));

  host_->MessageTexts().Welcome.clear();
  auto none = Connect("127.0.0.2");
  EXPECT_EQ(none->ReadReply(), Lines{"220 Orvane FTP Server v1.3"});
  EXPECT_TRUE(ui_.MemoHas("127.0.0.2 220 Orvane FTP Server v1.3"));
  // The engine sends no banner of its own: nothing follows the greeting.
  EXPECT_EQ(none->ReadLine(100ms), "<none>");

  // Every macro is replaced at each of its places; unknown "%" texts stay.
  host_->MessageTexts().Welcome = {"Hello %IP, yes %IP", "You are user %NUMBR %RATIO (%NUMBR)", "",
                             "%TIME|%DATE|%LOCALIP|%OTHER|100%"};
  // %LOCALIP is the background lookup's last answer: the test waits for the first one (a
  // machine whose name resolves to nothing keeps "0.0.0.0").
  loop_.RunUntil([&] { return host_->LocalIPAddr() != "0.0.0.0"; }, 3s);
  auto several = Connect("127.0.0.3");
  const Lines reply = several->ReadReply();
  ASSERT_EQ(reply.size(), 5u);
  EXPECT_EQ(reply[0], "220-Orvane FTP Server v1.3");
  EXPECT_EQ(reply[1], "220-Hello 127.0.0.3, yes 127.0.0.3");
  EXPECT_EQ(reply[2], "220-You are user 3 0/0 (3)");  // the new client counts
  EXPECT_EQ(reply[3], "220-");
  EXPECT_EQ(Normalize(reply[4]), "220 <time>|<date>|" + host_->LocalIPAddr() + "|%OTHER|100%");
}

// ---------------------------------------------------------------------------------------------
// Admission: each refusal with its reply and log lines. The tests run in the order too many
// users, same address, closed, banned, and the first that applies wins. Every refused client is
// waited out (its disconnection line) so that it no longer counts.

class AdmissionTest : public HostTest {
 protected:
  Lines Refused(const char* from) {
    const std::string gone = std::string(from) + " disconnected";
    const int before = ui_.MemoCount(gone);
    auto c = Connect(from);
    const Lines reply = c->ReadReply();
    EXPECT_TRUE(c->WaitClosed());
    EXPECT_TRUE(WaitMemo(gone, before + 1));
    return reply;
  }
  // The reply line (category 11) and the reason (category 1) in the memo.
  void ExpectLogged(const std::string& a, const std::string& reply, const std::string& reason) {
    EXPECT_TRUE(ui_.MemoHas(a + " " + reply)) << reply;
    EXPECT_TRUE(ui_.MemoHas(a + " connection failed : " + reason)) << reason;
  }
};

TEST_F(AdmissionTest, RefusalsWithTheirRepliesLogLinesAndOrder) {
  // Classic: the client limit counts every connection as it comes.
  StartHost(Ini("maxusr=3\r\nsameipconnection=1\r\nclassic=1\r\n"));
  auto first = Connect();
  EXPECT_EQ(first->ReadReply(), Lines{"220 Orvane FTP Server v1.3"});
  auto other = Connect("127.0.0.2");  // another address is never "the same IP"
  EXPECT_EQ(other->ReadReply(), Lines{"220 Orvane FTP Server v1.3"});
  host_->SetClosed(true);
  for (const char* a : {"127.0.0.1", "127.0.0.2", "127.0.0.4"}) FtpHostTestAccess::Bans(*host_).Add(a);

  const std::string sameIp = "421 Sorry, a user with the same IP is already connected !";
  EXPECT_EQ(Refused("127.0.0.1"), Lines{sameIp});  // beats closed and banned
  ExpectLogged("127.0.0.1", sameIp, "Someone with the same IP is already connected");

  const std::string closed = "421 Sorry, no more connections allowed.";
  EXPECT_EQ(Refused("127.0.0.4"), Lines{closed});  // beats banned
  ExpectLogged("127.0.0.4", closed, "no more connections allowed");

  host_->SetClosed(false);
  const std::string banned = "421 Sorry, you are banned !";
  EXPECT_EQ(Refused("127.0.0.4"), Lines{banned});
  ExpectLogged("127.0.0.4", banned, "IP banned");
  EXPECT_FALSE(ui_.MemoHas("127.0.0.4 try to connect"));

  host_->Setup().SameIpConnection = false;  // the live check box
  auto third = Connect("127.0.0.3");
  EXPECT_EQ(third->ReadReply(), Lines{"220 Orvane FTP Server v1.3"});

  host_->SetClosed(true);
  host_->Setup().SameIpConnection = true;
  const std::string full = "421 Sorry, too many users are connected !";
  EXPECT_EQ(Refused("127.0.0.1"), Lines{full});  // beats every other test
  EXPECT_TRUE(ui_.MemoHas("127.0.0.1 " + full));
  EXPECT_TRUE(ui_.MemoHas("127.0.0.1 connection failed : too many users"));

  // A too-many-users message replaces the fixed reply, without %RATIO and without the reason.
  host_->MessageTexts().TooManyUsers = {"Server full", "Come back at %TIME %RATIO"};
  const Lines custom = Refused("127.0.0.5");
  ASSERT_EQ(custom.size(), 2u);
  EXPECT_EQ(custom[0], "421-Server full");
  EXPECT_EQ(Normalize(custom[1]), "421 Come back at <time> %RATIO");
  EXPECT_TRUE(ui_.MemoHas("127.0.0.5 421-Server full"));
  EXPECT_FALSE(ui_.MemoHas("127.0.0.5 connection failed : too many users"));

  // The sessions already admitted go on; every connection counted, refused ones included.
  ASSERT_TRUE(first->Send("USER bob\r\n"));
  EXPECT_EQ(first->ReadReply(), Lines{"331 Password required for bob."});
  EXPECT_EQ(FtpHostTestAccess::Stats(*host_).Connections, 8);
  EXPECT_EQ(FtpHostTestAccess::Stats(*host_).MaxConnections, 3);  // a client refused as too many is not a peak
}

TEST_F(AdmissionTest, SameAddressWithSwitchOffAndNoLimit) {
  StartHost(Ini("maxusr=0\r\n"));
  std::vector<std::unique_ptr<HostClient>> clients;
  for (int i = 0; i < 4; ++i) {
    clients.push_back(Connect());
    EXPECT_EQ(clients.back()->ReadReply(), Lines{"220 Orvane FTP Server v1.3"});
  }
}

// An IPv6 client is admitted, greeted, logged, refused as the same address and banned under
// its address "::1", however the ban was typed; the IPv4 client beside it keeps "127.0.0.1".
TEST_F(AdmissionTest, IPv6ClientsUnderTheSameRules) {
  if (!FtpClient::IPv6LoopbackWorks()) GTEST_SKIP() << "::1 cannot be bound here";
  StartHost(Ini("maxusr=0\r\nsameipconnection=1\r\n", "[WMessage]\r\nline0=Hello %IP\r\n"));
  auto v6 = Connect("::1");
  EXPECT_EQ(v6->ReadReply(), (Lines{"220-Orvane FTP Server v1.3", "220 Hello ::1"}));
  EXPECT_TRUE(ui_.MemoHas("::1 try to connect"));
  auto v4 = Connect();
  EXPECT_EQ(v4->ReadReply(), (Lines{"220-Orvane FTP Server v1.3", "220 Hello 127.0.0.1"}));
  const std::string sameIp = "421 Sorry, a user with the same IP is already connected !";
  EXPECT_EQ(Refused("::1"), Lines{sameIp});
  ExpectLogged("::1", sameIp, "Someone with the same IP is already connected");
  host_->Setup().SameIpConnection = false;
  FtpHostTestAccess::Bans(*host_).Add("0:0:0:0:0:0:0:1");
  const std::string banned = "421 Sorry, you are banned !";
  EXPECT_EQ(Refused("::1"), Lines{banned});
  ExpectLogged("::1", banned, "IP banned");
  ASSERT_TRUE(v6->Send("USER bob\r\n"));  // the ban refuses newcomers only
  EXPECT_EQ(v6->ReadReply(), Lines{"331 Password required for bob."});
  v6->Close();
  EXPECT_TRUE(WaitMemo("::1 disconnected", 3));
}

TEST_F(HostTest, DisconnectionBeforeLoginIsLoggedWithTheAddress) {
  StartHost(Ini("maxusr=0\r\n"));
  auto c = Connect("127.0.0.2");
  c->ReadReply();
  host_->ShowClientCount();
  EXPECT_EQ(ui_.panels[0], "1 clients");
  c->Close();
  ASSERT_TRUE(WaitMemo("127.0.0.2 disconnected"));
  // The disconnection refreshes the count and flushes the log.
  EXPECT_EQ(ui_.panels[0], "No client");
  EXPECT_NE(ReadBytes(dir_ / "FTP.log").find(" 127.0.0.2 disconnected\r\n"), std::string::npos);
  EXPECT_TRUE(host_->Clients().Empty());
}

// Commands echoed in green (category 12), answers with the session's user name (category 11).
TEST_F(HostTest, CommandAndAnswerEchoAroundARefusedLogin) {
  StartHost(Ini("maxusr=0\r\n", "[File]\r\n12=1\r\n"));
  host_->LogSwitches().Screen[12] = true;
  auto c = Connect();
  c->ReadReply();
  ASSERT_TRUE(c->Send("NOOP\r\nUSER bob\r\nPASS secret\r\n"));
  EXPECT_EQ(c->ReadReply().back(), "200 Noop command successful.");
  EXPECT_EQ(c->ReadReply().back(), "331 Password required for bob.");
  EXPECT_EQ(c->ReadReply().back(), "530 Login or Password incorrect.");
  EXPECT_EQ(FtpHostTestAccess::Stats(*host_).ConnectionsRF, 1);

  const auto green = [&](const std::string& text) {
    for (const FakeUi::MemoLine& l : ui_.memo) {
      if (l.text == text) return l.color == MemoColor::Green;
    }
    return false;
  };
  EXPECT_TRUE(green(" (127.0.0.1) >NOOP "));
  EXPECT_TRUE(green(" (127.0.0.1) >USER bob"));
  EXPECT_TRUE(ui_.MemoHas(" (127.0.0.1) 200 Noop command successful."));
  EXPECT_TRUE(ui_.MemoHas("bob (127.0.0.1) 331 Password required for bob."));
  EXPECT_TRUE(ui_.MemoHas("bob (127.0.0.1) connection refused : Bad Password (no accounts)"));
  // The password itself is never shown or logged.
  EXPECT_TRUE(green(" (127.0.0.1) >PASS ****"));
  EXPECT_NE(Normalize(LogFile()).find("<stamp>  (127.0.0.1) >PASS ****\r\n"), std::string::npos);
  EXPECT_EQ(LogFile().find("secret"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Client count and throughput display

TEST_F(HostTest, ClientCountTextsAtTheirBoundaries) {
  StartHost(Ini("maxusr=2\r\n"));
  EXPECT_EQ(ui_.panels[0], "No client");
  EXPECT_EQ(ui_.trayImage, 0);
  EXPECT_EQ(ui_.trayHint, "No client");

  auto c1 = Connect();
  c1->ReadReply();
  EXPECT_EQ(ui_.panels[0], "No client");  // a connection alone does not refresh the count
  host_->ShowClientCount();
  EXPECT_EQ(ui_.panels[0], "1/2 clients");
  EXPECT_EQ(ui_.trayImage, 1);
  EXPECT_EQ(ui_.trayHint, "1 client");

  FtpHostTestAccess::Engine(*host_).MaxClients = 0;
  auto c2 = Connect("127.0.0.2");
  auto c3 = Connect("127.0.0.3");
  c2->ReadReply();
  c3->ReadReply();
  host_->ShowClientCount();
  EXPECT_EQ(ui_.panels[0], "3 clients");
  EXPECT_EQ(ui_.trayHint, "3 users");
  FtpHostTestAccess::Engine(*host_).MaxClients = 5;
  host_->ShowClientCount();
  EXPECT_EQ(ui_.panels[0], "3/5 clients");
}

TEST_F(HostTest, ThroughputTextPerSecond) {
  StartHost(Ini("maxusr=0\r\n"));
  EXPECT_EQ(ui_.panels[2], "");
  FtpHostTestAccess::Stats(*host_).Throughput = 12345;
  host_->Timer3Timer();
  EXPECT_EQ(ui_.panels[2], "12 Kb/s");
  FtpHostTestAccess::Stats(*host_).Throughput = 9999;
  host_->Timer3Timer();
  EXPECT_EQ(ui_.panels[2], "9999 bytes/s");
  host_->Timer3Timer();  // the count restarts at every tick
  EXPECT_EQ(ui_.panels[2], "0 bytes/s");
}

TEST_F(HostTest, MemoIsTrimmedToMaxLinesAtTheTick) {
  StartHost(Ini("maxusr=0\r\n"));
  for (int i = 0; i < 10; ++i) host_->LogEvent(1, "event " + std::to_string(i));
  host_->LogSwitches().MaxLines = "x";  // not a number: the tick does nothing
  host_->Timer4Timer();
  EXPECT_GT(ui_.memo.size(), 10u);
  host_->LogSwitches().MaxLines = "3";
  host_->Timer4Timer();
  ASSERT_EQ(ui_.memo.size(), 3u);
  EXPECT_EQ(ui_.memo[0].text, "event 7");
}

// ---------------------------------------------------------------------------------------------
// Start and stop

TEST_F(HostTest, StopAndStartWithoutClients) {
  StartHost(Ini("maxusr=3\r\n"));
  // Port 0 lets the system choose: the panel and the start line name the port it chose.
  EXPECT_EQ(ui_.panels[1], "FTP Server On-line/Port : " + std::to_string(port_));
  EXPECT_EQ(ui_.caption, "Arrêter");
  EXPECT_TRUE(ui_.MemoHas("FTP Server On-line on port " + std::to_string(port_) + " ..."));

  EXPECT_TRUE(host_->StartStopCommand());
  EXPECT_TRUE(ui_.questions.empty());
  EXPECT_FALSE(host_->Active());
  EXPECT_EQ(ui_.caption, "Activate");
  EXPECT_EQ(ui_.panels[1], "FTP Server Off-line");
  EXPECT_EQ(ui_.panels[0], "No client");
  EXPECT_TRUE(ui_.MemoHas("FTP Server Off-line ..."));
  const std::string log = Normalize(LogFile());
  EXPECT_EQ(log.substr(log.rfind("\r\n", log.size() - 3)),
            "\r\n<date> FTP Server Off-line ...\r\n");

  host_->Setup().MaxUsr = "7";  // the started event takes the setup field's value
  EXPECT_TRUE(host_->StartStopCommand());
  EXPECT_TRUE(host_->Active());
  EXPECT_EQ(FtpHostTestAccess::Engine(*host_).MaxClients, 7);
  EXPECT_EQ(ui_.caption, "Arrêter");
  EXPECT_TRUE(ui_.MemoHas("FTP Server On-line on port " +
                          FtpHostTestAccess::Engine(*host_).ServerSocket().GetXPort() + " ..."));
}

TEST_F(HostTest, StopWithOneClientAsksAndNoKeepsTheServerOnLine) {
  StartHost(Ini("maxusr=0\r\n"));
  auto c = Connect();
  c->ReadReply();
  ui_.answers = {false};
  EXPECT_FALSE(host_->StartStopCommand());
  EXPECT_EQ(ui_.questions,
            Lines{"There is still 1 user connected, do you really want to stop the server ?"});
  EXPECT_TRUE(host_->Active());
  EXPECT_EQ(host_->SessionCount(), 1);
  ASSERT_TRUE(c->Send("USER bob\r\n"));
  EXPECT_EQ(c->ReadReply().back().substr(0, 4), "331 ");

  EXPECT_TRUE(host_->StartStopCommand());  // Yes
  EXPECT_FALSE(host_->Active());
  EXPECT_EQ(ui_.caption, "Activer");
  EXPECT_TRUE(c->WaitClosed());
  EXPECT_TRUE(WaitMemo("127.0.0.1 disconnected"));
  EXPECT_EQ(ui_.panels[0], "No client");
}

TEST_F(HostTest, StopWithThreeClientsAsksThePluralQuestion) {
  StartHost(Ini("maxusr=0\r\n"));
  std::vector<std::unique_ptr<HostClient>> clients;
  for (const char* from : {"127.0.0.1", "127.0.0.2", "127.0.0.3"}) {
    clients.push_back(Connect(from));
    clients.back()->ReadReply();
  }
  ASSERT_EQ(host_->Clients().Count(), 3u);
  EXPECT_TRUE(host_->StartStopCommand());
  EXPECT_EQ(ui_.questions,
            Lines{"There are still 3 users connected, do you really want to stop the server ?"});
  // The stopped event empties the list at once; each session keeps its record until its
  // disconnection hook, which still logs the client by its record.
  EXPECT_TRUE(host_->Clients().Empty());
  for (auto& c : clients) EXPECT_TRUE(c->WaitClosed());
  EXPECT_TRUE(WaitMemo("127.0.0.3 disconnected"));
  EXPECT_FALSE(host_->Active());
  // A client of the restarted server is listed alone and counts alone in %NUMBR.
  host_->MessageTexts().Welcome = {"user %NUMBR"};
  ASSERT_TRUE(host_->StartStopCommand());
  ASSERT_TRUE(host_->Active());
  port_ = std::stoi(FtpHostTestAccess::Engine(*host_).ServerSocket().GetXPort());
  auto again = Connect();
  EXPECT_EQ(again->ReadReply().back(), "220 user 1");
  EXPECT_EQ(host_->Clients().Count(), 1u);
}

TEST_F(HostTest, PortInUseIsReportedAndLeavesTheServerOffLine) {
  TWSocket blocker(loop_);
  blocker.SetAddr("127.0.0.1");
  blocker.SetPort("0");
  ASSERT_EQ(blocker.Listen(), 0);
  const std::string taken = blocker.GetXPort();

  host_ = std::make_unique<FtpHost>(loop_, ui_, dir_.Path() + "/");
  ASSERT_TRUE(host_->StartUp(taken, true));
  EXPECT_EQ(ui_.messages, Lines{"Port number " + taken + " is already in use !"});
  EXPECT_FALSE(host_->Active());
  EXPECT_EQ(ui_.panels[1], "FTP Server Off-line");
  EXPECT_TRUE(ui_.MemoHas("FTP Server Off-line ..."));
  EXPECT_NE(LogFile().find(" FTP Server Off-line ...\r\n"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Log file, session blocks and counters across runs

TEST_F(HostTest, ClassicSwitchIsReadFromServerFtpAndOffByDefault) {
  StartHost(Ini("maxusr=0\r\n"));
  EXPECT_FALSE(FtpHostTestAccess::Engine(*host_).Compatibility.Classic());
  EXPECT_FALSE(host_->Compatibility().Classic());
  host_.reset();
  StartHost(Ini("maxusr=0\r\nclassic=1\r\n"));
  EXPECT_TRUE(host_->Compatibility().Classic());
}

TEST_F(HostTest, LogFileHasSessionBlocksAndHonoursFileSwitches) {
  StartHost(Ini("maxusr=0\r\n", "[File]\r\n1=0\r\n"));
  auto c = Connect();
  c->ReadReply();
  c->Close();
  ASSERT_TRUE(WaitMemo("127.0.0.1 disconnected"));
  host_->Finish(false);
  const std::string log = ReadBytes(dir_ / "FTP.log");
  EXPECT_EQ(Normalize(log),
            // The block names the port the server listens on, not the engine's default 21.
            "\r\n\r\n---------- Session created on <stamp> on port 0 ----------\r\n\r\n"
            "<stamp> " +
                dir_ / "Accounts.ini" +
                " does not exist: no account can log in\r\n"
                "<date> FTP Server On-line on port " +
                std::to_string(port_) +
                " ...\r\n"
                "<stamp> 127.0.0.1 disconnected\r\n"
                // The end of the session stops the engine before the block that closes it.
                "<date> FTP Server Off-line ...\r\n"
                "\r\n---------- Session closed  on <stamp> ----------\r\n");
  // Category 1 still reaches the screen: the two switches are independent.
  EXPECT_TRUE(ui_.MemoHas("127.0.0.1 try to connect"));
}

TEST_F(HostTest, CountersSurviveARestart) {
  StartHost(Ini("maxusr=0\r\n"));
  {
    auto c1 = Connect();
    auto c2 = Connect("127.0.0.2");
    c1->ReadReply();
    c2->ReadReply();
    // A new peak is written at the next tick (once, however many clients came meanwhile).
    host_->Timer2Timer();
    EXPECT_EQ(IniFile(dir_ / "FTPsrv.ini").ReadInteger("Stats", "maxconnections", -1), 2);
    c2->Close();
    ASSERT_TRUE(WaitMemo("127.0.0.2 disconnected"));
    auto c3 = Connect("127.0.0.3");
    c3->ReadReply();
    EXPECT_EQ(FtpHostTestAccess::Stats(*host_).Connections, 3);
    EXPECT_EQ(IniFile(dir_ / "FTPsrv.ini").ReadInteger("Stats", "connections", -1), 2);
    EXPECT_TRUE(host_->StartStopCommand());  // saves, then stops after Yes
    EXPECT_TRUE(c1->WaitClosed());
    EXPECT_TRUE(c3->WaitClosed());
  }
  host_->Finish(false);
  host_.reset();

  StartHost();
  EXPECT_EQ(FtpHostTestAccess::Stats(*host_).MaxConnections, 2);
  EXPECT_EQ(FtpHostTestAccess::Stats(*host_).Connections, 3);
  // The second run appends its own start block to the same log file.
  const std::string log = LogFile();
  EXPECT_NE(log.find("Session closed  on "), std::string::npos);
  EXPECT_EQ(log.rfind("Session created on "),
            log.find("Session created on ", log.find("Session closed")));
}

}  // namespace
}  // namespace orvane::test

// ---------------------------------------------------------------------------------------------
// The host's operations on clients named by reference, and the one end of a session.

namespace orvane::test {
namespace {

TEST_F(HostTest, KickAndBanByReferenceReachOnlyTheClientNamed) {
  StartHost(Ini("maxusr=0\r\n"));
  auto first = Connect();
  first->ReadReply();
  auto second = Connect("127.0.0.2");
  second->ReadReply();
  const std::optional<ClientRef> gone = host_->RefOf(host_->Clients().Listed().at(0));
  ASSERT_TRUE(gone.has_value());
  first->Close();
  ASSERT_TRUE(WaitMemo("127.0.0.1 disconnected"));
  // A newcomer after the one who left: its record may sit where the old one was.
  auto third = Connect("127.0.0.3");
  third->ReadReply();
  EXPECT_EQ(host_->Resolve(*gone), nullptr);
  EXPECT_FALSE(host_->Kick(*gone));
  EXPECT_FALSE(host_->Ban(*gone, true));
  EXPECT_TRUE(host_->Bans().Items().empty());
  EXPECT_FALSE(second->WaitClosed(std::chrono::milliseconds(50)));
  EXPECT_FALSE(third->WaitClosed(std::chrono::milliseconds(10)));

  // By sequence number, as the console names a client.
  const uint64_t sequence = host_->RefOf(host_->Clients().Listed().at(1))->sequence;
  const std::optional<ClientRef> ref = host_->RefOf(sequence);
  ASSERT_TRUE(ref.has_value());
  EXPECT_TRUE(host_->Ban(*ref, false));
  EXPECT_EQ(host_->Bans().Items(), std::vector<std::string>{"127.0.0.3"});
  EXPECT_TRUE(host_->Kick(*ref));
  EXPECT_FALSE(host_->Kick(*ref));  // already going
  EXPECT_TRUE(third->WaitClosed());
  EXPECT_FALSE(second->WaitClosed(std::chrono::milliseconds(50)));
  EXPECT_TRUE(host_->Unban(0));
  EXPECT_FALSE(host_->Unban(0));
  EXPECT_EQ(host_->KickAll(), 1);
  EXPECT_TRUE(second->WaitClosed());
}

TEST_F(HostTest, FinishEndsTheSessionOnceWithTheDisconnectionsLogged) {
  StartHost(Ini("maxusr=0\r\n"));
  auto c = Connect();
  c->ReadReply();
  host_->Finish(true);
  EXPECT_TRUE(host_->Finished());
  EXPECT_FALSE(host_->Active());
  EXPECT_TRUE(c->WaitClosed());
  host_->Finish(true);
  const std::string log = ReadBytes(dir_ / "FTP.log");
  // The client's disconnection is logged before the block that closes the session, once.
  const size_t disconnected = log.find("127.0.0.1 disconnected");
  const size_t closed = log.find("---------- Session closed");
  ASSERT_NE(disconnected, std::string::npos);
  ASSERT_NE(closed, std::string::npos);
  EXPECT_LT(disconnected, closed);
  EXPECT_EQ(closed, log.rfind("---------- Session closed"));
  EXPECT_NE(log.find("FTP Server Off-line ..."), std::string::npos);
}

}  // namespace
}  // namespace orvane::test
