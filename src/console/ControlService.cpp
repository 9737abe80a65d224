#include "console/ControlService.h"

#include <arpa/inet.h>

#include <chrono>
#include <cstdio>

#include "console/UserInfoPanels.h"

namespace orvane {
namespace {

std::string Ok(const std::string& body) {
  return "ok " + std::to_string(body.size()) + "\n" + body;
}

std::string Error(const std::string& kind, const std::string& text) {
  return "error " + kind + " " + text + "\n";
}

std::string Json(const std::string& text) {
  std::string out = "\"";
  for (const unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

bool ValidAddress(const std::string& text) {
  unsigned char buffer[16];
  return inet_pton(AF_INET, text.c_str(), buffer) == 1 ||
         inet_pton(AF_INET6, text.c_str(), buffer) == 1;
}

int64_t SteadySeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

ControlService::ControlService(FtpHost& host, ControlSocket& socket)
    : host_(host), socket_(socket), actions_(host) {
  socket_.OnRequest = [this](ControlSocket::Id id, const std::string& line) { Request(id, line); };
  socket_.OnClosed = [this](ControlSocket::Id id) { spies_.erase(id); };
  socket_.OnRefused = [this](uid_t uid) {
    const std::string line = "Control socket: user " + std::to_string(uid) +
                             " refused (not the server's user, root, or in the socket's group)";
    host_.LogScreenOnly(line);
    host_.Log().WriteStampedLine(line);
  };
  previousCommand_ = host_.OnCommandSeen;
  previousAnswer_ = host_.OnAnswerSeen;
  previousLeaving_ = host_.OnClientLeaving;
  host_.OnCommandSeen = [this](const Usrdata& r, const std::string& k, const std::string& p) {
    if (previousCommand_) previousCommand_(r, k, p);
    for (auto& [id, spy] : spies_) spy.feed->Command(&r, k, p);
    SpyLines();
  };
  host_.OnAnswerSeen = [this](const Usrdata& r, const std::string& answer) {
    if (previousAnswer_) previousAnswer_(r, answer);
    for (auto& [id, spy] : spies_) spy.feed->Answer(&r, answer);
    SpyLines();
  };
  host_.OnClientLeaving = [this](const Usrdata& r) {
    if (previousLeaving_) previousLeaving_(r);
    SpyLeft(r);
  };
}

ControlService::~ControlService() {
  host_.OnCommandSeen = previousCommand_;
  host_.OnAnswerSeen = previousAnswer_;
  host_.OnClientLeaving = previousLeaving_;
  socket_.OnRequest = nullptr;
  socket_.OnClosed = nullptr;
  socket_.OnRefused = nullptr;
}

void ControlService::Request(ControlSocket::Id id, const std::string& line) {
  const ControlRequest request = ControlRequest::Parse(line);
  if (request.command == "spy") {
    StartSpy(id, request);
    return;
  }
  socket_.Send(id, Answer(line));
  socket_.CloseAfterSend(id);
}

std::string ControlService::Answer(const std::string& line) {
  const ControlRequest r = ControlRequest::Parse(line);
  const size_t n = r.args.size();
  if (r.command == "who" && n == 0) return Who(r.json);
  if (r.command == "kick") return Kick(r);
  if (r.command == "ban") return Ban(r);
  if (r.command == "unban") return Unban(r);
  if (r.command == "bans" && n == 0) return Bans(r.json);
  if (r.command == "closed") return Closed(r);
  if ((r.command == "start" || r.command == "stop") && n == 0)
    return StartStop(r.command == "start");
  if (r.command == "stats" && n == 0) return Stats(r.json);
  if (r.command == "reload" && n == 0) return Reload();
  return Error("usage", "unknown request: " + line);
}

std::optional<ClientRef> ControlService::RefOfId(const std::string& text) const {
  char* end = nullptr;
  const uint64_t sequence = std::strtoull(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0') return std::nullopt;
  return host_.RefOf(sequence);
}

// The quota members of a client's who entry, for a client whose account has a quota.
std::string ControlService::QuotaJson(const Usrdata& r) const {
  const AccountLimits::Usage* usage = host_.Limits().UsageOf(r.Account);
  if (usage == nullptr || host_.Limits().QuotaText(r).empty()) return "";
  const auto limit = [](int64_t value) { return value > 0 ? std::to_string(value) : "null"; };
  return ",\"quota\":{\"bytes\":" + std::to_string(usage->bytes) +
         ",\"bytes_limit\":" + limit(r.QuotaBytes) + ",\"files\":" + std::to_string(usage->files) +
         ",\"files_limit\":" + limit(r.QuotaFiles) + "}";
}

std::string ControlService::Who(bool json) {
  std::string out = json ? "[" : "";
  for (const Usrdata* r : host_.Clients().Listed()) {
    const std::optional<ClientRef> ref = host_.RefOf(r);
    if (!ref) continue;
    const bool in = !r->Account.empty();
    const std::string id = std::to_string(ref->sequence);
    const std::string speed = UserInfoPanels::Speed(r->IntervalBytes);
    const std::string credit = r->EnableMaxdl ? std::to_string(r->Credit) : "";
    const std::string limits = UserInfoPanels::LimitsLine(*r, host_.Limits());
    if (json) {
      if (out.size() > 1) out += ",";
      out += "{\"id\":" + id + ",\"user\":" + Json(r->UserName) +
             ",\"account\":" + Json(r->Account) + ",\"address\":" + Json(r->IP) +
             ",\"logged_in\":" + (in ? "true" : "false") + ",\"action\":" + Json(r->Status) +
             ",\"since\":" + Json(r->LoginTime) + ",\"idle\":" + std::to_string(r->Idle) +
             ",\"uploaded\":" + std::to_string(r->Uploaded) +
             ",\"downloaded\":" + std::to_string(r->Downloaded) + ",\"speed\":" + Json(speed) +
             ",\"credit\":" + (credit.empty() ? "null" : credit) + QuotaJson(*r) + "}";
    } else {
      out += id + "  " + (in ? r->Account : "(not logged in)") + "  " + r->UserName + "  " + r->IP +
             "  " + r->Status + "  since " + r->LoginTime + "  idle " + std::to_string(r->Idle) +
             " s  up " + std::to_string(r->Uploaded) + "  down " + std::to_string(r->Downloaded) +
             "  " + speed + (credit.empty() ? "" : "  credit " + credit) +
             (limits.empty() ? "" : "  " + limits) + "\n";
    }
  }
  return Ok(json ? out + "]\n" : out);
}

std::string ControlService::Kick(const ControlRequest& r) {
  if (r.args.size() == 1 && r.args[0] == "--all") {
    const int n = actions_.MassKick(true);
    return Ok(std::to_string(n) + " clients disconnected\n");
  }
  const bool ban = r.args.size() == 2 && r.args[1] == "--ban";
  if (r.args.empty() || r.args.size() > 2 || (r.args.size() == 2 && !ban)) {
    return Error("usage", "kick ID [--ban] | kick --all");
  }
  const std::optional<ClientRef> ref = RefOfId(r.args[0]);
  if (!ref) return Error("unknown-client", "no client " + r.args[0] + " (it may have left)");
  const std::string ip = host_.Resolve(*ref)->IP;
  if (!actions_.Kick(*ref, ban ? KickAnswer::Yes : KickAnswer::No)) {
    return Error("unknown-client", "no client " + r.args[0] + " (it may have left)");
  }
  return Ok("client " + r.args[0] + " disconnected" + (ban ? ", " + ip + " banned" : "") + "\n");
}

std::string ControlService::Ban(const ControlRequest& r) {
  if (r.args.size() != 1) return Error("usage", "ban ADDRESS");
  const std::string& address = r.args[0];
  if (!ValidAddress(address)) return Error("bad-address", "not an IP address: " + address);
  if (!actions_.AddByHand(address)) return Ok(address + " is already banned\n");
  host_.LogScreenOnly(address + " added to the ban list !");
  return Ok(address + " added to the ban list\n");
}

std::string ControlService::Unban(const ControlRequest& r) {
  if (r.args.size() != 1) return Error("usage", "unban ADDRESS");
  const std::string& address = r.args[0];
  if (!ValidAddress(address)) return Error("bad-address", "not an IP address: " + address);
  const std::vector<std::string>& items = host_.Bans().Items();
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i] == address) {
      actions_.Unban(static_cast<int>(i));
      return Ok(address + " removed from the ban list\n");
    }
  }
  return Error("not-listed", address + " is not in the ban list");
}

std::string ControlService::Bans(bool json) {
  std::string out = json ? "[" : "";
  const int64_t now = SteadySeconds();
  for (const std::string& address : host_.Bans().Items()) {
    const int64_t end = host_.Guard().BanEnd(address);
    const bool automatic = end >= 0;
    const std::string left = end > 0 ? std::to_string(end > now ? end - now : 0) : "";
    if (json) {
      if (out.size() > 1) out += ",";
      out += "{\"address\":" + Json(address) + ",\"automatic\":" + (automatic ? "true" : "false") +
             ",\"seconds_left\":" + (left.empty() ? "null" : left) + "}";
    } else {
      out += address + (automatic ? "  automatic" : "  operator") +
             (left.empty() ? "  until removed" : "  " + left + " s left") + "\n";
    }
  }
  return Ok(json ? out + "]\n" : out);
}

std::string ControlService::Closed(const ControlRequest& r) {
  if (r.args.size() != 1 || (r.args[0] != "on" && r.args[0] != "off")) {
    return Error("usage", "closed on|off");
  }
  host_.SetClosed(r.args[0] == "on");
  return Ok(std::string("the server is ") + (host_.Closed() ? "closed" : "open") +
            " to new clients\n");
}

std::string ControlService::StartStop(bool start) {
  if (host_.Active() != start && !host_.StartStopCommand()) {
    return Error("failed", "the operator kept the server running");
  }
  if (host_.Active() != start) {
    return Error("failed", start ? "the server did not start (see its log)" : "still on-line");
  }
  return Ok(std::string("the server is ") + (start ? "on-line" : "off-line") + "\n");
}

std::string ControlService::Stats(bool json) {
  std::string out = json ? "{" : "";
  for (const auto& [caption, value] : host_.Stats().Labels()) {
    if (json) {
      if (out.size() > 1) out += ",";
      out += Json(caption) + ":" + Json(value);
    } else {
      out += caption + " " + value + "\n";
    }
  }
  return Ok(json ? out + "}\n" : out);
}

std::string ControlService::Reload() {
  if (!host_.Reload()) return Error("failed", "the old accounts are kept (the log says why)");
  return Ok("reloaded\n");
}

void ControlService::StartSpy(ControlSocket::Id id, const ControlRequest& r) {
  const std::optional<ClientRef> ref =
      r.args.size() == 1 ? RefOfId(r.args[0]) : std::optional<ClientRef>();
  if (!ref) {
    socket_.Send(id, r.args.size() == 1
                         ? Error("unknown-client", "no client " + r.args[0] + " (it may have left)")
                         : Error("usage", "spy ID"));
    socket_.CloseAfterSend(id);
    return;
  }
  Spy& spy = spies_[id];
  spy.feed = std::make_unique<SpyFeed>();
  spy.feed->Start(*ref, host_.Resolve(*ref)->Account);
  spy.feed->SetVisible(true);
  socket_.Send(id, Ok(""));
}

void ControlService::SpyLines() {
  for (auto& [id, spy] : spies_) {
    std::string text;
    for (const SpyFeed::Line& line : spy.feed->Lines()) {
      // A multi-line reply is sent as one line of the stream per line of the reply.
      size_t start = 0;
      while (start <= line.text.size()) {
        size_t end = line.text.find('\n', start);
        if (end == std::string::npos) end = line.text.size();
        std::string part = line.text.substr(start, end - start);
        if (!part.empty() && part.back() == '\r') part.pop_back();
        if (!part.empty() || start == 0) text += (line.green ? "C " : "R ") + part + "\n";
        start = end + 1;
      }
    }
    spy.feed->Clear();
    if (!text.empty()) socket_.Send(id, text);  // a spy that does not read is dropped
  }
}

void ControlService::SpyLeft(const Usrdata& record) {
  for (auto& [id, spy] : spies_) {
    if (spy.feed->Left(&record)) {
      socket_.Send(id, "end the client left\n");
      socket_.CloseAfterSend(id);
    }
  }
}

}  // namespace orvane
