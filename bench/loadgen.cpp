// A load generator for FTP servers on 127.0.0.1: many concurrent sessions driven from one epoll
// loop, so that the client is not what bounds the figures, plus a probe session on a thread of
// its own that times a NOOP every few milliseconds while the load runs.
//
//   loadgen --port P --user U --pass W --mode MODE --clients N [options]
//
// Modes:
//   files     each client logs in and repeats PASV + RETR FILE until --seconds have passed
//   download  each client logs in and downloads FILE --per-client times (default once); the
//             run ends when every client is done (at --limit seconds at most, default 120)
//   sessions  each client repeats connect, USER, PASS, QUIT for --seconds
//   storm     N sessions connect and log in at once; the run ends when all are logged in
//             (at --limit at most; the sessions not done by then are counted as not_done)
//   idle      N sessions log in and stay idle for --seconds
//
// Output: one "key=value" line per figure (ops, seconds, ops_per_s, mib_per_s, errors,
// server_cpu_us_per_op, probe_p50_ms, probe_p99_ms, probe_max_ms, probe_count, and for
// download the slowest and fastest client in MiB/s). Server CPU is utime + stime of the
// process tree of --server-pid (with its reaped children), read from /proc before and after.
// Needs nothing from the server's sources: the bench builds it on its own.
#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Options {
  int port = 21;
  std::string user = "anonymous";
  std::string pass = "bench";
  std::string mode = "files";
  std::string file = "small.bin";
  int clients = 10;
  double seconds = 5;
  int perClient = 1;
  double limit = 120;
  int probeIntervalMs = 10;
  bool probe = true;
  long serverPid = 0;
};

// --- the server's processor time ------------------------------------------------------------

double TreeCpuSeconds(long root) {
  if (root <= 0) return 0;
  std::map<long, std::vector<long>> children;
  std::map<long, double> own;
  const long tick = ::sysconf(_SC_CLK_TCK);
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return 0;
  while (dirent* entry = ::readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (*end != '\0' || pid <= 0) continue;
    std::ifstream in("/proc/" + std::string(entry->d_name) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t paren = text.rfind(')');
    if (paren == std::string::npos) continue;
    std::istringstream fields(text.substr(paren + 2));
    std::vector<std::string> f((std::istream_iterator<std::string>(fields)),
                               std::istream_iterator<std::string>());
    if (f.size() < 15) continue;
    // After the name: state(0) ppid(1) ... utime(11) stime(12) cutime(13) cstime(14).
    children[std::stol(f[1])].push_back(pid);
    own[pid] = (std::stod(f[11]) + std::stod(f[12]) + std::stod(f[13]) + std::stod(f[14])) /
               static_cast<double>(tick);
  }
  ::closedir(proc);
  double total = 0;
  std::vector<long> todo{root};
  while (!todo.empty()) {
    const long pid = todo.back();
    todo.pop_back();
    total += own[pid];
    for (long child : children[pid]) todo.push_back(child);
  }
  return total;
}

// --- sockets --------------------------------------------------------------------------------

int ConnectNonBlocking(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
      errno != EINPROGRESS) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Takes one complete reply ("ddd text" as its last line) from the front of buffer.
bool TakeReply(std::string& buffer, int& code, std::string& text) {
  std::size_t start = 0;
  while (true) {
    const std::size_t end = buffer.find('\n', start);
    if (end == std::string::npos) return false;
    const std::string line = buffer.substr(start, end - start);
    start = end + 1;
    if (line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) &&
        std::isdigit(static_cast<unsigned char>(line[1])) &&
        std::isdigit(static_cast<unsigned char>(line[2])) && line[3] == ' ') {
      code = std::atoi(line.substr(0, 3).c_str());
      text = line;
      buffer.erase(0, start);
      return true;
    }
  }
}

int PassivePort(const std::string& reply) {
  const std::size_t open = reply.find('(');
  if (open == std::string::npos) return -1;
  int h1, h2, h3, h4, p1, p2;
  if (std::sscanf(reply.c_str() + open, "(%d,%d,%d,%d,%d,%d)", &h1, &h2, &h3, &h4, &p1, &p2) != 6)
    return -1;
  return p1 * 256 + p2;
}

// --- the probe ------------------------------------------------------------------------------

// A blocking session on its own thread: logs in, then sends NOOP every interval and keeps the
// time each answer took while `measuring` is set.
class Probe {
 public:
  explicit Probe(const Options& options) : options_(options) {}

  bool Start() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(options_.port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
    const int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    timeval timeout{30, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (Reply() != 220) return false;
    // An anonymous login without a password is in at USER already (vsftpd).
    const int user = Command("USER " + options_.user);
    if (user != 230 && (user != 331 || Command("PASS " + options_.pass) != 230)) return false;
    thread_ = std::thread([this]() { Run(); });
    return true;
  }
  void Measure(bool on) { measuring_ = on; }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) ::close(fd_);
  }
  std::vector<double> Latencies() const { return latencies_; }
  bool Failed() const { return failed_; }

 private:
  int Reply() {
    int code = 0;
    std::string text;
    char chunk[4096];
    while (!TakeReply(buffer_, code, text)) {
      const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
      if (n <= 0) return -1;
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
    return code;
  }
  int Command(const std::string& line) {
    const std::string wire = line + "\r\n";
    if (::send(fd_, wire.data(), wire.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(wire.size()))
      return -1;
    return Reply();
  }
  void Run() {
    while (!stop_) {
      const auto start = Clock::now();
      if (Command("NOOP") != 200) {
        failed_ = true;
        return;
      }
      const double ms = SecondsSince(start) * 1000;
      if (measuring_) latencies_.push_back(ms);
      std::this_thread::sleep_for(std::chrono::milliseconds(options_.probeIntervalMs));
    }
  }

  const Options& options_;
  int fd_ = -1;
  std::string buffer_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> measuring_{false};
  std::atomic<bool> failed_{false};
  std::vector<double> latencies_;
};

// --- the sessions ---------------------------------------------------------------------------

enum class Step { Connecting, Greeting, User, Pass, Type, Pasv, Retr, Quit, Idle, Done };

struct Session {
  int index = 0;
  int control = -1;
  int data = -1;
  Step step = Step::Connecting;
  std::string in;
  bool gotTransferReply = false;  // 226 seen for the running RETR
  bool dataClosed = false;
  int64_t dataBytes = 0;
  int transfers = 0;
  int64_t totalBytes = 0;
  Clock::time_point transferStart;
  double transferSeconds = 0;  // the time of its downloads, for the fairness figures
};

class Generator {
 public:
  explicit Generator(const Options& options)
      : o_(options), epoll_(::epoll_create1(EPOLL_CLOEXEC)) {}
  ~Generator() {
    for (auto& s : sessions_) CloseSession(*s);
    ::close(epoll_);
  }

  int Run();

 private:
  // Descriptors are registered with a key: session index * 2 (+1 for the data connection).
  void Watch(int fd, uint64_t key, uint32_t events) {
    epoll_event e{};
    e.events = events;
    e.data.u64 = key;
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &e);
  }
  void Open(Session& s) {
    s.control = ConnectNonBlocking(o_.port);
    if (s.control < 0) {
      Fail(s);
      return;
    }
    s.step = Step::Greeting;
    s.in.clear();
    Watch(s.control, static_cast<uint64_t>(s.index) * 2, EPOLLIN);
  }
  void Send(Session& s, const std::string& line) {
    const std::string wire = line + "\r\n";
    // Commands are short: the socket's buffer takes them whole.
    if (::send(s.control, wire.data(), wire.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(wire.size())) {
      Fail(s);
    }
  }
  void CloseData(Session& s) {
    if (s.data >= 0) {
      ::close(s.data);
      s.data = -1;
    }
  }
  void CloseSession(Session& s) {
    CloseData(s);
    if (s.control >= 0) {
      ::close(s.control);
      s.control = -1;
    }
  }
  void Fail(Session& s) {
    ++errors_;
    CloseSession(s);
    s.step = Step::Done;
    --active_;
  }
  void Finish(Session& s) {
    CloseSession(s);
    s.step = Step::Done;
    --active_;
  }
  void Count(int64_t bytes) {
    // Steps that end after the window (a transfer under way at its end) are not counted.
    if (!measuring_ || ending_) return;
    ++ops_;
    bytes_ += bytes;
  }
  void StartTransfer(Session& s) {
    s.step = Step::Pasv;
    Send(s, "PASV");
  }
  void AfterLogin(Session& s);
  void TransferDone(Session& s);
  void OnControl(Session& s);
  void OnReply(Session& s, int code, const std::string& text);
  void OnData(Session& s);

  const Options& o_;
  int epoll_;
  std::vector<std::unique_ptr<Session>> sessions_;
  int active_ = 0;
  int loggedIn_ = 0;
  long ops_ = 0;
  int64_t bytes_ = 0;
  long errors_ = 0;
  long notDone_ = 0;
  bool measuring_ = false;
  bool ending_ = false;
};

void Generator::AfterLogin(Session& s) {
  ++loggedIn_;
  if (o_.mode == "sessions") {
    s.step = Step::Quit;
    Send(s, "QUIT");
  } else if (o_.mode == "storm" || o_.mode == "idle") {
    s.step = Step::Idle;
  } else {
    s.step = Step::Type;
    Send(s, "TYPE I");
  }
}

void Generator::TransferDone(Session& s) {
  s.transferSeconds += SecondsSince(s.transferStart);
  s.totalBytes += s.dataBytes;
  ++s.transfers;
  Count(s.dataBytes);
  CloseData(s);
  if (ending_ || (o_.mode == "download" && s.transfers >= o_.perClient)) {
    s.step = Step::Quit;
    Send(s, "QUIT");
    return;
  }
  StartTransfer(s);
}

void Generator::OnReply(Session& s, int code, const std::string& text) {
  switch (s.step) {
    case Step::Greeting:
      if (code != 220) return Fail(s);
      s.step = Step::User;
      return Send(s, "USER " + o_.user);
    case Step::User:
      if (code != 331 && code != 230) return Fail(s);
      if (code == 230) return AfterLogin(s);
      s.step = Step::Pass;
      return Send(s, "PASS " + o_.pass);
    case Step::Pass:
      if (code != 230) return Fail(s);
      return AfterLogin(s);
    case Step::Type:
      if (code != 200) return Fail(s);
      return StartTransfer(s);
    case Step::Pasv: {
      const int port = code == 227 ? PassivePort(text) : -1;
      if (port <= 0) return Fail(s);
      s.data = ConnectNonBlocking(port);
      if (s.data < 0) return Fail(s);
      Watch(s.data, static_cast<uint64_t>(s.index) * 2 + 1, EPOLLIN);
      s.dataBytes = 0;
      s.dataClosed = false;
      s.gotTransferReply = false;
      s.transferStart = Clock::now();
      s.step = Step::Retr;
      return Send(s, "RETR " + o_.file);
    }
    case Step::Retr:
      if (code == 150 || code == 125) return;
      if (code != 226 && code != 250) return Fail(s);
      s.gotTransferReply = true;
      if (s.dataClosed) TransferDone(s);
      return;
    case Step::Quit:
      if (o_.mode == "sessions") {
        Count(0);
        CloseSession(s);
        if (ending_) {
          s.step = Step::Done;
          --active_;
          return;
        }
        return Open(s);
      }
      return Finish(s);
    default:
      return;
  }
}

void Generator::OnControl(Session& s) {
  char chunk[8192];
  const ssize_t n = ::recv(s.control, chunk, sizeof chunk, 0);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
  if (n <= 0) {
    // The server closed the session: after QUIT that is the end, elsewhere a failure.
    if (s.step == Step::Quit) {
      if (o_.mode == "sessions") return OnReply(s, 221, "221");
      return Finish(s);
    }
    return Fail(s);
  }
  s.in.append(chunk, static_cast<std::size_t>(n));
  int code = 0;
  std::string text;
  while (s.control >= 0 && TakeReply(s.in, code, text)) OnReply(s, code, text);
}

void Generator::OnData(Session& s) {
  // The bytes are counted and dropped in the kernel (MSG_TRUNC): no copy to this process.
  const ssize_t n = ::recv(s.data, nullptr, 1 << 20, MSG_TRUNC | MSG_DONTWAIT);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
  if (n > 0) {
    s.dataBytes += n;
    return;
  }
  CloseData(s);
  s.dataClosed = true;
  if (s.gotTransferReply) TransferDone(s);
}

int Generator::Run() {
  rlimit limit{};
  ::getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = limit.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &limit);

  Probe probe(o_);
  const bool probing = o_.probe && probe.Start();
  if (o_.probe && !probing) std::fprintf(stderr, "loadgen: the probe could not log in\n");

  const bool untilDone = o_.mode == "download" || o_.mode == "storm";
  // Rate modes measure a window after every client logged in; the others from the start.
  const bool warmUp = o_.mode == "files" || o_.mode == "idle";
  for (int i = 0; i < o_.clients; ++i) {
    auto s = std::make_unique<Session>();
    s->index = i;
    sessions_.push_back(std::move(s));
    ++active_;
    Open(*sessions_.back());
  }
  Clock::time_point start = Clock::now();
  double cpuStart = TreeCpuSeconds(o_.serverPid);
  if (!warmUp) {
    measuring_ = true;
    if (probing) probe.Measure(true);
  }
  // A run until done still ends at --limit: a server that stops accepting must not hold the
  // bench (the sessions not done by then are counted in not_done).
  const double limitSeconds = untilDone ? o_.limit : o_.seconds;
  double cpuEnd = -1;
  std::vector<epoll_event> events(1024);
  double measured = 0;
  while (active_ > 0) {
    if (!measuring_ && warmUp && (loggedIn_ + errors_ >= o_.clients || SecondsSince(start) > 60)) {
      measuring_ = true;
      if (probing) probe.Measure(true);
      start = Clock::now();
      cpuStart = TreeCpuSeconds(o_.serverPid);
    }
    if (measuring_ && !ending_) {
      const bool timeUp = SecondsSince(start) >= limitSeconds;
      const bool stormDone = o_.mode == "storm" && loggedIn_ + errors_ >= o_.clients;
      if (timeUp || stormDone) {
        measured = SecondsSince(start);
        cpuEnd = TreeCpuSeconds(o_.serverPid);
        ending_ = true;
        if (probing) probe.Measure(false);
        for (auto& s : sessions_) {
          // Idle sessions leave now; the others after the step they are in, except those a
          // run until done still waits for at its limit, which are cut off.
          if (s->step == Step::Idle) {
            s->step = Step::Quit;
            Send(*s, "QUIT");
          } else if (untilDone && timeUp && s->step != Step::Done && s->step != Step::Quit) {
            ++notDone_;
            Finish(*s);
          }
        }
      }
    }
    const int n = ::epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), 50);
    for (int i = 0; i < n; ++i) {
      const uint64_t key = events[i].data.u64;
      Session& s = *sessions_[key / 2];
      if (key % 2 == 1) {
        if (s.data >= 0) OnData(s);
      } else if (s.control >= 0) {
        OnControl(s);
      }
    }
    if (ending_ && SecondsSince(start) > measured + 60) break;  // a session that never ends
  }
  const double cpu = (cpuEnd >= 0 ? cpuEnd : TreeCpuSeconds(o_.serverPid)) - cpuStart;
  if (measured == 0) measured = SecondsSince(start);
  if (probing) probe.Stop();

  std::printf("mode=%s\nclients=%d\nops=%ld\nseconds=%.3f\nops_per_s=%.1f\n", o_.mode.c_str(),
              o_.clients, ops_, measured, ops_ / measured);
  std::printf("bytes=%lld\nmib_per_s=%.1f\nerrors=%ld\n", static_cast<long long>(bytes_),
              bytes_ / measured / (1 << 20), errors_);
  if (o_.mode == "storm") std::printf("logged_in=%d\n", loggedIn_);
  if (notDone_ > 0) std::printf("not_done=%ld\n", notDone_);
  if (o_.serverPid > 0) {
    std::printf("server_cpu_s=%.3f\n", cpu);
    const long per = o_.mode == "storm" ? loggedIn_ : ops_;
    if (per > 0) std::printf("server_cpu_us_per_op=%.1f\n", cpu / per * 1e6);
  }
  if (o_.mode == "download") {
    double slowest = 0, fastest = 0;
    bool first = true;
    for (const auto& s : sessions_) {
      if (s->transferSeconds <= 0) continue;
      const double rate = s->totalBytes / s->transferSeconds / (1 << 20);
      slowest = first ? rate : std::min(slowest, rate);
      fastest = first ? rate : std::max(fastest, rate);
      first = false;
    }
    std::printf("slowest_mib_per_s=%.2f\nfastest_mib_per_s=%.2f\n", slowest, fastest);
  }
  if (probing) {
    std::vector<double> l = probe.Latencies();
    std::sort(l.begin(), l.end());
    auto at = [&](double q) {
      return l.empty() ? 0.0 : l[std::min(l.size() - 1, static_cast<std::size_t>(q * l.size()))];
    };
    std::printf("probe_count=%zu\nprobe_p50_ms=%.2f\nprobe_p99_ms=%.2f\nprobe_max_ms=%.2f\n",
                l.size(), at(0.5), at(0.99), l.empty() ? 0.0 : l.back());
    if (probe.Failed()) std::printf("probe_failed=1\n");
  }
  return errors_ == 0 && notDone_ == 0 ? 0 : 1;
}

int Usage(const char* program) {
  std::fprintf(stderr,
               "usage: %s --port P [--user U] [--pass W] [--mode files|download|sessions|storm|"
               "idle]\n  [--clients N] [--seconds S] [--file NAME] [--per-client K] "
               "[--server-pid PID]\n  [--limit S] [--probe-interval MS] [--no-probe]\n",
               program);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (a == "--port")
      o.port = std::atoi(next().c_str());
    else if (a == "--user")
      o.user = next();
    else if (a == "--pass")
      o.pass = next();
    else if (a == "--mode")
      o.mode = next();
    else if (a == "--file")
      o.file = next();
    else if (a == "--clients")
      o.clients = std::atoi(next().c_str());
    else if (a == "--seconds")
      o.seconds = std::atof(next().c_str());
    else if (a == "--per-client")
      o.perClient = std::atoi(next().c_str());
    else if (a == "--limit")
      o.limit = std::atof(next().c_str());
    else if (a == "--server-pid")
      o.serverPid = std::atol(next().c_str());
    else if (a == "--probe-interval")
      o.probeIntervalMs = std::atoi(next().c_str());
    else if (a == "--no-probe")
      o.probe = false;
    else
      return Usage(argv[0]);
  }
  static const char* const kModes[] = {"files", "download", "sessions", "storm", "idle"};
  if (o.port <= 0 || o.clients <= 0 ||
      std::none_of(std::begin(kModes), std::end(kModes),
                   [&](const char* m) { return o.mode == m; }))
    return Usage(argv[0]);
  Generator generator(o);
  return generator.Run();
}
