#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "net/EventLoop.h"
#include "platform/UniqueFd.h"

namespace orvane {

// The operator's control socket: a Unix stream socket, mode 0660, on which orvane-ftpctl sends
// one request per line and reads one answer (or, for a spy, a stream of lines). Every peer is
// checked with SO_PEERCRED when it connects. Nothing here waits: reads and writes are
// non-blocking, a request line longer than kMaxLine or an answer backlog over kMaxBacklog drops
// the connection (a client that does not read cannot make the server hold its output).
// Connections are named by a number that is never reused; closing is deferred to the loop.
class ControlSocket {
 public:
  static constexpr size_t kMaxLine = 4096;
  static constexpr size_t kMaxBacklog = 1 << 20;
  static constexpr const char* kFileName = "orvane-ftpctl.sock";
  using Id = uint64_t;

  // Who may talk to the server: its own user, root, or a member of the socket's group (primary
  // or supplementary).
  struct Peer {
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
  };
  static bool PeerAllowed(const Peer& peer, uid_t serverUid, gid_t socketGid);

  // The socket's directory: $RUNTIME_DIRECTORY under systemd, else the settings directory.
  static std::string DirectoryFor(const std::string& settingsDir, const char* runtimeDirectory);

  explicit ControlSocket(EventLoop& loop) : loop_(loop) {}
  ~ControlSocket();
  ControlSocket(const ControlSocket&) = delete;
  ControlSocket& operator=(const ControlSocket&) = delete;

  // Binds path (a stale socket file of a server that has gone is replaced; a live one is not)
  // and listens. False with the reason otherwise.
  bool Listen(const std::string& path, std::string& reason);
  // Listen on kFileName in DirectoryFor(settingsDir, $RUNTIME_DIRECTORY).
  bool ListenFor(const std::string& settingsDir, std::string& reason);
  const std::string& Path() const { return path_; }

  // A request line arrived (without its end of line).
  std::function<void(Id id, const std::string& line)> OnRequest;
  // A connection went away (the peer closed, it was dropped, or Close ran).
  std::function<void(Id id)> OnClosed;
  // A peer the check refused: its uid, for the log.
  std::function<void(uid_t uid)> OnRefused;

  // Queues text for the connection; false (and the connection dropped) past kMaxBacklog.
  bool Send(Id id, const std::string& text);
  // Closes after what is queued has been written (or at once when the peer does not read).
  void CloseAfterSend(Id id);
  bool Connected(Id id) const { return connections_.count(id) != 0; }

 private:
  struct Connection {
    UniqueFd fd;
    EventLoop::Token token = 0;
    std::string input;
    std::string output;
    bool closing = false;
  };

  void Accept();
  void Ready(Id id, uint32_t events);
  void Flush(Id id);
  void Drop(Id id);

  EventLoop& loop_;
  UniqueFd listener_;
  EventLoop::Token listenToken_ = 0;
  std::string path_;
  Id nextId_ = 1;
  std::map<Id, Connection> connections_;
};

}  // namespace orvane
