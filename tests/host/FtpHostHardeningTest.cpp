// The host's defences: the login time-out, slow and visible password guessing with automatic
// bans, and log lines that no client text can forge.
#include <gtest/gtest.h>

#include "access/PasswordHash.h"
#include "host/EscapeControlBytes.h"
#include "host/FtpHost.h"
#include "host/HostTestSupport.h"
#include "host/LoginGuard.h"
#include "support/FtpHostTestAccess.h"

namespace orvane::test {
namespace {

using Lines = std::vector<std::string>;

const char kAccounts[] =
    "[user]\r\nLogin=user\r\nPass=pw\r\nEnableLogin=1\r\nEnablePass=1\r\nEnabled=1\r\n"
    "Dir0=C:\\\r\nAttr0=RL\r\n";

class HostHardeningTest : public HostTest {
 protected:
  // Replies and connection lines on screen, every category in the file.
  void Start(const std::string& serverFtp, const std::string& accounts = kAccounts) {
    WriteBytes(dir_ / "Accounts.ini", accounts);
    // The first of two equal keys counts: the test's own settings come first.
    std::string ini = "[Drives]\r\nC=" + dir_.Path() + "\r\n[ServerFTP]\r\n" + serverFtp +
                      "maxusr=0\r\n[Screen]\r\n1=1\r\n2=1\r\n11=1\r\n12=1\r\n[File]\r\n";
    for (int i = 1; i <= 12; ++i) ini += std::to_string(i) + "=1\r\n";
    StartHost(ini);
  }
  std::unique_ptr<HostClient> Greeted(const char* from = "127.0.0.1") {
    auto c = Connect(from);
    EXPECT_EQ(c->ReadLine(), "220 Orvane FTP Server v1.3");
    return c;
  }
};

TEST(EscapeControlBytes, ControlBytesAreShownInCaretNotation) {
  EXPECT_EQ(EscapeControlBytes("a\rb\nc\x1b[2Jd\x7f\x01\x1f e"), "a^Mb^Jc^[[2Jd^?^A^_ e");
  EXPECT_EQ(EscapeControlBytes(std::string("x\0y", 3)), "x^@y");
  EXPECT_EQ(EscapeControlBytes("C:\\ftp\\\xc3\xa9t\xc3\xa9.txt"), "C:\\ftp\\\xc3\xa9t\xc3\xa9.txt");
  // C1 controls, raw and in UTF-8; a continuation byte in that range ("\xe2\x82\xac" is the euro
  // sign) is no control, and U+00A0 is none either.
  EXPECT_EQ(EscapeControlBytes("a\x9b"
                               "2Jb\xc2\x9b"
                               "2Jc\x85\xc2\x80"),
            "aM-^[2JbM-^[2JcM-^EM-^@");
  EXPECT_EQ(EscapeControlBytes("\xe2\x82\xac \xc2\xa0 \xf0\x9f\x98\x80"),
            "\xe2\x82\xac \xc2\xa0 \xf0\x9f\x98\x80");
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

// The password hash runs on a worker while the session waits held: commands sent behind PASS
// are answered after it, in order, and a client that leaves while its hash runs leaves nothing
// behind (the answer finds no session and is dropped).
TEST_F(HostHardeningTest, LoginIsHashedOffTheLoopAndSurvivesAClientThatLeaves) {
  Start("", "[user]\r\nLogin=user\r\nPassHash=" + PasswordHash::Hash("pw") +
                "\r\nEnableLogin=1\r\nEnablePass=1\r\nEnabled=1\r\nDir0=C:\\\r\nAttr0=RL\r\n");
  auto c = Greeted();
  ASSERT_TRUE(c->Send("USER user\r\nPASS pw\r\nPWD\r\n"));
  EXPECT_EQ(c->ReadLine(), "331 Password required for user.");
  EXPECT_EQ(c->ReadLine(), "230 User user logged in.");
  EXPECT_EQ(c->ReadLine(), "257 \"/\" is current directory.");
  EXPECT_TRUE(WaitMemo("user (127.0.0.1) logged in"));

  for (int i = 0; i < 3; ++i) {
    auto leaving = Greeted("127.0.0.2");
    ASSERT_TRUE(leaving->Send("USER user\r\nPASS wrong\r\n"));
    leaving->Close();
  }
  ASSERT_TRUE(WaitMemo("127.0.0.2 disconnected", 3));
  // Whatever each hash found, its answer had no session to go to, or came before the close.
  loop_.RunUntil([] { return false; }, 300ms);
  EXPECT_EQ(host_->SessionCount(), 1);
  EXPECT_EQ(c->Command("NOOP"), "200 Noop command successful.");
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
  EXPECT_FALSE(host_->Bans().Contains("127.0.0.1"));
  EXPECT_EQ(c->Command("USER user"), "331 Password required for user.");
  ASSERT_TRUE(c->Send("PASS wrong\r\n"));
  // The third refusal bans the address and ends its connection.
  EXPECT_EQ(c->ReadLine(), "530 Login or Password incorrect.");
  EXPECT_EQ(c->ReadLine(), "421 Too many failed logins !");
  EXPECT_TRUE(c->WaitClosed());
  EXPECT_TRUE(host_->Bans().Contains("127.0.0.1"));
  EXPECT_EQ(ui_.banListChanges, 1);
  EXPECT_TRUE(WaitMemo("127.0.0.1 banned for 1 s after 3 failed logins"));
  EXPECT_NE(LogFile().find("127.0.0.1 banned for 1 s after 3 failed logins"), std::string::npos);
  auto refused = Connect();
  EXPECT_EQ(refused->ReadLine(), "421 Sorry, you are banned !");
  EXPECT_TRUE(refused->WaitClosed());
  EXPECT_EQ(neighbour->Command("NOOP"), "200 Noop command successful.");

  // The ban ends by itself and leaves the list.
  EXPECT_TRUE(loop_.RunUntil([&] { return !host_->Bans().Contains("127.0.0.1"); }, 4s));
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

namespace orvane::test {
namespace {

TEST_F(HostHardeningTest, SilentConnectionsCannotKeepOutClientsThatLogIn) {
  Start("maxusr=2\r\nmaxperip=2\r\n");
  auto squat1 = Greeted();
  auto squat2 = Greeted();
  auto squat3 = Connect();
  EXPECT_EQ(squat3->ReadLine(), "421 Sorry, too many connections from your address !");
  EXPECT_TRUE(squat3->WaitClosed());
  EXPECT_TRUE(WaitMemo("127.0.0.1 connection failed : too many connections from the same IP"));
  // The places are for clients that log in: two of them do, the third is refused at PASS
  // without its password being judged.
  std::vector<std::unique_ptr<HostClient>> users;
  for (const char* from : {"127.0.0.2", "127.0.0.3", "127.0.0.4"}) {
    users.push_back(Greeted(from));
    EXPECT_EQ(users.back()->Command("USER user"), "331 Password required for user.");
  }
  EXPECT_EQ(users[0]->Command("PASS pw"), "230 User user logged in.");
  EXPECT_EQ(users[1]->Command("PASS pw"), "230 User user logged in.");
  EXPECT_EQ(users[2]->Command("PASS wrong"), "421 Sorry, too many users are connected !");
  EXPECT_TRUE(users[2]->WaitClosed());
  EXPECT_TRUE(WaitMemo("127.0.0.4 connection failed : too many users"));
  EXPECT_FALSE(ui_.MemoHas("user (127.0.0.4) connection refused : Bad Login/Password"));
  EXPECT_EQ(squat1->Command("NOOP"), "200 Noop command successful.");
}

TEST_F(HostHardeningTest, ClassicCountsEveryConnectionAgainstTheClientLimit) {
  Start("maxusr=2\r\nclassic=1\r\n");
  auto squat1 = Greeted();
  auto squat2 = Greeted();
  auto user = Connect("127.0.0.2");
  EXPECT_EQ(user->ReadLine(), "421 Sorry, too many users are connected !");
}

TEST_F(HostHardeningTest, BanEndsTheLoginsInFlightOfTheAddressAndRefusesLaterPasswords) {
  Start("loginfaildelay=0\r\nmaxloginfailures=0\r\nbanfailures=2\r\nmaxperip=4\r\n");
  auto loggedIn = Greeted();
  EXPECT_EQ(loggedIn->Command("USER user"), "331 Password required for user.");
  EXPECT_EQ(loggedIn->Command("PASS pw"), "230 User user logged in.");
  auto guesser = Greeted();
  auto waiting1 = Greeted();
  auto waiting2 = Greeted();
  EXPECT_EQ(waiting1->Command("USER user"), "331 Password required for user.");
  EXPECT_EQ(guesser->Command("USER user"), "331 Password required for user.");
  EXPECT_EQ(guesser->Command("PASS wrong"), "530 Login or Password incorrect.");
  EXPECT_EQ(guesser->Command("USER user"), "331 Password required for user.");
  ASSERT_TRUE(guesser->Send("PASS wrong\r\n"));
  EXPECT_EQ(guesser->ReadLine(), "530 Login or Password incorrect.");
  // The other sessions of the address that have not logged in end with the ban.
  for (auto* waiting : {waiting1.get(), waiting2.get()}) {
    EXPECT_EQ(waiting->ReadLine(), "421 Sorry, you are banned !");
    EXPECT_TRUE(waiting->WaitClosed());
  }
  EXPECT_TRUE(guesser->WaitClosed());
  EXPECT_EQ(loggedIn->Command("NOOP"), "200 Noop command successful.");

  // A session opened before the operator's ban: its password, even the right one, is not
  // judged.
  auto early = Greeted("127.0.0.5");
  EXPECT_EQ(early->Command("USER user"), "331 Password required for user.");
  FtpHostTestAccess::Bans(*host_).Add("127.0.0.5");
  EXPECT_EQ(early->Command("PASS pw"), "421 Sorry, you are banned !");
  EXPECT_TRUE(early->WaitClosed());
  EXPECT_TRUE(WaitMemo("127.0.0.5 connection failed : IP banned"));
  EXPECT_FALSE(ui_.MemoHas("user (127.0.0.5) logged in"));
}

// An account that may rename in its home and read (but not list) C:\pub; C:\secret is
// nobody's.
const char kRightsAccounts[] =
    "[user]\r\nLogin=user\r\nPass=pw\r\nEnableLogin=1\r\nEnablePass=1\r\nEnabled=1\r\n"
    "Dir0=C:\\home\r\nAttr0=RWDL\r\nDir1=C:\\pub\r\nAttr1=R\r\n";

class HostRightsHardeningTest : public HostHardeningTest {
 protected:
  std::unique_ptr<HostClient> LoggedIn(const std::string& classic) {
    for (const char* d : {"home", "pub", "secret"}) MakeDir(dir_ / d);
    WriteBytes(dir_ / "home/mine.txt", "mine");
    WriteBytes(dir_ / "pub/unlisted-name.txt", "12345");
    WriteBytes(dir_ / "secret/there.txt", "x");
    Start(classic, kRightsAccounts);
    auto c = Greeted();
    EXPECT_EQ(c->Command("USER user"), "331 Password required for user.");
    EXPECT_EQ(c->Command("PASS pw"), "230 User user logged in.");
    return c;
  }
};

TEST_F(HostRightsHardeningTest, RenameTargetOutsideTheRightsTellsNothingOfItsExistence) {
  for (const char* classic : {"classic=0\r\n", "classic=1\r\n"}) {
    auto c = LoggedIn(classic);
    EXPECT_EQ(c->Command("CWD /home").substr(0, 4), "250 ") << classic;
    EXPECT_EQ(c->Command("RNFR mine.txt").substr(0, 4), "350 ");
    // An existing and a missing path outside the rights answer alike, also after one RNFR.
    EXPECT_EQ(c->Command("RNTO /secret/there.txt"), "550 No permission.") << classic;
    EXPECT_EQ(c->Command("RNTO /secret/nothing.txt"), "550 No permission.") << classic;
    WriteBytes(dir_ / "home/other.txt", "o");
    // Within the rights an existing target is still named as such (classic: W alone never
    // replaces a file, so the rights refuse it first).
    EXPECT_EQ(c->Command("RNTO other.txt").substr(0, 4),
              std::string(classic).find('1') == std::string::npos ? "553 " : "550 ")
        << classic;
    host_.reset();
  }
}

TEST_F(HostRightsHardeningTest, SizeWithAWildcardNeedsTheListingRight) {
  auto c = LoggedIn("");
  EXPECT_EQ(c->Command("SIZE /pub/unlisted-name.txt"), "213 5");
  EXPECT_EQ(c->Command("SIZE /pub/u*"), "550 Command failed: File not found.");
  EXPECT_EQ(c->Command("SIZE /pub/unlisted-nam?.txt"), "550 Command failed: File not found.");
  EXPECT_EQ(c->Command("SIZE /home/m*"), "213 4");  // L held there
  host_.reset();
  auto classic = LoggedIn("classic=1\r\n");
  EXPECT_EQ(classic->Command("SIZE /pub/u*"), "213 5");
}

TEST_F(HostHardeningTest, ExpiringAutomaticBanLeavesTheOperatorsBanOfTheAddress) {
  Start("loginfaildelay=0\r\nmaxloginfailures=0\r\nbanfailures=1\r\nbantime=1\r\n");
  auto c = Greeted();
  EXPECT_EQ(c->Command("USER user"), "331 Password required for user.");
  EXPECT_EQ(c->Command("PASS wrong"), "530 Login or Password incorrect.");
  ASSERT_TRUE(host_->Bans().Contains("127.0.0.1"));
  // The operator bans the address too while the automatic ban runs.
  FtpHostTestAccess::Bans(*host_).Add("127.0.0.1");
  // Another automatic ban, of an address only the host banned, ends: the operator's stays.
  FtpHostTestAccess::Bans(*host_).AddAutomatic("127.0.0.9");
  FtpHostTestAccess::Guard(*host_).Banned("127.0.0.9", 0);
  EXPECT_TRUE(loop_.RunUntil([&] { return !host_->Bans().Contains("127.0.0.9"); }, 4s));
  // Past the end of the automatic ban of 127.0.0.1 (one second, ticked each second).
  loop_.RunUntil([] { return false; }, 2500ms);
  EXPECT_TRUE(host_->Bans().Contains("127.0.0.1"));
  EXPECT_FALSE(ui_.MemoHas("127.0.0.1 ban ended"));
}

}  // namespace
}  // namespace orvane::test
