// Kick, ban, the ban list's operations, the user information panels and the spy feed.
#include <gtest/gtest.h>

#include "console/ClientActions.h"
#include "console/SpyFeed.h"
#include "console/UserInfoPanels.h"
#include "host/HostTestSupport.h"
#include "support/FtpHostTestAccess.h"

namespace orvane::test {

TEST(UserInfoPanels, AmountsSwitchToKbAtSixCharactersTheSignIncluded) {
  EXPECT_EQ(UserInfoPanels::Amount("Upload: ", 99999), "Upload: 99999 bytes");
  EXPECT_EQ(UserInfoPanels::Amount("Upload: ", 100000), "Upload: 100 Kb");
  EXPECT_EQ(UserInfoPanels::Amount("Download: ", 0), "Download: 0 bytes");
  EXPECT_EQ(UserInfoPanels::Speed(9999), "Speed: 9999 bytes/s");
  EXPECT_EQ(UserInfoPanels::Speed(10000), "Speed: 10 Kb/s");
  Usrdata r;
  EXPECT_EQ(UserInfoPanels::MaxDl(r), "Max dl: No limite");
  r.EnableMaxdl = true;
  EXPECT_EQ(UserInfoPanels::MaxDl(r), "Max dl: 0 bytes");
  r.Credit = -5;
  EXPECT_EQ(UserInfoPanels::MaxDl(r), "Max dl: -5 bytes");
  r.Credit = -5000;  // five characters: already Kb for the allowance
  EXPECT_EQ(UserInfoPanels::MaxDl(r), "Max dl: -5 Kb");
  r.Credit = -50000;
  EXPECT_EQ(UserInfoPanels::MaxDl(r), "Max dl: -50 Kb");
  EXPECT_EQ(UserInfoPanels::Empty()[4], "Max dl: ");
}

TEST(UserInfoPanels, SpeedCountsSinceThePreviousTickOrClickPerUser) {
  Usrdata a, b;
  a.Idle = 7;
  a.IntervalBytes = 5000;
  b.IntervalBytes = 300;
  UserInfoPanels::Texts t = UserInfoPanels::Tick(a);
  EXPECT_EQ(t[0], "Idle: 7 sec");
  EXPECT_EQ(t[3], "Speed: 5000 bytes/s");
  EXPECT_EQ(a.IntervalBytes, 0);
  a.IntervalBytes += 20;
  EXPECT_EQ(UserInfoPanels::Tick(a)[3], "Speed: 20 bytes/s");
  // b was not selected: it kept accumulating, and a click starts its count afresh.
  b.IntervalBytes += 300;
  EXPECT_EQ(UserInfoPanels::Click(b)[3], "Speed: 0 bytes/s");
  b.IntervalBytes += 42;
  EXPECT_EQ(UserInfoPanels::Tick(b)[3], "Speed: 42 bytes/s");
}

TEST(SpyFeed, OnlyTheSpiedClientWhileVisibleAndBounded) {
  Usrdata spied, other;
  spied.Account = "anonymous";
  SpyFeed feed;
  feed.Start(ClientRef{&spied, 1}, "anonymous");
  EXPECT_EQ(feed.Caption(), "Spy user : anonymous");
  EXPECT_FALSE(feed.Command(&spied, "NOOP", ""));  // hidden: nothing recorded
  feed.SetVisible(true);
  EXPECT_TRUE(feed.Command(&spied, "NOOP", ""));
  EXPECT_TRUE(feed.Answer(&spied, "200 NOOP command successful"));
  EXPECT_FALSE(feed.Command(&other, "LIST", ""));
  ASSERT_EQ(feed.Lines().size(), 2u);
  EXPECT_EQ(feed.Lines()[0].text, "Command> NOOP ");
  EXPECT_TRUE(feed.Lines()[0].green);
  EXPECT_EQ(feed.Lines()[1].text, "Answer> 200 NOOP command successful");
  EXPECT_FALSE(feed.Lines()[1].green);
  feed.SetVisible(false);
  feed.SetVisible(true);  // shown again: empty
  EXPECT_TRUE(feed.Lines().empty());
  for (size_t i = 0; i < SpyFeed::kMaxLines + 10; ++i) feed.Command(&spied, "NOOP", "");
  EXPECT_EQ(feed.Lines().size(), SpyFeed::kMaxLines);
  EXPECT_EQ(feed.TakeDropped(), 10u);
  EXPECT_FALSE(feed.Left(&other));
  EXPECT_TRUE(feed.Left(&spied));
  EXPECT_FALSE(feed.Command(&spied, "NOOP", ""));  // a newcomer at the same address is not spied
}

TEST(SpyFeed, MoreInformationsHasEightLinesWithoutATrailingBreak) {
  Usrdata r;
  r.Account = "anonymous";
  r.UserName = "guest";
  r.IP = "127.0.0.1";
  r.Idle = 3;
  r.Status = "Idle";
  r.LoginTime = "17:00:00";
  r.Links = "/l";
  r.Message = "/m";
  EXPECT_EQ(SpyFeed::MoreInformations(r),
            "Name: anonymous\r\nUserName: guest\r\nIP: 127.0.0.1\r\nIdle: 3 sec\r\nAction: Idle"
            "\r\nConnected since: 17:00:00\r\nLinks file: /l\r\nLogin message file: /m");
}

class ClientActionsTest : public HostTest {
 protected:
  void SetUp() override {
    WriteBytes(dir_ / "Accounts.ini",
               "[anonymous]\r\nLogin=anonymous\r\nEnableLogin=0\r\nEnablePass=0\r\n"
               "Enabled=1\r\nDir0=C:\\\r\nAttr0=R---LS\r\n");
    StartHost();
  }
  // A client logged in as anonymous: the host lists its record.
  std::unique_ptr<HostClient> LoggedIn(const char* from = "127.0.0.1") {
    auto c = Connect(from);
    c->ReadReply();
    c->Command("USER anonymous");
    c->Send("PASS guest@\r\n");
    c->ReadReply();
    return c;
  }
  ClientRef RefAt(size_t i) {
    auto ref = ClientActions(*host_).RefOf(&FtpHostTestAccess::Clients(*host_).At(i));
    EXPECT_TRUE(ref.has_value());
    return ref.value_or(ClientRef{});
  }
};

TEST_F(ClientActionsTest, BanWritesScreenAndFileLinesOnceAndKeepsTheClient) {
  auto c = LoggedIn();
  ASSERT_EQ(host_->Clients().Count(), 1u);
  FtpHostTestAccess::Clients(*host_).At(0).UserName = "bob";
  ClientActions actions(*host_);
  const ClientRef ref = RefAt(0);
  EXPECT_TRUE(actions.Ban(ref, true));
  EXPECT_TRUE(host_->Bans().Contains("127.0.0.1"));
  EXPECT_EQ(ui_.MemoCount("127.0.0.1 added to the ban list !"), 1);
  EXPECT_NE(LogFile().find(" bob (127.0.0.1) banned"), std::string::npos);
  // Already listed: neither a screen line nor a file line.
  EXPECT_FALSE(actions.Ban(ref, true));
  EXPECT_EQ(ui_.MemoCount("127.0.0.1 added to the ban list !"), 1);
  const std::string log = LogFile();
  EXPECT_EQ(log.find(" banned"), log.rfind(" banned"));
  // Without the file line (the user information window's ban).
  actions.Unban(0);
  EXPECT_TRUE(actions.Ban(ref, false));
  EXPECT_EQ(ui_.MemoCount("127.0.0.1 added to the ban list !"), 2);
  EXPECT_EQ(LogFile().find(" banned"), LogFile().rfind(" banned"));
  EXPECT_FALSE(c->WaitClosed(std::chrono::milliseconds(50)));
}

TEST_F(ClientActionsTest, KickYesOnABannedAddressAddsNothingAndDisconnects) {
  auto c = LoggedIn();
  ClientActions actions(*host_);
  const ClientRef ref = RefAt(0);
  actions.AddByHand("127.0.0.1");
  EXPECT_FALSE(actions.Kick(ref, KickAnswer::Cancel));
  EXPECT_TRUE(actions.Kick(ref, KickAnswer::Yes));
  EXPECT_TRUE(c->WaitClosed());
  EXPECT_EQ(host_->Bans().Items().size(), 1u);
  EXPECT_EQ(ui_.MemoCount("127.0.0.1 added to the ban list !"), 0);
}

TEST_F(ClientActionsTest, KickOfAClientThatLeftTouchesNobody) {
  auto first = LoggedIn();
  auto second = LoggedIn("127.0.0.2");
  ClientActions actions(*host_);
  const ClientRef gone = RefAt(0);
  first->Close();  // leaves while the question is open
  ASSERT_TRUE(loop_.RunUntil([&] { return host_->Clients().Count() == 1; }, 3s));
  EXPECT_EQ(actions.Resolve(gone), nullptr);
  EXPECT_FALSE(actions.Kick(gone, KickAnswer::Yes));
  EXPECT_TRUE(host_->Bans().Items().empty());
  // A reference to the remaining record but from another session is not this client either.
  ClientRef impostor = RefAt(0);
  impostor.sequence += 100;
  EXPECT_FALSE(actions.Kick(impostor, KickAnswer::No));
  EXPECT_FALSE(second->WaitClosed(std::chrono::milliseconds(50)));
  EXPECT_TRUE(actions.Kick(RefAt(0), KickAnswer::No));
  EXPECT_TRUE(second->WaitClosed());
}

TEST_F(ClientActionsTest, AddByHandKeepsTheTextAsTyped) {
  ClientActions actions(*host_);
  const size_t memoLines = ui_.memo.size();
  EXPECT_TRUE(actions.AddByHand("10.0.0.1"));
  EXPECT_FALSE(actions.AddByHand("10.0.0.1"));
  EXPECT_TRUE(actions.AddByHand("10.0.0.1 "));  // a second entry that never matches
  EXPECT_TRUE(actions.AddByHand("example.org"));
  EXPECT_EQ(host_->Bans().Items().size(), 3u);
  EXPECT_EQ(ui_.memo.size(), memoLines);  // nothing logged
  actions.Unban(0);
  actions.Unban(0);
  actions.Unban(0);
  EXPECT_TRUE(host_->Bans().Items().empty());
}

}  // namespace orvane::test
