#include "host/ControlSocket.h"

#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace orvane {

bool ControlSocket::PeerAllowed(const Peer& peer, uid_t serverUid, gid_t socketGid) {
  if (peer.uid == 0 || peer.uid == serverUid || peer.gid == socketGid) return true;
  return std::find(peer.groups.begin(), peer.groups.end(), socketGid) != peer.groups.end();
}

std::string ControlSocket::DirectoryFor(const std::string& settingsDir,
                                        const char* runtimeDirectory) {
  if (runtimeDirectory == nullptr || *runtimeDirectory == '\0') return settingsDir;
  // systemd may list several directories separated by ':'; the first is the service's own.
  std::string dir(runtimeDirectory);
  dir = dir.substr(0, dir.find(':'));
  if (dir.back() != '/') dir += '/';
  return dir;
}

ControlSocket::~ControlSocket() {
  for (auto& [id, connection] : connections_) loop_.Release(connection.token);
  if (listener_) {
    loop_.Release(listenToken_);
    ::unlink(path_.c_str());
  }
}

bool ControlSocket::Listen(const std::string& path, std::string& reason) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    reason = "the path " + path + " is too long for a Unix socket";
    return false;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const auto* raw = reinterpret_cast<const sockaddr*>(&address);

  // A socket file that nobody answers on is what a server that did not stop cleanly left.
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) {
      reason = path + " exists and is not a socket";
      return false;
    }
    UniqueFd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (probe && ::connect(probe.Get(), raw, sizeof address) == 0) {
      reason = "another server is running on " + path;
      return false;
    }
    ::unlink(path.c_str());
  }

  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd) {
    reason = std::strerror(errno);
    return false;
  }
  // Bound with no access for anyone, then opened to the owner and the group: no other user can
  // connect in between.
  const mode_t old = ::umask(0177);
  const int bound = ::bind(fd.Get(), raw, sizeof address);
  ::umask(old);
  if (bound != 0 || ::chmod(path.c_str(), 0660) != 0 || ::listen(fd.Get(), 16) != 0) {
    reason = std::string(std::strerror(errno)) + " (" + path + ")";
    if (bound == 0) ::unlink(path.c_str());
    return false;
  }
  listener_ = std::move(fd);
  path_ = path;
  listenToken_ = loop_.AddFd(listener_.Get(), EPOLLIN, [this](uint32_t) { Accept(); });
  return true;
}

bool ControlSocket::ListenFor(const std::string& settingsDir, std::string& reason) {
  return Listen(DirectoryFor(settingsDir, std::getenv("RUNTIME_DIRECTORY")) + kFileName, reason);
}

void ControlSocket::Accept() {
  for (;;) {
    UniqueFd fd(::accept4(listener_.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!fd) return;
    ucred cred{};
    socklen_t length = sizeof cred;
    if (::getsockopt(fd.Get(), SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0) continue;
    Peer peer{cred.uid, cred.gid, {}};
    gid_t groups[256];
    socklen_t groupBytes = sizeof groups;
    if (::getsockopt(fd.Get(), SOL_SOCKET, SO_PEERGROUPS, groups, &groupBytes) == 0) {
      peer.groups.assign(groups, groups + groupBytes / sizeof(gid_t));
    }
    struct stat st {};
    const gid_t socketGid = ::stat(path_.c_str(), &st) == 0 ? st.st_gid : ::getegid();
    if (!PeerAllowed(peer, ::geteuid(), socketGid)) {
      if (OnRefused) OnRefused(cred.uid);
      continue;  // closed here: the peer reads the end at once
    }
    const Id id = nextId_++;
    Connection& connection = connections_[id];
    connection.fd = std::move(fd);
    connection.token = loop_.AddFd(connection.fd.Get(), EPOLLIN,
                                   [this, id](uint32_t events) { Ready(id, events); });
  }
}

void ControlSocket::Ready(Id id, uint32_t events) {
  auto it = connections_.find(id);
  if (it == connections_.end()) return;
  Connection& connection = it->second;
  if (events & EPOLLOUT) Flush(id);
  if (!Connected(id) || !(events & (EPOLLIN | EPOLLHUP | EPOLLERR))) return;
  char buffer[4096];
  const ssize_t n = ::read(connection.fd.Get(), buffer, sizeof buffer);
  if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
    Drop(id);
    return;
  }
  if (n < 0) return;
  if (connection.closing) return;  // what a closing connection says is not read
  connection.input.append(buffer, static_cast<size_t>(n));
  size_t start = 0;
  for (size_t end; (end = connection.input.find('\n', start)) != std::string::npos;
       start = end + 1) {
    std::string line = connection.input.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (OnRequest) OnRequest(id, line);
    // The handler may have closed or dropped the connection.
    auto again = connections_.find(id);
    if (again == connections_.end() || again->second.closing || again->second.token == 0) return;
  }
  connection.input.erase(0, start);
  if (connection.input.size() > kMaxLine) Drop(id);
}

bool ControlSocket::Send(Id id, const std::string& text) {
  auto it = connections_.find(id);
  if (it == connections_.end() || it->second.token == 0) return false;
  Connection& connection = it->second;
  connection.output += text;
  if (connection.output.size() > kMaxBacklog) {
    Drop(id);
    return false;
  }
  Flush(id);
  return Connected(id);
}

void ControlSocket::CloseAfterSend(Id id) {
  auto it = connections_.find(id);
  if (it == connections_.end() || it->second.token == 0) return;
  it->second.closing = true;
  Flush(id);
}

void ControlSocket::Flush(Id id) {
  Connection& connection = connections_.at(id);
  while (!connection.output.empty()) {
    const ssize_t n = ::send(connection.fd.Get(), connection.output.data(),
                             connection.output.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) break;
      Drop(id);
      return;
    }
    connection.output.erase(0, static_cast<size_t>(n));
  }
  if (connection.output.empty() && connection.closing) {
    Drop(id);
    return;
  }
  loop_.ModifyFd(connection.token, connection.output.empty() ? EPOLLIN : EPOLLIN | EPOLLOUT);
}

void ControlSocket::Drop(Id id) {
  auto it = connections_.find(id);
  if (it == connections_.end() || it->second.token == 0) return;
  // The descriptor stops reporting now; the connection is freed after the current handler.
  loop_.ModifyFd(it->second.token, 0);
  const EventLoop::Token token = it->second.token;
  it->second.token = 0;
  loop_.PostTo(listenToken_, [this, id, token] {
    loop_.Release(token);
    connections_.erase(id);
    if (OnClosed) OnClosed(id);
  });
}

}  // namespace orvane
