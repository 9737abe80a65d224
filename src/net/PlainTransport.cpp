#include "net/PlainTransport.h"

#include <sys/sendfile.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <limits>

#include "platform/WinsockError.h"

namespace orvane {

namespace {

// One sendfile call offers at most this much; SendFileBytes goes on while the system takes it.
constexpr int64_t kMaxSendFileCall = int64_t{1} << 30;

}  // namespace

SocketTransport::SendResult PlainTransport::Send(Outgoing& out) {
  int64_t unlimited = std::numeric_limits<int64_t>::max();
  const SendResult chunks = WriteChunks(out.queue, unlimited);
  if (chunks.progress != Progress::AllSent) return chunks;
  if (out.fileLeft > 0) return SendFileBytes(out);
  return {Progress::AllSent};
}

SocketTransport::SendResult PlainTransport::SendFileBytes(Outgoing& out) {
  IgnoreBrokenPipe();
  while (out.fileLeft > 0) {
    const ssize_t sent = ::sendfile(link_.Fd(), out.file->Get(), nullptr,
                                    static_cast<size_t>(std::min(out.fileLeft, kMaxSendFileCall)));
    if (sent > 0) {
      out.fileLeft -= sent;
      continue;
    }
    if (sent == 0) {
      // The file ended early: what is missing is recorded for the owner and never sent.
      out.fileShortfall = out.fileLeft;
      break;
    }
    const int err = WinsockFromErrno(errno);
    if (err == kWsaEintr) continue;
    if (err == kWsaEwouldblock) return {Progress::WantWrite};
    out.DropFile();
    if (err == kWsaEconnreset || err == kWsaEnotsock || err == kWsaEnotconn) {
      return {Progress::Reset, err};
    }
    return {Progress::Failed, err};
  }
  out.DropFile();
  return {Progress::AllSent};
}

void PlainTransport::DrainQuietly(SendQueue& queue) {
  for (;;) {
    int32_t length = 0;
    const char* data = queue.Front(length);
    if (data == nullptr) return;
    const int sent = link_.WriteRaw(data, length);
    if (sent <= 0) return;
    queue.Consume(sent);
    if (sent < length) return;
  }
}

int PlainTransport::Read(void* buffer, int size, int& error) {
  const ssize_t n = ::recv(link_.Fd(), buffer, static_cast<size_t>(size > 0 ? size : 0), 0);
  if (n < 0) {
    error = WinsockFromErrno(errno);
    // Nothing waits (or the connection failed): the receive loop need not ask.
    drained_ = true;
    return -1;
  }
  drained_ = n < size;
  return static_cast<int>(n);
}

}  // namespace orvane
