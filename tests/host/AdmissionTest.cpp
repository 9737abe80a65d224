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

}  // namespace
}  // namespace orvane::test
