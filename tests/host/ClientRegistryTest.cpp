#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "ftp/TFtpCtrlSocket.h"
#include "host/ClientRegistry.h"
#include "net/EventLoop.h"

namespace orvane::test {
namespace {

// Sessions that never connect: the registry only tells them apart.
class ClientRegistryTest : public ::testing::Test {
 protected:
  TFtpCtrlSocket& NewSession() {
    sessions_.push_back(std::make_unique<TFtpCtrlSocket>(loop_));
    return *sessions_.back();
  }

  EventLoop loop_;
  std::vector<std::unique_ptr<TFtpCtrlSocket>> sessions_;
  ClientRegistry clients_;
};

TEST_F(ClientRegistryTest, RecordsInConnectionOrderFoundBySessionAndTakenOutAtDisconnection) {
  TFtpCtrlSocket& a = NewSession();
  TFtpCtrlSocket& b = NewSession();
  TFtpCtrlSocket& c = NewSession();
  Usrdata* ra = &clients_.Add(a);
  Usrdata* rb = &clients_.Add(b);
  Usrdata* rc = &clients_.Add(c);
  EXPECT_EQ(clients_.Listed(), (std::vector<Usrdata*>{ra, rb, rc}));
  EXPECT_EQ(clients_.Find(b), rb);
  EXPECT_EQ(&clients_.At(2), rc);
  EXPECT_THROW(clients_.At(3), std::out_of_range);

  // The middle one leaves: the others keep their order and positions close up.
  std::unique_ptr<Usrdata> gone = clients_.Take(b);
  EXPECT_EQ(gone.get(), rb);
  EXPECT_EQ(clients_.Find(b), nullptr);
  EXPECT_FALSE(clients_.IsListed(rb));
  EXPECT_EQ(clients_.Listed(), (std::vector<Usrdata*>{ra, rc}));
  EXPECT_EQ(&clients_.At(1), rc);
  EXPECT_EQ(clients_.Take(b), nullptr);  // a second disconnection finds nothing
  EXPECT_EQ(clients_.Count(), 2u);
}

TEST_F(ClientRegistryTest, StoppingUnlistsButKeepsTheRecordsOfOpenSessions) {
  TFtpCtrlSocket& a = NewSession();
  Usrdata* ra = &clients_.Add(a);
  clients_.UnlistAll();
  EXPECT_TRUE(clients_.Empty());
  EXPECT_FALSE(clients_.IsListed(ra));
  EXPECT_EQ(clients_.Find(a), ra);  // the hooks of the open session still reach it
  // A newcomer after a restart is listed alone.
  Usrdata* rb = &clients_.Add(NewSession());
  EXPECT_EQ(clients_.Listed(), std::vector<Usrdata*>{rb});
  EXPECT_EQ(&clients_.At(0), rb);
  EXPECT_EQ(clients_.Take(a).get(), ra);
  EXPECT_EQ(clients_.Count(), 1u);
}

}  // namespace
}  // namespace orvane::test
