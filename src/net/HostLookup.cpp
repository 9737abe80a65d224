#include "net/HostLookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

#include <cassert>
#include <climits>
#include <system_error>
#include <thread>

#include "net/ESocketException.h"
#include "net/SocketAddress.h"
#include "platform/WinsockError.h"

namespace orvane {

HostLookup::~HostLookup() {
  // A worker's answer reaches this object through the owner's token; were the token still
  // alive, the answer could run on a destroyed object.
  assert(!loop_.Alive(owner_) && "HostLookup destroyed while its owner's token lives");
}

void HostLookup::Start(Resolver resolve, Done done) {
  const uint64_t id = ++sequence_;
  pending_ = id;
  EventLoop::Poster post = loop_.GetPoster();
  try {
    std::thread([this, post, token = owner_, id, resolve = std::move(resolve),
                 done = std::move(done)]() {
      Answer answer = resolve();
      post(token, [this, id, done, answer = std::move(answer)]() {
        if (id != pending_) return;
        pending_ = 0;
        done(answer);
      });
    }).detach();
  } catch (const std::system_error&) {
    pending_ = 0;
    throw;
  }
}

bool HostLookup::Cancel() {
  if (pending_ == 0) return false;
  pending_ = 0;
  return true;
}

HostLookup::Answer HostLookup::ByName(const std::string& hostName) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  const int rc = ::getaddrinfo(hostName.c_str(), nullptr, &hints, &result);
  Answer answer;
  answer.error = rc == 0 ? 0 : WinsockFromGaiError(rc);
  for (addrinfo* a = rc == 0 ? result : nullptr; a != nullptr; a = a->ai_next) {
    answer.results.push_back(DottedAddress(reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr));
  }
  if (result != nullptr) ::freeaddrinfo(result);
  return answer;
}

HostLookup::Answer HostLookup::ByAddress(const std::string& dotted) {
  Answer answer;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  if (::inet_pton(AF_INET, dotted.c_str(), &addr.sin_addr) != 1) {
    answer.error = kWsaEinval;
    return answer;
  }
  char host[NI_MAXHOST] = {};
  const int rc = ::getnameinfo(reinterpret_cast<const sockaddr*>(&addr), sizeof addr, host,
                               sizeof host, nullptr, 0, NI_NAMEREQD);
  answer.error = rc == 0 ? 0 : WinsockFromGaiError(rc);
  if (rc == 0) answer.results.push_back(host);
  return answer;
}

std::string HostLookup::LocalHostName() {
  // Room for the longest name Linux allows and its terminating zero.
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name) != 0)
    throw ESocketException("Winsock.GetHostName failed");
  return name;
}

std::vector<std::string> HostLookup::LocalAddresses() {
  const Answer answer = ByName(LocalHostName());
  return answer.error == 0 ? answer.results : std::vector<std::string>{};
}

}  // namespace orvane
