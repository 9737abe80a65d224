#include "net/SocketTransport.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <mutex>

#include "platform/WinsockError.h"

namespace orvane {

void SocketTransport::IgnoreBrokenPipe() {
  static std::once_flag once;
  std::call_once(once, []() {
    struct sigaction current {};
    if (::sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
      ::signal(SIGPIPE, SIG_IGN);
    }
  });
}

SocketTransport::SendResult SocketTransport::WriteChunks(SendQueue& queue, int64_t& limit) {
  while (limit > 0) {
    int32_t length = 0;
    const char* data = queue.Front(length);
    if (data == nullptr) break;
    length = static_cast<int32_t>(std::min<int64_t>(length, limit));
    const int sent = link_.WriteRaw(data, length);
    if (sent == 0) return {Progress::Stalled};
    if (sent < 0) {
      const int err = WinsockFromErrno(errno);
      if (err == kWsaEconnreset || err == kWsaEnotsock || err == kWsaEnotconn || err == kWsaEintr) {
        return {Progress::Reset, err};
      }
      if (err == kWsaEwouldblock) return {Progress::WantWrite};
      return {Progress::Failed, err};
    }
    queue.Consume(sent);
    limit -= sent;
    if (sent < length && limit > 0) return {Progress::WantWrite};
  }
  return {Progress::AllSent};
}

}  // namespace orvane
