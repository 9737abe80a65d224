#include <gtest/gtest.h>

#include <filesystem>

#include "access/AccessTestSupport.h"
#include "access/AccountStore.h"
#include "access/Authenticator.h"
#include "access/DirectoryRights.h"
#include "access/PasswordHash.h"

namespace orvane {
namespace {

class AuthenticatorTest : public test::DriveFixture {
 protected:
  void SetUp() override {
    DriveFixture::SetUp();
    Dir("home");
    Dir("pub");
    Dir("secret");
  }

  // Loads an account file; sections become AccountList in case-insensitive name order.
  void Accounts(const std::string& text) {
    test::WriteBytes(Posix("Accounts.ini"), text);
    store_.Load(Posix("Accounts.ini"));
  }

  bool Login(const std::string& user, const std::string& password) {
    session_.UserName = user;
    bool authenticated = true;
    auth_.FtpServer1Authenticate(session_, user, password, authenticated, record_);
    return authenticated;
  }

  AccountStore store_;
  Authenticator auth_{host_, store_};
  test::FakeSession session_;
  Usrdata record_;
};

TEST_F(AuthenticatorTest, NamedAccountComparesExactlyAndFillsTheRecord) {
  Accounts(
      "[alice]\nLogin=bob\nPass=Secret\nEnablePass=1\nMaxdl=1000\nDir0=C:\\home\nAttr0=RWDMLS\n");

  EXPECT_FALSE(Login("BOB", "Secret"));
  EXPECT_FALSE(Login("bob", "secret"));
  EXPECT_EQ(host_.refused, 2);
  EXPECT_TRUE(
      host_.Logged(2, "BOB (127.0.0.9) connection refused : Bad Login/Password (unknown name)"));
  EXPECT_TRUE(host_.Logged(
      2, "bob (127.0.0.9) connection refused : Bad Password (account alice: wrong password)"));

  record_.Uploaded = record_.Downloaded = 77;
  record_.Idle = 9;
  ASSERT_TRUE(Login("bob", "Secret"));
  EXPECT_EQ(host_.accepted, 1);
  EXPECT_EQ(host_.anonymous, 0);
  EXPECT_TRUE(host_.Logged(2, "bob (127.0.0.9) logged in"));
  EXPECT_EQ(host_.clientCountShown, 1);
  ASSERT_EQ(host_.loggedIn.size(), 1u);
  EXPECT_EQ(host_.loggedIn[0], &record_);

  EXPECT_EQ(record_.Account, "alice");
  EXPECT_EQ(record_.UserName, "bob");
  EXPECT_EQ(record_.IP, "127.0.0.9");
  EXPECT_EQ(record_.LoginTime, "07/03/2024 13:05:09");
  EXPECT_EQ(record_.Status, "Current Directory C:\\home");
  EXPECT_EQ(record_.Credit, 1000);
  EXPECT_EQ(record_.Uploaded + record_.Downloaded + record_.Idle, 0);
  EXPECT_EQ(session_.HomeDir, "C:\\home");
}

// Adding a named account to a file with an anonymous one cut off anonymous access: a named
// account that sorts first ended the anonymous search. Classic keeps that order rule.
TEST_F(AuthenticatorTest, NamedAccountsHideAnAnonymousOneOnlyInClassic) {
  Accounts(
      "[alice]\nDir0=C:\\home\nAttr0=RL\n"
      "[guest]\nEnableLogin=0\nDir0=C:\\pub\nAttr0=RL\n");
  ASSERT_TRUE(Login("zed", "any"));
  EXPECT_EQ(record_.Account, "guest");

  host_.policy = CompatibilityPolicy(true);
  EXPECT_FALSE(Login("zed", "any"));
  EXPECT_TRUE(host_.Logged(2,
                           "zed (127.0.0.9) connection refused : Bad Login/Password (unknown "
                           "name; the named account alice ends the search for an anonymous "
                           "account)"));
  EXPECT_EQ(host_.refused, 1);

  Accounts(
      "[aguest]\nEnableLogin=0\nDir0=C:\\pub\nAttr0=RL\n"
      "[zalice]\nLogin=alice\nDir0=C:\\home\nAttr0=RL\n");
  ASSERT_TRUE(Login("zed", "any"));
  EXPECT_EQ(record_.Account, "aguest");
  EXPECT_EQ(host_.anonymous, 2);
  EXPECT_EQ(host_.accepted, 0);
  // The named account is still found first by its own name.
  ASSERT_TRUE(Login("alice", ""));
  EXPECT_EQ(record_.Account, "zalice");
}

// The login of a named account with a wrong password was admitted by an anonymous account that
// sorted first: the client was told "230 User user logged in." and landed in another tree.
TEST_F(AuthenticatorTest, AttackWrongPasswordOfANamedAccountIsNeverAnAnonymousLogin) {
  Accounts(
      "[anonymous]\nEnableLogin=0\nDir0=C:\\pub\nAttr0=RL\n"
      "[user]\nLogin=user\nPass=secret\nEnablePass=1\nDir0=C:\\home\nAttr0=RWDMLS\n");
  EXPECT_FALSE(Login("user", "wrong"));
  EXPECT_TRUE(host_.Logged(
      2, "user (127.0.0.9) connection refused : Bad Password (account user: wrong password)"));
  EXPECT_EQ(host_.anonymous, 0);
  EXPECT_EQ(host_.refused, 1);
  EXPECT_TRUE(record_.Account.empty());
  // Other names still reach the anonymous account, and the right password the named one.
  ASSERT_TRUE(Login("User", "wrong"));
  EXPECT_EQ(record_.Account, "anonymous");
  ASSERT_TRUE(Login("user", "secret"));
  EXPECT_EQ(record_.Account, "user");
}

TEST_F(AuthenticatorTest, AnonymousPasswordMismatchGoesOnToTheNextAccount) {
  Accounts(
      "[guest1]\nEnableLogin=0\nEnablePass=1\nPass=pw\nDir0=C:\\secret\nAttr0=RL\n"
      "[guest2]\nEnableLogin=0\nDir0=C:\\pub\nAttr0=RL\n");
  ASSERT_TRUE(Login("anyone", "wrong"));
  EXPECT_EQ(record_.Account, "guest2");
  ASSERT_TRUE(Login("someone", "pw"));
  EXPECT_EQ(record_.Account, "guest1");
  EXPECT_EQ(host_.anonymous, 2);
}

TEST_F(AuthenticatorTest, IneligibleAccountsAreSkippedAndTheRefusalSaysWhy) {
  Accounts(
      "[a]\nLogin=bob\nEnabled=0\nDir0=C:\\home\nAttr0=RL\n"  // disabled
      "[b]\nLogin=bob\nDir1=C:\\home\nAttr1=RL\n"             // no entry 0
      "[c]\nLogin=bob\nDir0=C:\\missing\nAttr0=RL\n"          // home not on disk
      "[d]\nEnableLogin=0\nDir0=C:\\pub\nAttr0=RL\n");
  // None of the named accounts stops the anonymous walk either.
  ASSERT_TRUE(Login("bob", ""));
  EXPECT_EQ(record_.Account, "d");

  std::filesystem::remove_all(Posix("pub"));
  EXPECT_FALSE(Login("bob", ""));
  EXPECT_EQ(host_.refused, 1);
  ASSERT_EQ(host_.log.size(), 2u);  // one line per login
  EXPECT_EQ(host_.log[1].screen,
            "bob (127.0.0.9) connection refused : Bad Login/Password (account a: disabled)");

  // The home directory's problem, as configured and as resolved on this machine.
  Accounts(
      "[c]\nLogin=bob\nDir0=C:\\missing\nAttr0=RL\n"
      "[q]\nLogin=quinn\nDir0=Q:\\data\nAttr0=RL\n"
      "[z]\nLogin=zoe\nDir1=C:\\home\nAttr1=RL\n");
  EXPECT_FALSE(Login("bob", ""));
  EXPECT_EQ(host_.log.back().screen,
            "bob (127.0.0.9) connection refused : Bad Login/Password (account c: home directory "
            "C:\\missing missing (" +
                Posix("missing") + "))");
  EXPECT_FALSE(Login("quinn", ""));
  EXPECT_EQ(host_.log.back().screen,
            "quinn (127.0.0.9) connection refused : Bad Login/Password (account q: home "
            "directory Q:\\data is on no drive of [Drives])");
  EXPECT_FALSE(Login("zoe", ""));
  EXPECT_EQ(host_.log.back().screen,
            "zoe (127.0.0.9) connection refused : Bad Login/Password (account z: no home "
            "directory (Dir0))");
  EXPECT_EQ(host_.log.size(), 5u);
}

TEST_F(AuthenticatorTest, EmptyAccountListRefusesWithBadPassword) {
  store_.Load(Posix("missing.ini"));
  EXPECT_FALSE(Login("bob", "pw"));
  EXPECT_TRUE(host_.Logged(2, "bob (127.0.0.9) connection refused : Bad Password (no accounts)"));
  EXPECT_EQ(host_.refused, 1);
}

// A second login on the same session must not keep any right of the first account.
TEST_F(AuthenticatorTest, AttackReloginKeepsNoRightOfTheEarlierAccount) {
  test::WriteBytes(Posix("secret/plans.txt"), "x");
  Accounts(
      "[alice]\nDir0=C:\\home\nAttr0=RL\nDir1=C:\\secret\nAttr1=RS\n"
      "[bob]\nDir0=C:\\pub\nAttr0=RL\n");
  DirectoryRights rights(host_);
  ASSERT_TRUE(Login("alice", ""));
  ASSERT_TRUE(rights.CheckGet(record_, "C:\\secret\\plans.txt"));
  record_.LinkTable[0] = {"sec", "C:\\secret"};

  ASSERT_TRUE(Login("bob", ""));
  EXPECT_EQ(record_.Account, "bob");
  EXPECT_FALSE(rights.CheckGet(record_, "C:\\secret\\plans.txt"));
  EXPECT_FALSE(rights.CheckDir(record_, "C:\\secret\\"));
  EXPECT_TRUE(record_.Dirs[1].Dir.empty());
  EXPECT_TRUE(record_.LinkTable[0].Name.empty());
  EXPECT_EQ(session_.HomeDir, "C:\\pub");
}

TEST_F(AuthenticatorTest, AHashedPasswordIsThePasswordAndTheClearKeyBesideItIsNotRead) {
  const std::string hash = PasswordHash::Hash("right");
  Accounts("[bob]\nPass=old\nPassHash=" + hash +
           "\nEnablePass=1\nDir0=C:\\home\nAttr0=RL\n"
           "[eve]\nPassHash=$y$broken\nEnablePass=1\nDir0=C:\\home\nAttr0=RL\n");
  EXPECT_FALSE(Login("bob", "old"));
  EXPECT_TRUE(Login("bob", "right"));
  EXPECT_FALSE(Login("eve", ""));  // a malformed hash admits nobody
  EXPECT_FALSE(Login("eve", "$y$broken"));
}

// SECURITY: a refusal takes one hash computation whatever the name, so its time tells nothing
// about which names have accounts. (bench/login_timing.py measures the times themselves.)
TEST_F(AuthenticatorTest, EveryLoginCostsOneHashWhateverTheName) {
  Accounts("[bob]\nPassHash=" + PasswordHash::Hash("pw") +
           "\nEnablePass=1\nDir0=C:\\home\nAttr0=RL\n"
           "[carl]\nPass=clear\nEnablePass=1\nDir0=C:\\home\nAttr0=RL\n"
           "[dora]\nDir0=C:\\home\nAttr0=RL\n"
           "[tls]\nLogin=tina\nRequireTLS=1\nEnablePass=1\nPass=t\nDir0=C:\\home\n"
           "[off]\nEnabled=0\nDir0=C:\\home\n");
  const std::vector<std::pair<std::string, std::string>> attempts = {
      {"nobody", "pw"},  {"bob", "wrong"}, {"bob", "pw"}, {"carl", "wrong"},
      {"carl", "clear"}, {"dora", "any"},  {"tina", "t"}, {"off", "x"}};
  for (const auto& [user, password] : attempts) {
    const long before = PasswordHash::Computations();
    Login(user, password);
    EXPECT_EQ(PasswordHash::Computations() - before, 1) << user << " " << password;
  }
}

// The stepwise decision the host runs off the loop thread: each step names one check and
// changes nothing; with the answers given it decides as the decision in one go does, having
// asked for the same checks (so the same hashes), and a name without an account costs the dummy.
TEST_F(AuthenticatorTest, StepwiseDecisionAsksOneCheckAtATimeAndDecidesAlike) {
  Accounts("[bob]\nPassHash=" + PasswordHash::Hash("pw") +
           "\nEnablePass=1\nDir0=C:\\home\nAttr0=RL\n"
           "[carl]\nPass=clear\nEnablePass=1\nDir0=C:\\home\nAttr0=RL\n"
           "[dora]\nDir0=C:\\home\nAttr0=RL\n"
           "[zanon]\nEnableLogin=0\nEnablePass=1\nPass=apw\nDir0=C:\\pub\nAttr0=RL\n");
  struct Attempt {
    std::string user, password;
    bool admitted;
    std::vector<Authenticator::PasswordCheck::Kind> checks;
  };
  using Kind = Authenticator::PasswordCheck::Kind;
  const std::vector<Attempt> attempts = {
      {"bob", "pw", true, {Kind::Hash}},
      {"bob", "wrong", false, {Kind::Hash}},  // a named account's refusal ends the search
      {"carl", "clear", true, {Kind::Clear}},
      {"dora", "any", true, {Kind::Dummy}},  // no password: the dummy, asked before admitting
      {"guest", "apw", true, {Kind::Clear}},  // the anonymous account's clear password
      {"guest", "nope", false, {Kind::Clear}},
  };
  for (const Attempt& a : attempts) {
    session_.UserName = a.user;
    Authenticator::PasswordAnswers known;
    bool authenticated = true;
    std::vector<Kind> asked;
    const int refusedBefore = host_.refused;
    const int admittedBefore = host_.accepted + host_.anonymous;
    while (const auto check =
               auth_.Decide(session_, a.user, a.password, known, authenticated, record_)) {
      // Nothing is decided, counted or logged while a check is outstanding.
      EXPECT_FALSE(authenticated);
      EXPECT_EQ(host_.refused, refusedBefore);
      EXPECT_EQ(host_.accepted + host_.anonymous, admittedBefore);
      asked.push_back(check->kind);
      const long before = PasswordHash::Computations();
      known.emplace_back(*check, check->Run(a.password));
      EXPECT_EQ(PasswordHash::Computations() - before, 1);
    }
    EXPECT_EQ(authenticated, a.admitted) << a.user << " " << a.password;
    EXPECT_EQ(asked, a.checks) << a.user << " " << a.password;
    EXPECT_EQ(host_.refused, refusedBefore + (a.admitted ? 0 : 1));
    EXPECT_EQ(host_.accepted + host_.anonymous, admittedBefore + (a.admitted ? 1 : 0));
  }
  // No account of that name and no anonymous account to try: one dummy hash, then refused.
  Accounts("[bob]\nPass=x\nEnablePass=1\nDir0=C:\\home\nAttr0=RL\n");
  Authenticator::PasswordAnswers known;
  bool authenticated = true;
  const auto check = auth_.Decide(session_, "nobody", "pw", known, authenticated, record_);
  ASSERT_TRUE(check);
  EXPECT_EQ(check->kind, Kind::Dummy);
  known.emplace_back(*check, check->Run("pw"));
  EXPECT_FALSE(auth_.Decide(session_, "nobody", "pw", known, authenticated, record_));
  EXPECT_FALSE(authenticated);
}

// An account that requires TLS was found by its section name only: its Login key, or any name
// for an anonymous account, logged in in clear. Now every way to it is refused in clear, without
// its password being compared, and admitted once the control connection is TLS.
TEST_F(AuthenticatorTest, AttackRequireTlsHoldsForTheLoginKeyAndAnonymousAccounts) {
  Accounts(
      "[tlsalias]\nLogin=robert\nRequireTLS=1\nEnablePass=1\nPass=pw\nDir0=C:\\home\n"
      "[zanon]\nEnableLogin=0\nRequireTLS=1\nEnablePass=1\nPass=apw\nDir0=C:\\pub\n");
  EXPECT_FALSE(Login("robert", "pw"));
  EXPECT_TRUE(host_.Logged(2,
                           "robert (127.0.0.9) connection refused : Bad Login/Password (account "
                           "tlsalias: TLS required)"));
  EXPECT_FALSE(Login("tlsalias", "pw"));
  EXPECT_FALSE(Login("someone", "apw"));
  EXPECT_TRUE(host_.Logged(2,
                           "someone (127.0.0.9) connection refused : Bad Login/Password (account "
                           "zanon: TLS required)"));
  // The name of a TLS account never falls through to an anonymous one in clear.
  EXPECT_FALSE(Login("robert", "apw"));
  EXPECT_EQ(host_.anonymous + host_.accepted, 0);

  record_.Secure = true;
  ASSERT_TRUE(Login("robert", "pw"));
  EXPECT_EQ(record_.Account, "tlsalias");
  ASSERT_TRUE(Login("someone", "apw"));
  EXPECT_EQ(record_.Account, "zanon");
}

// MaxSessions counts the account's logged-in sessions; the refusal comes only after the right
// password (a wrong one is refused as usual), says the limit, and a new login of a session that
// is already the account's own does not count itself.
TEST_F(AuthenticatorTest, MaxSessionsRefusesOneMoreLoginWithItsLimit) {
  Accounts(
      "[bob]\nPass=pw\nEnablePass=1\nMaxSessions=2\nDir0=C:\\home\nAttr0=RL\n"
      "[anon]\nEnableLogin=0\nMaxSessions=1\nDir0=C:\\pub\n");
  host_.sessionsOf["bob"] = 1;
  EXPECT_TRUE(Login("bob", "pw"));
  EXPECT_TRUE(record_.RefusalAnswer.empty());
  host_.sessionsOf["bob"] = 2;
  EXPECT_TRUE(Login("bob", "pw"));  // this session is one of the two
  record_ = Usrdata();
  EXPECT_FALSE(Login("bob", "wrong"));
  EXPECT_TRUE(record_.RefusalAnswer.empty());
  EXPECT_FALSE(Login("bob", "pw"));
  EXPECT_EQ(record_.RefusalAnswer, "530 Too many sessions for this account (limit 2).");
  EXPECT_TRUE(host_.Logged(2,
                           "bob (127.0.0.9) connection refused : Too many sessions (account bob: "
                           "limit 2 sessions)"));
  // A full named account never falls through to the anonymous one.
  EXPECT_NE(record_.Account, "anon");
  record_ = Usrdata();
  host_.sessionsOf["anon"] = 1;
  EXPECT_FALSE(Login("guest", ""));
  EXPECT_EQ(record_.RefusalAnswer, "530 Too many sessions for this account (limit 1).");
}

class LoginMessageTest : public AuthenticatorTest {
 protected:
  void SetUp() override {
    AuthenticatorTest::SetUp();
    Accounts(
        "[alice]\nMessage=C:\\msg.txt\nMaxdl=5000\nXupl=3\nXdl=2\nTimeout=600\n"
        "Dir0=C:\\home\nAttr0=RL\n");
    host_.records = 4;
  }
  std::vector<std::string> Show(const std::string& user, const std::string& text) {
    File("msg.txt", text);
    session_.sent.clear();
    host_.log.clear();
    EXPECT_TRUE(Login(user, ""));
    host_.log.clear();
    auth_.FtpServer1Logged(session_, record_);
    return session_.sent;
  }
};

TEST_F(LoginMessageTest, MacrosAreReplacedInTheirOrder) {
  Accounts(
      "[alice]\nEnableLogin=0\nMessage=C:\\msg.txt\nMaxdl=5000\nXupl=3\nXdl=2\nTimeout=600\n"
      "Dir0=C:\\home\nAttr0=RL\n");
  const std::vector<std::string> sent =
      Show("bob",
           "Hi %USERNAME from %IP, %TIMEOUT s at %TIME on %DATE\r\n"
           "%NUMBR users, ratio %RATIO, server %LOCALIP, %MAXDL bytes, home %HOME\n");
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], "230-Hi bob from 127.0.0.9, 600 s at 13:05:09 on 07/03/2024\r\n");
  EXPECT_EQ(sent[1], "230-4 users, ratio 3/2, server 127.0.0.1, 5000 bytes, home C:\\home\r\n");
  EXPECT_TRUE(host_.Logged(11,
                           "bob (127.0.0.9) 230-4 users, ratio 3/2, server 127.0.0.1, "
                           "5000 bytes, home C:\\home"));

  // A later macro searches what an earlier one inserted; a macro never searches its own output.
  EXPECT_EQ(Show("x%IP", "%USERNAME")[0], "230-x127.0.0.9\r\n");
  EXPECT_EQ(Show("%USERNAME", "[%USERNAME]")[0], "230-[%USERNAME]\r\n");
  EXPECT_EQ(Show("%HOME", "%USERNAME")[0], "230-C:\\home\r\n");
}

// The local address costs a blocking lookup on the loop thread: it is asked for once per
// message that uses it, not once per line, and not at all for a message without it.
TEST_F(LoginMessageTest, TheLocalAddressIsLookedUpOnceAndOnlyWhereUsed) {
  EXPECT_EQ(Show("alice", "one\r\ntwo\r\nthree\r\n").size(), 3u);
  EXPECT_EQ(host_.localIpLookups, 0);
  const std::vector<std::string> sent = Show("alice", "%LOCALIP\r\nplain\r\nat %LOCALIP\r\n");
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[2], "230-at 127.0.0.1\r\n");
  EXPECT_EQ(host_.localIpLookups, 1);
}

TEST_F(LoginMessageTest, EveryLineIsSentAndEmptyOrMissingFilesSendNothing) {
  EXPECT_EQ(Show("alice", "one\r\n\r\nlast without end").size(), 3u);
  EXPECT_EQ(session_.sent[1], "230-\r\n");
  EXPECT_EQ(session_.sent[2], "230-last without end\r\n");
  EXPECT_EQ(host_.log.size(), 3u);

  EXPECT_TRUE(Show("alice", "").empty());
  std::filesystem::remove(Posix("msg.txt"));
  auth_.FtpServer1Logged(session_, record_);
  EXPECT_TRUE(session_.sent.empty());
}

}  // namespace
}  // namespace orvane
