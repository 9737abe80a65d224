#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "console/ClientActions.h"
#include "console/ControlRequest.h"
#include "console/SpyFeed.h"
#include "host/ControlSocket.h"
#include "host/FtpHost.h"

namespace orvane {

// The operator console over the control socket: answers orvane-ftpctl's requests with the
// host's operations (the client list, kick, ban, the ban list, closed, start/stop, statistics,
// reload) and streams the conversation of a spied client. Clients are named by their session's
// sequence number, never by a list position.
//
// An answer is "ok N\n" and N bytes of text (or JSON), or one line "error KIND TEXT\n"; KIND is
// one of usage, unknown-client, bad-address, not-listed, failed. A spy answers "ok 0\n", then
// one line per command ("C ...") and reply ("R ..."), and "end TEXT\n" when the client leaves.
class ControlService {
 public:
  ControlService(FtpHost& host, ControlSocket& socket);
  ~ControlService();
  ControlService(const ControlService&) = delete;
  ControlService& operator=(const ControlService&) = delete;

  // The answer to one request line, for requests that are not a spy (tests call this).
  std::string Answer(const std::string& line);

 private:
  struct Spy {
    std::unique_ptr<SpyFeed> feed;
  };
  void Request(ControlSocket::Id id, const std::string& line);
  void StartSpy(ControlSocket::Id id, const ControlRequest& request);
  void SpyLines();
  void SpyLeft(const Usrdata& record);
  // The client named by its session's sequence number, while it is listed.
  std::optional<ClientRef> RefOfId(const std::string& text) const;

  std::string Who(bool json);
  std::string QuotaJson(const Usrdata& record) const;
  std::string Kick(const ControlRequest& request);
  std::string Ban(const ControlRequest& request);
  std::string Unban(const ControlRequest& request);
  std::string Bans(bool json);
  std::string Closed(const ControlRequest& request);
  std::string StartStop(bool start);
  std::string Stats(bool json);
  std::string Reload();

  FtpHost& host_;
  ControlSocket& socket_;
  ClientActions actions_;
  std::map<ControlSocket::Id, Spy> spies_;
  // The hooks that were there before (the desktop's spy window), called first.
  decltype(FtpHost::OnCommandSeen) previousCommand_;
  decltype(FtpHost::OnAnswerSeen) previousAnswer_;
  decltype(FtpHost::OnClientLeaving) previousLeaving_;
};

}  // namespace orvane
