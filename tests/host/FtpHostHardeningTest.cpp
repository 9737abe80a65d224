// The host's defences: the login time-out, slow and visible password guessing with automatic
// bans, and log lines that no client text can forge.
#include <gtest/gtest.h>

#include "host/FtpHost.h"
#include "host/HostTestSupport.h"
#include "host/LogText.h"
#include "host/LoginGuard.h"

namespace orvane::test {
namespace {

using Lines = std::vector<std::string>;

const char kAccounts[] =
    "[user]\r\nLogin=user\r\nPass=pw\r\nEnableLogin=1\r\nEnablePass=1\r\nEnabled=1\r\n"
    "Dir0=C:\\\r\nAttr0=RL\r\n";

class HostHardeningTest : public HostTest {
 protected:
  // Replies and connection lines on screen, every category in the file.
  void Start(const std::string& serverFtp) {
    WriteBytes(dir_ / "Accounts.ini", kAccounts);
    std::string ini = "[Drives]\r\nC=" + dir_.Path() + "\r\n[ServerFTP]\r\nmaxusr=0\r\n" +
                      serverFtp + "[Screen]\r\n1=1\r\n2=1\r\n11=1\r\n12=1\r\n[File]\r\n";
    for (int i = 1; i <= 12; ++i) ini += std::to_string(i) + "=1\r\n";
    StartHost(ini);
  }
  std::unique_ptr<HostClient> Greeted(const char* from = "127.0.0.1") {
    auto c = Connect(from);
    EXPECT_EQ(c->ReadLine(), "220 Orvane FTP Server v1.3");
    return c;
  }
};

TEST(LogText, ControlBytesAreShownInCaretNotation) {
  EXPECT_EQ(EscapeControlBytes("a\rb\nc\x1b[2Jd\x7f\x01\x1f e"), "a^Mb^Jc^[[2Jd^?^A^_ e");
  EXPECT_EQ(EscapeControlBytes(std::string("x\0y", 3)), "x^@y");
  EXPECT_EQ(EscapeControlBytes("C:\\ftp\\\xc3\xa9t\xc3\xa9.txt"), "C:\\ftp\\\xc3\xa9t\xc3\xa9.txt");
}

TEST_F(HostHardeningTest, AttackClientTextCannotForgeALogLineOrReachTheTerminal) {
  Start("");
  auto c = Greeted();
  // A CR ends nothing on the wire (only LF does), so the whole text reaches the log as one line.
  ASSERT_TRUE(c->Send("USER evil\r2026-01-01 00:00:00 admin logged in\x07\x1b[2J\r\n"));
  EXPECT_EQ(c->ReadLine(),
            "331 Password required for evil\r2026-01-01 00:00:00 admin logged in"
            "\x07\x1b[2J.");
  const std::string shown = "evil^M2026-01-01 00:00:00 admin logged in^G^[[2J";
  EXPECT_TRUE(loop_.RunUntil(
      [&] {
        for (const FakeUi::MemoLine& l : ui_.memo) {
          if (l.text.find(shown) != std::string::npos) return true;
        }
        return false;
      },
      3s));
  for (const FakeUi::MemoLine& l : ui_.memo) {
    for (char ch : l.text) EXPECT_FALSE(static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f);
  }
  const std::string file = LogFile();
  EXPECT_NE(file.find(shown), std::string::npos);
  for (std::size_t i = 0; i < file.size(); ++i) {
    const unsigned char ch = static_cast<unsigned char>(file[i]);
    if (ch == '\r') {
      ASSERT_LT(i + 1, file.size());
      EXPECT_EQ(file[i + 1], '\n') << "a CR that ends no line at " << i;
    } else if (ch != '\n') {
      EXPECT_FALSE(ch < 0x20 || ch == 0x7f) << "control byte " << int(ch) << " at " << i;
    }
  }
}

TEST_F(HostHardeningTest, ClientThatDoesNotLogInInTimeIsClosed) {
  Start("logintimeout=1\r\n");
  auto silent = Greeted();
  auto loggedIn = Greeted("127.0.0.2");
  EXPECT_EQ(loggedIn->Command("USER user"), "331 Password required for user.");
  EXPECT_EQ(loggedIn->Command("PASS pw"), "230 User user logged in.");
  EXPECT_EQ(silent->ReadLine(), "421 Login time-out !");
  EXPECT_TRUE(silent->WaitClosed());
  EXPECT_TRUE(WaitMemo("127.0.0.1 421 Login time-out !"));
  // The logged-in client keeps its own rules (this account has no time-out).
  EXPECT_EQ(loggedIn->Command("NOOP"), "200 Noop command successful.");
}

TEST_F(HostHardeningTest, LoginTimeOutZeroNeverCloses) {
  Start("logintimeout=0\r\n");
  auto silent = Greeted();
  for (int i = 0; i < 2; ++i) host_->Timer2Timer();
  EXPECT_EQ(silent->ReadLine(1200ms), "<none>");
  EXPECT_EQ(silent->Command("NOOP"), "200 Noop command successful.");
}

TEST_F(HostHardeningTest, RefusedPasswordsAreAnsweredLateThenEndTheConnection) {
  Start("loginfaildelay=1\r\nmaxloginfailures=2\r\nbanfailures=0\r\n");
  auto c = Greeted();
  EXPECT_EQ(c->Command("USER user"), "331 Password required for user.");
  ASSERT_TRUE(c->Send("PASS guess1\r\nUSER user\r\n"));
  // About a second passes before the refusal; the pipelined USER waits behind it.
  EXPECT_EQ(c->ReadLine(500ms), "<none>");
  EXPECT_EQ(c->ReadLine(), "530 Login or Password incorrect.");
  EXPECT_EQ(c->ReadLine(), "331 Password required for user.");
  // The second refusal waits about two seconds and ends the connection.
  ASSERT_TRUE(c->Send("PASS guess2\r\n"));
  EXPECT_EQ(c->ReadLine(1500ms), "<none>");
  EXPECT_EQ(c->ReadLine(), "530 Login or Password incorrect.");
  EXPECT_EQ(c->ReadLine(), "421 Too many failed logins !");
  EXPECT_TRUE(c->WaitClosed());
  // Another client is served all along, and the right password still logs in.
  auto other = Greeted();
  EXPECT_EQ(other->Command("USER user"), "331 Password required for user.");
  EXPECT_EQ(other->Command("PASS pw"), "230 User user logged in.");
}

TEST_F(HostHardeningTest, AddressThatKeepsGuessingIsBannedForATime) {
  Start(
      "loginfaildelay=0\r\nmaxloginfailures=0\r\nbanfailures=3\r\nbanwindow=600\r\nbantime=1\r\n");
  auto neighbour = Greeted("127.0.0.2");
  auto c = Greeted();
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(c->Command("USER user"), "331 Password required for user.");
    EXPECT_EQ(c->Command("PASS wrong"), "530 Login or Password incorrect.");
  }
  EXPECT_FALSE(host_->banList.Contains("127.0.0.1"));
  EXPECT_EQ(c->Command("USER user"), "331 Password required for user.");
  ASSERT_TRUE(c->Send("PASS wrong\r\n"));
  // The third refusal bans the address and ends its connection.
  EXPECT_EQ(c->ReadLine(), "530 Login or Password incorrect.");
  EXPECT_EQ(c->ReadLine(), "421 Too many failed logins !");
  EXPECT_TRUE(c->WaitClosed());
  EXPECT_TRUE(host_->banList.Contains("127.0.0.1"));
  EXPECT_EQ(ui_.banListChanges, 1);
  EXPECT_TRUE(WaitMemo("127.0.0.1 banned for 1 s after 3 failed logins"));
  EXPECT_NE(LogFile().find("127.0.0.1 banned for 1 s after 3 failed logins"), std::string::npos);
  auto refused = Connect();
  EXPECT_EQ(refused->ReadLine(), "421 Sorry, you are banned !");
  EXPECT_TRUE(refused->WaitClosed());
  EXPECT_EQ(neighbour->Command("NOOP"), "200 Noop command successful.");

  // The ban ends by itself and leaves the list.
  EXPECT_TRUE(loop_.RunUntil([&] { return !host_->banList.Contains("127.0.0.1"); }, 4s));
  EXPECT_EQ(ui_.banListChanges, 2);
  EXPECT_TRUE(WaitMemo("127.0.0.1 ban ended"));
  auto again = Greeted();
  EXPECT_EQ(again->Command("USER user"), "331 Password required for user.");
  EXPECT_EQ(again->Command("PASS pw"), "230 User user logged in.");
}

TEST(LoginGuard, CountsRefusalsPerAddressWithinTheWindow) {
  LoginGuard guard;
  guard.settings.BanFailures = 3;
  guard.settings.BanWindow = 10;
  EXPECT_FALSE(guard.RecordFailure("a", 100));
  EXPECT_FALSE(guard.RecordFailure("b", 101));
  EXPECT_FALSE(guard.RecordFailure("a", 105));
  EXPECT_FALSE(guard.RecordFailure("a", 111));  // the first one has left the window
  EXPECT_TRUE(guard.RecordFailure("a", 112));
  EXPECT_FALSE(guard.RecordFailure("a", 113));  // counting starts again after a ban
  guard.settings.BanFailures = 0;
  for (int i = 0; i < 20; ++i) EXPECT_FALSE(guard.RecordFailure("c", 200));

  EXPECT_EQ(guard.DelayFor(1), 1);
  EXPECT_EQ(guard.DelayFor(3), 3);
  EXPECT_EQ(guard.DelayFor(1000), 60);
  EXPECT_FALSE(guard.EndsConnection(2));
  EXPECT_TRUE(guard.EndsConnection(3));
  guard.settings.MaxFailures = 0;
  EXPECT_FALSE(guard.EndsConnection(100));

  guard.settings.BanTime = 5;
  guard.Banned("a", 100);
  guard.settings.BanTime = 0;
  guard.Banned("b", 100);
  EXPECT_TRUE(guard.TakeExpiredBans(104).empty());
  EXPECT_EQ(guard.TakeExpiredBans(105), Lines{"a"});
  EXPECT_TRUE(guard.TakeExpiredBans(100000).empty());  // "b" lasts until the program ends
}

}  // namespace
}  // namespace orvane::test
