#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace orvane {

// The main thread's event loop: epoll readiness for the descriptors that sockets register, plus
// a FIFO of posted tasks (self-posted readiness reports, deferred close and free actions, timer
// ticks, answers of lookup threads).
//
// Every registration is identified by a Token that is never reused for the life of the loop.
// A descriptor number can be reused by the system the moment it is closed, so reports and posted
// tasks are addressed to tokens: once a token is released, anything still addressed to it is
// dropped. This is how a report for an earlier connection never reaches a later one.
//
// Threading: everything runs on the thread that calls ProcessReady()/Run(), except Post(),
// PostTo() and Stop(), which any thread may call.
//
// Embedding: Fd() is pollable; when it is readable, call ProcessReady(0). HasPending() says
// whether posted tasks wait, so an embedding loop knows to call ProcessReady(0) again soon.
//
// A round is one ProcessReady(): the ready descriptors, the tasks they post, then the tasks
// given to AtRoundEnd and last what those posted, before the loop waits again. Sockets use the
// round's end to write what one round gave a connection in one go (the answers of a command, a
// transfer's "150" and "226"), as Redis writes its replies before it sleeps.
class EventLoop {
 public:
  using Token = uint64_t;
  using ReadyHandler = std::function<void(uint32_t epollEvents)>;

  EventLoop();
  // Asserts that nothing is still registered: every owner of a token releases it first.
  ~EventLoop();
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  int Fd() const { return epollFd_; }

  // Called with an exception that escaped a readiness handler or a posted task; the loop goes
  // on with the next one. Without a hook the text goes to standard error. (A handler's failure
  // must not take the whole server down, as an unhandled exception of a window event does not.)
  std::function<void(const std::exception& e)> OnUnhandledException;
  // Reports an exception that a handler let escape, as the loop does for the ones it catches;
  // for code that ends a delivery itself and must not let the exception go further.
  void ReportUnhandled(const std::exception& e);

  // A token with no descriptor: an object's identity for PostTo() while it lives.
  Token NewToken();
  // Registers fd with the given epoll interest; handler receives the ready events while the
  // token lives. An interest of 0 keeps the token but reports nothing, not even hang-up or
  // error conditions (used to pause a socket).
  Token AddFd(int fd, uint32_t epollEvents, ReadyHandler handler);
  // A narrower read interest reaches epoll only when an event it leaves out is reported (the
  // event is dropped then): a listener disarmed while it accepts, or a connection paused until
  // its command comes, is most often armed again before anything arrives, and so costs no
  // system call either way. Less write interest is applied at once, since a writable socket
  // would report again at once.
  void ModifyFd(Token token, uint32_t epollEvents);
  // Forgets the token: the descriptor leaves epoll (call this before closing it) and every
  // report or task still addressed to the token is dropped.
  void Release(Token token);
  bool Alive(Token token) const;

  // Queues a task; tasks run in posting order on the loop thread.
  void Post(std::function<void()> task);
  // Queues a task that runs only if the token is still alive when its turn comes.
  void PostTo(Token token, std::function<void()> task);
  bool HasPending() const;
  // Whether the calling thread is inside a round of this loop.
  bool InRound() const { return ProcessingOnThisThread(); }
  // Queues a task for the end of the current round (only inside one: see InRound), after every
  // ready descriptor and posted task of the round; it runs only if the token is still alive.
  void AtRoundEnd(Token token, std::function<void()> task);
  // The same, but run before the round-end tasks given with AtRoundEnd in the same pass: the
  // host writes its buffered log lines there, so that a reply gathered in the round never
  // reaches its client before the lines logged with it are in the file.
  void AtRoundEndFirst(Token token, std::function<void()> task);
  // Queues a task for the next round: it runs there right after the wait for descriptors (which
  // then does not wait), before the round's ready descriptors, in the order queued, and only if
  // the token is still alive. A sender that has had its share of a round goes on there, behind
  // the others that waited, so that no round grows with the number of senders.
  void NextRound(Token token, std::function<void()> task);
  // The number of the current (or last) round, counted from 1.
  uint64_t Round() const { return round_; }
  // A thread-safe PostTo that stays valid after the loop is gone (posts then go nowhere).
  using Poster = std::function<void(Token, std::function<void()>)>;
  Poster GetPoster() const;

  // Waits at most timeoutMs (-1 = no limit, 0 = do not wait) for readiness, dispatches every
  // ready descriptor and runs the posted tasks; tasks posted by a handler run right after it.
  void ProcessReady(int timeoutMs);
  // Runs until Stop().
  void Run();
  void Stop();
  // Runs until cond() holds or the timeout passes; returns cond(). For tests and tools.
  bool RunUntil(const std::function<bool()>& cond, std::chrono::milliseconds timeout);

 private:
  struct Registration {
    int fd = -1;
    uint32_t events = 0;  // the interest epoll holds
    uint32_t wanted = 0;  // the interest asked for: narrower than events until a report shows it
    bool inEpoll = false;
    bool addDue = false;  // registered within a round: added to epoll at its end
    ReadyHandler handler;
  };
  struct Posted;
  class Inbox;

  // The most times one round runs its round-end tasks, each followed by what they posted.
  static constexpr int kRoundEndPasses = 3;
  void RunPosted();
  void RunRoundEnd();
  void RunNextRoundTasks();
  void AddDueDescriptors();
  void ProcessOnce(int timeoutMs);
  bool ProcessingOnThisThread() const;
  void Guarded(const std::function<void()>& call);
  void ApplyInterest(Token token, Registration& reg, uint32_t events);

  int epollFd_ = -1;
  std::shared_ptr<Inbox> inbox_;
  Token nextToken_ = 1;
  std::unordered_map<Token, Registration> registrations_;
  std::vector<std::pair<Token, std::function<void()>>> roundEnd_;
  std::vector<std::pair<Token, std::function<void()>>> roundEndFirst_;
  std::vector<std::pair<Token, std::function<void()>>> nextRound_;
  uint64_t round_ = 0;
  std::vector<Token> addsDue_;
  std::atomic<bool> stopped_{false};
  // The thread inside ProcessOnce, if any: its own posts need no wake-up.
  std::atomic<std::thread::id> processing_{};
};

}  // namespace orvane
