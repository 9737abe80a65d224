#include <gtest/gtest.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "NetTestSupport.h"
#include "net/EventLoop.h"
#include "platform/UniqueFd.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;

TEST(EventLoopTest, PostedTasksRunInOrderAndReleasedTokensDropThem) {
  EventLoop loop;
  std::vector<int> order;
  loop.Post([&] { order.push_back(1); });
  loop.Post([&] {
    order.push_back(2);
    loop.Post([&] { order.push_back(5); });  // runs after what was queued before it
  });
  const EventLoop::Token alive = loop.NewToken();
  const EventLoop::Token gone = loop.NewToken();
  loop.PostTo(alive, [&] { order.push_back(3); });
  loop.PostTo(gone, [&] { order.push_back(99); });
  loop.Post([&] { order.push_back(4); });
  loop.Release(gone);
  EXPECT_TRUE(loop.RunUntil([&] { return order.size() == 5; }, 1s));
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5}));
  loop.Release(alive);
}

// The round's end comes after every posted task of the round; what it posts, and what those
// queue for a round's end again, still run in the round; a released token drops its task.
TEST(EventLoopTest, RoundEndTasksRunAfterThePostedOnes) {
  EventLoop loop;
  std::vector<int> order;
  const EventLoop::Token alive = loop.NewToken();
  const EventLoop::Token gone = loop.NewToken();
  loop.Post([&] {
    EXPECT_TRUE(loop.InRound());
    order.push_back(1);
    loop.AtRoundEnd(alive, [&] {
      order.push_back(3);
      loop.Post([&] {
        order.push_back(4);
        loop.AtRoundEnd(alive, [&] { order.push_back(5); });
      });
    });
    loop.AtRoundEnd(gone, [&] { order.push_back(99); });
  });
  loop.Post([&] {
    order.push_back(2);
    loop.Release(gone);
  });
  EXPECT_FALSE(loop.InRound());
  loop.ProcessReady(0);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_FALSE(loop.HasPending());
  loop.Release(alive);
}

// The host's log flush goes first at a round's end, before the sockets' gathered replies
// queued earlier in the round, also when posted tasks queue both again.
TEST(EventLoopTest, FirstRoundEndTasksRunBeforeTheOthersOfTheirPass) {
  EventLoop loop;
  std::vector<std::string> order;
  const EventLoop::Token token = loop.NewToken();
  loop.Post([&] {
    loop.AtRoundEnd(token, [&] {
      order.push_back("reply");
      loop.Post([&] {
        loop.AtRoundEnd(token, [&] { order.push_back("reply 2"); });
        loop.AtRoundEndFirst(token, [&] { order.push_back("log 2"); });
      });
    });
    loop.AtRoundEndFirst(token, [&] { order.push_back("log"); });
  });
  loop.ProcessReady(0);
  EXPECT_EQ(order, (std::vector<std::string>{"log", "reply", "log 2", "reply 2"}));
  EXPECT_FALSE(loop.HasPending());
  loop.Release(token);
}

// A round-end task that queues itself again every time cannot hold the loop: the round ends
// after a few passes and the rest waits for the next round, which must not wait.
TEST(EventLoopTest, RoundEndTasksThatKeepQueuingEndTheRound) {
  EventLoop loop;
  const EventLoop::Token token = loop.NewToken();
  int runs = 0;
  std::function<void()> again = [&] {
    ++runs;
    loop.AtRoundEnd(token, again);
  };
  loop.Post([&] { loop.AtRoundEnd(token, again); });
  loop.ProcessReady(0);
  const int firstRound = runs;
  EXPECT_GE(firstRound, 1);
  EXPECT_LE(firstRound, 5);
  EXPECT_TRUE(loop.HasPending());
  loop.ProcessReady(0);
  EXPECT_GT(runs, firstRound);
  loop.Release(token);
}

// A task for the next round waits for the next ProcessReady (which does not wait), runs there
// before that round's posted tasks, and what it queues for the next round waits once more; a
// released token drops its task.
TEST(EventLoopTest, NextRoundTasksRunAtTheStartOfTheNextRoundOnly) {
  EventLoop loop;
  std::vector<std::string> order;
  const EventLoop::Token alive = loop.NewToken();
  const EventLoop::Token gone = loop.NewToken();
  auto note = [&](const std::string& what) {
    order.push_back(what + " " + std::to_string(loop.Round()));
  };
  loop.Post([&] {
    loop.NextRound(alive, [&] {
      note("next");
      loop.NextRound(alive, [&] { note("again"); });
    });
    loop.NextRound(gone, [&] { note("gone"); });
    note("posted");
  });
  loop.ProcessReady(0);
  loop.Release(gone);
  EXPECT_TRUE(loop.HasPending());
  loop.Post([&] { note("posted"); });
  loop.ProcessReady(0);
  loop.ProcessReady(0);
  EXPECT_EQ(order, (std::vector<std::string>{"posted 1", "next 2", "posted 2", "again 3"}));
  EXPECT_FALSE(loop.HasPending());
  loop.Release(alive);
}

// Two connected non-blocking local sockets: one the loop watches, one that plays the peer.
struct Pair {
  Pair() {
    int fds[2] = {-1, -1};
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0);
    mine.Reset(fds[0]);
    peer.Reset(fds[1]);
  }
  UniqueFd mine;
  UniqueFd peer;
};

// A narrowed interest holds whether epoll has been told yet or not: nothing outside it reaches
// the handler (an interest of 0 not even the peer's hang-up), and widening it again reports
// what waited meanwhile.
TEST(EventLoopTest, NarrowedInterestReportsOnlyWhatIsStillWanted) {
  EventLoop loop;
  Pair pair;
  UniqueFd& mine = pair.mine;
  UniqueFd& peer = pair.peer;
  std::vector<uint32_t> reports;
  const EventLoop::Token token = loop.AddFd(mine.Get(), EPOLLIN | EPOLLRDHUP,
                                            [&](uint32_t ready) { reports.push_back(ready); });
  loop.ModifyFd(token, EPOLLRDHUP);  // reading disarmed: data alone is not reported
  ASSERT_EQ(::write(peer.Get(), "x", 1), 1);
  loop.ProcessReady(0);
  loop.ProcessReady(0);
  EXPECT_TRUE(reports.empty());
  loop.ModifyFd(token, EPOLLIN | EPOLLRDHUP);  // armed again: the waiting byte is reported
  loop.ProcessReady(0);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_TRUE(reports[0] & EPOLLIN);
  loop.ModifyFd(token, 0);  // paused: not even the hang-up is reported
  peer.Close();
  loop.ProcessReady(0);
  loop.ProcessReady(0);
  EXPECT_EQ(reports.size(), 1u);
  loop.ModifyFd(token, EPOLLIN | EPOLLRDHUP);
  loop.ProcessReady(0);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_TRUE(reports[1] & EPOLLRDHUP);
  loop.Release(token);
}

// Whether epoll holds the descriptor, as the system lists it for the loop's epoll descriptor.
bool InEpoll(const EventLoop& loop, int fd) {
  std::ifstream info("/proc/self/fdinfo/" + std::to_string(loop.Fd()));
  std::string line;
  while (std::getline(info, line)) {
    if (line.rfind("tfd:", 0) == 0 && std::stoi(line.substr(4)) == fd) return true;
  }
  return false;
}

// A descriptor registered within a round joins epoll at the round's end, and one released in
// the same round never does; its readiness is still reported from the next round on.
TEST(EventLoopTest, DescriptorsRegisteredInARoundJoinEpollAtItsEnd) {
  EventLoop loop;
  Pair pair;
  UniqueFd& mine = pair.mine;
  UniqueFd& peer = pair.peer;
  UniqueFd brief(::dup(mine.Get()));
  ASSERT_EQ(::write(peer.Get(), "x", 1), 1);
  int reports = 0;
  EventLoop::Token token = 0;
  bool addedAtOnce = true;
  loop.Post([&] {
    token = loop.AddFd(mine.Get(), EPOLLIN, [&](uint32_t) { ++reports; });
    addedAtOnce = InEpoll(loop, mine.Get());
    const EventLoop::Token gone = loop.AddFd(brief.Get(), EPOLLIN, [](uint32_t) {});
    loop.Release(gone);
  });
  loop.ProcessReady(0);
  EXPECT_FALSE(addedAtOnce);
  EXPECT_TRUE(InEpoll(loop, mine.Get()));
  EXPECT_FALSE(InEpoll(loop, brief.Get()));
  EXPECT_EQ(reports, 0);
  loop.ProcessReady(0);
  EXPECT_EQ(reports, 1);
  loop.Release(token);
}

TEST(EventLoopTest, AnExceptionFromATaskIsReportedAndTheLoopGoesOn) {
  EventLoop loop;
  std::vector<std::string> reported;
  loop.OnUnhandledException = [&](const std::exception& e) { reported.push_back(e.what()); };
  bool after = false;
  loop.Post([] { throw std::runtime_error("Session available error #10053"); });
  loop.Post([&] { after = true; });
  EXPECT_TRUE(loop.RunUntil([&] { return after; }, 1s));
  EXPECT_EQ(reported, (std::vector<std::string>{"Session available error #10053"}));
}

TEST(EventLoopTest, TaskFromAnotherThreadRunsOnTheLoopThread) {
  EventLoop loop;
  std::thread::id ranOn;
  std::thread poster([&] { loop.Post([&] { ranOn = std::this_thread::get_id(); }); });
  EXPECT_TRUE(loop.RunUntil([&] { return ranOn != std::thread::id(); }, 2s));
  poster.join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());

  // A poster outliving its loop posts nowhere.
  EventLoop::Poster orphan;
  {
    EventLoop shortLived;
    orphan = shortLived.GetPoster();
  }
  orphan(1, [] { FAIL() << "ran after the loop was gone"; });
}

// The loop embedded in an outside poll(): wait on Fd(), then ProcessReady(0), until an echo
// exchange is complete.
using EventLoopEmbeddingTest = test::LoopbackTest;

TEST_F(EventLoopEmbeddingTest, DrivenFromAnOutsidePoll) {
  std::string echoed;
  TWSocket server(loop_), client(loop_);
  server.OnDataAvailable = [](TCustomWSocket& s, uint16_t) {
    std::string got;
    if (test::ReceiveInto(s, got) > 0) s.SendStr(got);
  };
  client.OnSessionConnected = [](TCustomWSocket& s, uint16_t) { s.SendStr("ping\r\n"); };
  client.OnDataAvailable = [&](TCustomWSocket& s, uint16_t) { test::ReceiveInto(s, echoed); };
  target_ = &server;
  client.SetAddr("127.0.0.1");
  client.SetPort(std::to_string(port_));
  client.Connect();
  for (int round = 0; round < 200 && echoed != "ping\r\n"; ++round) {
    if (!loop_.HasPending()) {
      pollfd pfd{loop_.Fd(), POLLIN, 0};
      ::poll(&pfd, 1, 100);
    }
    loop_.ProcessReady(0);
  }
  EXPECT_EQ(echoed, "ping\r\n");
}

}  // namespace
}  // namespace orvane
