#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "ftp/TFtpCtrlSocket.h"
#include "host/ClientRegistry.h"
#include "net/EventLoop.h"

namespace orvane::test {
namespace {

// Sessions that never connect: the registry only tells them apart. Each gets the next sequence
// number, as the engine gives them.
class ClientRegistryTest : public ::testing::Test {
 protected:
  TFtpCtrlSocket& NewSession() {
    sessions_.push_back(std::make_unique<TFtpCtrlSocket>(loop_));
    sessions_.back()->SequenceNumber = sessions_.size();
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
  EXPECT_EQ(std::as_const(clients_).Listed(), (std::vector<const Usrdata*>{ra, rb, rc}));
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

TEST_F(ClientRegistryTest, AReferenceNamesOneSessionAndAStaleOneNothing) {
  TFtpCtrlSocket& a = NewSession();
  TFtpCtrlSocket& b = NewSession();
  Usrdata* ra = &clients_.Add(a);
  Usrdata* rb = &clients_.Add(b);
  const std::optional<ClientRef> refA = clients_.RefOf(ra);
  ASSERT_TRUE(refA.has_value());
  EXPECT_EQ(refA->sequence, a.SequenceNumber);
  EXPECT_EQ(clients_.Resolve(*refA), ra);
  EXPECT_EQ(clients_.SessionOf(*refA), &a);
  EXPECT_EQ(clients_.SessionOf(rb), &b);
  ASSERT_TRUE(clients_.RefOf(b.SequenceNumber).has_value());
  EXPECT_EQ(clients_.RefOf(b.SequenceNumber)->record, rb);
  EXPECT_FALSE(clients_.RefOf(uint64_t{99}).has_value());
  // The right record under another sequence number is not this client.
  EXPECT_EQ(clients_.Resolve(ClientRef{ra, b.SequenceNumber}), nullptr);

  // a leaves and its record is freed; a newcomer may get the same address for its record.
  clients_.Take(a).reset();
  TFtpCtrlSocket& c = NewSession();
  Usrdata* rc = &clients_.Add(c);
  EXPECT_EQ(clients_.Resolve(*refA), nullptr);
  EXPECT_EQ(clients_.SessionOf(*refA), nullptr);
  EXPECT_FALSE(clients_.RefOf(a.SequenceNumber).has_value());
  EXPECT_EQ(clients_.Resolve(ClientRef{rc, c.SequenceNumber}), rc);

  // A stopped engine lists nobody: no reference resolves, the hooks still find the records.
  const ClientRef refC = *clients_.RefOf(rc);
  clients_.UnlistAll();
  EXPECT_EQ(clients_.Resolve(refC), nullptr);
  EXPECT_EQ(clients_.SessionOf(rc), nullptr);
  EXPECT_FALSE(clients_.RefOf(rc).has_value());
  EXPECT_EQ(clients_.Find(c), rc);
}

}  // namespace
}  // namespace orvane::test
