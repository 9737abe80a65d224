#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "net/EventLoop.h"
#include "net/RoundBudget.h"

namespace orvane {
namespace {

// Senders beyond a round's bytes wait in line. Each later round resumes them in the order they
// came, only as many as its bytes allow (the first ask of a round always goes), skips one whose
// owner is gone, and puts a newcomer behind those still waiting.
TEST(RoundBudgetTest, SendersBeyondARoundsBytesResumeInTurnInTheRoundsAfter) {
  EventLoop loop;
  RoundBudget budget(loop, 100);
  std::vector<std::string> sent;
  std::function<void(EventLoop::Token, const std::string&)> send = [&](EventLoop::Token owner,
                                                                       const std::string& name) {
    if (!budget.Wait(60, owner, [&send, owner, name] { send(owner, name); })) {
      sent.push_back(name + std::to_string(loop.Round()));
    }
  };
  std::vector<EventLoop::Token> owners;
  for (int i = 0; i < 6; ++i) owners.push_back(loop.NewToken());
  loop.Post([&] {
    for (int i = 0; i < 5; ++i) send(owners[i], std::string(1, static_cast<char>('a' + i)));
  });
  loop.ProcessReady(0);
  EXPECT_EQ(budget.Waiting(), 3u);
  loop.Release(owners[4]);                   // e leaves while it waits
  loop.Post([&] { send(owners[5], "f"); });  // asks after c and d are resumed, while e waits
  loop.ProcessReady(0);
  loop.ProcessReady(0);
  EXPECT_EQ(sent, (std::vector<std::string>{"a1", "b1", "c2", "d2", "f3"}));
  EXPECT_EQ(budget.Waiting(), 0u);
  EXPECT_FALSE(loop.HasPending());
  for (int i = 0; i < 6; ++i) {
    if (i != 4) loop.Release(owners[i]);
  }
}

}  // namespace
}  // namespace orvane
