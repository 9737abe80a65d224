#include "net/NameResolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

#include <cassert>
#include <climits>
#include <cstring>
#include <system_error>
#include <thread>

#include "net/ESocketException.h"
#include "net/SocketAddress.h"
#include "platform/WinsockError.h"

namespace orvane {

NameResolver::~NameResolver() {
  // A worker's answer reaches this object through the owner's token; were the token still
  // alive, the answer could run on a destroyed object.
  assert(!loop_.Alive(owner_) && "NameResolver destroyed while its owner's token lives");
}

void NameResolver::Start(Resolver resolve, Done done) {
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

bool NameResolver::Cancel() {
  if (pending_ == 0) return false;
  pending_ = 0;
  return true;
}

NameResolver::Answer NameResolver::ByName(const std::string& hostName) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  const int rc = ::getaddrinfo(hostName.c_str(), nullptr, &hints, &result);
  Answer answer;
  answer.error = rc == 0 ? 0 : WinsockFromGaiError(rc);
  std::vector<std::string> v6;
  for (addrinfo* a = rc == 0 ? result : nullptr; a != nullptr; a = a->ai_next) {
    SocketAddress address;
    if (a->ai_addrlen > SocketAddress::Capacity()) continue;
    std::memcpy(address.MutableData(), a->ai_addr, a->ai_addrlen);
    if (address.Family() == AF_INET) {
      answer.results.push_back(address.Text());
    } else if (address.Family() == AF_INET6) {
      v6.push_back(address.Text());
    }
  }
  // IPv4 first, as callers that take the first answer have always had it.
  answer.results.insert(answer.results.end(), v6.begin(), v6.end());
  if (result != nullptr) ::freeaddrinfo(result);
  return answer;
}

NameResolver::Answer NameResolver::ByAddress(const std::string& numeric) {
  Answer answer;
  const std::optional<SocketAddress> address = SocketAddress::FromNumeric(numeric);
  if (!address) {
    answer.error = kWsaEinval;
    return answer;
  }
  char host[NI_MAXHOST] = {};
  const int rc =
      ::getnameinfo(address->Data(), address->Length(), host, sizeof host, nullptr, 0, NI_NAMEREQD);
  answer.error = rc == 0 ? 0 : WinsockFromGaiError(rc);
  if (rc == 0) answer.results.push_back(host);
  return answer;
}

std::string NameResolver::LocalMachineName() {
  // Room for the longest name Linux allows and its terminating zero.
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name) != 0)
    throw ESocketException("Winsock.GetHostName failed");
  return name;
}

std::vector<std::string> NameResolver::LocalAddresses() {
  const Answer answer = ByName(LocalMachineName());
  return answer.error == 0 ? answer.results : std::vector<std::string>{};
}

}  // namespace orvane
