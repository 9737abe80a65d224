#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ftp/TFtpCtrlSocket.h"
#include "host/Admission.h"
#include "host/BanList.h"
#include "host/ClientRegistry.h"
#include "net/EventLoop.h"

namespace orvane::test {
namespace {

// Records of sessions that never connect, as the connection hook lists them.
class AdmissionRulesTest : public ::testing::Test {
 protected:
  Usrdata& Connected(const std::string& ip) {
    sessions_.push_back(std::make_unique<TFtpCtrlSocket>(loop_));
    Usrdata& record = clients_.Add(*sessions_.back());
    record.IP = ip;
    return record;
  }

  EventLoop loop_;
  std::vector<std::unique_ptr<TFtpCtrlSocket>> sessions_;
  ClientRegistry clients_;
};

TEST_F(AdmissionRulesTest, RulesInTheirOrderFirstRefusalWins) {
  BanList bans;
  Admission admission(bans, clients_);
  Connected("10.0.0.1");
  Usrdata& twin = Connected("10.0.0.1");
  using V = Admission::Verdict;
  Admission::Facts facts;
  facts.sessions = 2;
  EXPECT_EQ(admission.Judge(twin, facts), V::Admitted);  // no limit, no switch

  facts.maxClients = 1;  // the limit counts the newcomer and beats every other rule
  facts.sameAddressRefused = true;
  facts.closed = true;
  bans.Add("10.0.0.1");
  EXPECT_EQ(admission.Judge(twin, facts), V::TooManyUsers);
  facts.maxClients = 2;  // exactly at the limit is fine
  EXPECT_EQ(admission.Judge(twin, facts), V::SameAddress);
  facts.sameAddressRefused = false;
  EXPECT_EQ(admission.Judge(twin, facts), V::Closed);
  facts.closed = false;
  EXPECT_EQ(admission.Judge(twin, facts), V::Banned);

  // The newcomer is never its own twin; an unlisted record (the engine stopped) is nobody's.
  Usrdata& alone = Connected("10.0.0.2");
  EXPECT_FALSE(admission.SameAddressConnected(alone));
  EXPECT_TRUE(admission.SameAddressConnected(twin));
  clients_.UnlistAll();
  Usrdata& after = Connected("10.0.0.1");
  EXPECT_FALSE(admission.SameAddressConnected(after));
  EXPECT_TRUE(admission.Banned("10.0.0.1"));
  EXPECT_FALSE(admission.Banned("10.0.0.2"));
}

// Outside classic the client limit waits for the login; those still logging in and each
// address have caps of their own, judged at the connection in both modes.
TEST_F(AdmissionRulesTest, CapsOnClientsLoggingInAndPerAddress) {
  BanList bans;
  Admission admission(bans, clients_);
  using V = Admission::Verdict;
  Admission::Facts facts;
  facts.countsOnlyLoggedIn = true;
  facts.maxClients = 1;
  facts.maxLoggingIn = 3;
  facts.maxPerAddress = 2;
  Usrdata& in = Connected("10.0.0.9");
  in.Account = "user";
  facts.sessions = 4;
  Connected("10.0.0.1");
  EXPECT_EQ(admission.Judge(Connected("10.0.0.1"), facts), V::Admitted);  // one place is no limit
  EXPECT_EQ(admission.Judge(Connected("10.0.0.1"), facts), V::TooManyFromAddress);
  EXPECT_EQ(admission.Judge(Connected("10.0.0.2"), facts), V::TooManyLoggingIn);
  EXPECT_EQ(admission.ConnectionsFrom("10.0.0.1"), 3);
  EXPECT_EQ(admission.LoggingIn(), 4);
  facts.maxLoggingIn = 0;
  facts.maxPerAddress = 0;  // no caps
  EXPECT_EQ(admission.Judge(Connected("10.0.0.1"), facts), V::Admitted);
  facts.countsOnlyLoggedIn = false;  // classic: every connection counts
  EXPECT_EQ(admission.Judge(Connected("10.0.0.3"), facts), V::TooManyUsers);

  // At the login: the places of the others that logged in.
  Usrdata& newcomer = Connected("10.0.0.4");
  EXPECT_FALSE(admission.LoginPlaceFree(newcomer, 1));
  EXPECT_TRUE(admission.LoginPlaceFree(newcomer, 2));
  EXPECT_TRUE(admission.LoginPlaceFree(newcomer, 0));
  EXPECT_TRUE(admission.LoginPlaceFree(in, 1));  // a client's own place
}

}  // namespace
}  // namespace orvane::test
