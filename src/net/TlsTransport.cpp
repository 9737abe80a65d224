#include "net/TlsTransport.h"

#include <openssl/ssl.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "net/SocketTypes.h"
#include "platform/WinsockError.h"

namespace orvane {

namespace {

// The block a file is read in when its bytes must be encrypted on their way out.
constexpr int64_t kFileBlock = 256 * 1024;
// Queued chunks are gathered up to this much before they are written as records.
constexpr size_t kGather = 64 * 1024;

}  // namespace

void TlsTransport::SessionFree::operator()(SSL_SESSION* session) const {
  SSL_SESSION_free(session);
}

TlsTransport::TlsTransport(Link& link, const Options& options)
    : SocketTransport(link), options_(options) {
  SSL_SESSION* session = options.resume != nullptr ? options.resume->Session() : nullptr;
  if (session != nullptr) SSL_SESSION_up_ref(session);
  offered_.reset(session);
  options_.resume = nullptr;  // the reference above is what is kept
}

// The session goes before the descriptor it reads and writes (the socket closes that after).
TlsTransport::~TlsTransport() = default;

void TlsTransport::Begin(int64_t clearBytes) {
  if (begun_) return;
  IgnoreBrokenPipe();
  session_ = std::make_unique<TlsSession>(options_.context, link_.Fd(), options_.role);
  begun_ = true;
  if (!options_.issueTickets) session_->IssueNoTickets();
  if (options_.role == TlsRole::Client && offered_) {
    session_->OfferSession(offered_.get());
    offered_.reset();
  }
  link_.SetFailure(std::string());
  handshaking_ = true;
  clearLeft_ = clearBytes;
  handshakeWants_ = options_.role == TlsRole::Client ? TlsSession::Status::WantWrite
                                                     : TlsSession::Status::WantRead;
  link_.InterestChanged();
  // The first step runs from the loop: the caller (a command handler, usually) finishes first.
  link_.Post(FD_WRITE, 0);
}

TlsTransport::HandshakeStep TlsTransport::Handshake(std::string& failure) {
  if (!handshaking_ || session_ == nullptr) return HandshakeStep::Waiting;
  if (clearLeft_ > 0) return HandshakeStep::Waiting;  // the socket's Send arms write readiness
  const TlsSession::Status status = session_->Handshake();
  if (status == TlsSession::Status::WantRead || status == TlsSession::Status::WantWrite) {
    handshakeWants_ = status;
    link_.InterestChanged();
    return HandshakeStep::Waiting;
  }
  if (status != TlsSession::Status::Ok) {
    failure = session_->Failure();
    return HandshakeStep::Failed;
  }
  // SECURITY: a data connection that must belong to its control connection proves it by
  // resuming that connection's TLS session; a fresh handshake from anyone else is refused.
  if (options_.requiredIdentity != 0 &&
      (!session_->Resumed() || session_->Identity() != options_.requiredIdentity)) {
    failure = "the TLS session of the control connection was not resumed";
    return HandshakeStep::Failed;
  }
  handshaking_ = false;
  return HandshakeStep::Done;
}

void TlsTransport::Abandon() {
  begun_ = true;  // not secure any more, and never begun again
  handshaking_ = false;
  session_.reset();  // no close_notify for a connection that never was one
}

void TlsTransport::Shutdown() {
  if (session_ != nullptr && !handshaking_) session_->Shutdown();  // close_notify
}

void TlsTransport::Resumed() {
  // A handshake completed while paused has posted its reports into the pause, where they were
  // dropped; what the session holds decrypted is announced by no readiness.
  if (session_ == nullptr || handshaking_) return;
  link_.Post(FD_WRITE, 0);
  if (Waiting() > 0) link_.Post(FD_READ, 0);
}

uint32_t TlsTransport::HandshakeInterest() const {
  return handshakeWants_ == TlsSession::Status::WantWrite ? EPOLLOUT : EPOLLIN;
}

uint32_t TlsTransport::ExtraInterest() const {
  return (writeWantsRead_ ? EPOLLIN : 0u) | (readWantsWrite_ ? EPOLLOUT : 0u);
}

uint16_t TlsTransport::Ready(uint16_t eventBits) {
  if (session_ == nullptr) return eventBits;
  // A record-layer read that waited for write readiness, or a write that waited for read
  // readiness, goes on with the report it waited for.
  if ((eventBits & FD_READ) && writeWantsRead_) {
    writeWantsRead_ = false;
    eventBits |= FD_WRITE;
    link_.InterestChanged();
  }
  if ((eventBits & FD_WRITE) && readWantsWrite_) {
    readWantsWrite_ = false;
    eventBits |= FD_READ;
    link_.InterestChanged();
  }
  return eventBits;
}

// ---------------------------------------------------------------------------------------------
// Sending

SocketTransport::SendResult TlsTransport::Send(Outgoing& out) {
  if (!begun_) {
    // Before a Connect has completed: nothing is secured yet.
    int64_t unlimited = out.queue.Pending();
    return WriteChunks(out.queue, unlimited);
  }
  if (clearLeft_ > 0) {
    const SendResult clear = WriteChunks(out.queue, clearLeft_);
    if (clear.progress != Progress::AllSent) return clear;
    // The clear bytes have left; the handshake may go on (the peer answers them).
    if (handshaking_) return {Progress::Stalled};
  }
  if (handshaking_) return {Progress::Stalled};  // sent once the handshake is complete
  return SendRecords(out);
}

void TlsTransport::DrainQuietly(SendQueue& queue) {
  // Only what leaves in clear: records are not written at a close.
  int64_t all = queue.Pending();
  int64_t& limit = begun_ ? clearLeft_ : all;
  for (;;) {
    int32_t length = 0;
    const char* data = queue.Front(length);
    if (data == nullptr || limit == 0) return;
    length = static_cast<int32_t>(std::min<int64_t>(length, limit));
    const int sent = link_.WriteRaw(data, length);
    if (sent <= 0) return;
    queue.Consume(sent);
    limit -= sent;
    if (sent < length) return;
  }
}

SocketTransport::SendResult TlsTransport::WriteRecord(const char* data, int length, int& sent) {
  TlsSession::Status status;
  sent = session_->Write(data, length, status);
  if (sent > 0) return {Progress::AllSent};
  switch (status) {
    case TlsSession::Status::WantWrite:
      return {Progress::WantWrite};
    case TlsSession::Status::WantRead:
      writeWantsRead_ = true;
      link_.InterestChanged();
      return {Progress::Stalled};
    default:
      link_.SetFailure(session_->Failure());
      return {Progress::Reset, kWsaEconnreset};
  }
}

// Sends what waits: the staging buffer first, then queued chunks gathered into it, then the
// file's next block read into it. Records are then as large as TLS allows, rather than one per
// queue chunk.
SocketTransport::SendResult TlsTransport::SendRecords(Outgoing& out) {
  for (;;) {
    if (outSent_ == outSize_) {
      outSize_ = 0;
      outSent_ = 0;
      int32_t length = 0;
      const char* data = nullptr;
      while (outSize_ < kGather && (data = out.queue.Front(length)) != nullptr) {
        ReserveOut(kGather);
        const size_t take = std::min<size_t>(static_cast<size_t>(length), kGather - outSize_);
        std::memcpy(out_.get() + outSize_, data, take);
        outSize_ += take;
        out.queue.Consume(static_cast<int32_t>(take));
      }
      if (outSize_ == 0 && out.fileLeft > 0) {
        int error = 0;
        if (!FillFromFile(out, error)) return {Progress::Failed, error};
      }
      if (outSize_ == 0) {
        out_.reset();  // nothing waits: an idle connection keeps no buffer
        outCapacity_ = 0;
        return {Progress::AllSent};
      }
    }
    int sent = 0;
    const SendResult result =
        WriteRecord(out_.get() + outSent_, static_cast<int>(outSize_ - outSent_), sent);
    if (sent <= 0) return result;
    outSent_ += static_cast<size_t>(sent);
  }
}

void TlsTransport::ReserveOut(size_t size) {
  if (outCapacity_ >= size) return;
  std::unique_ptr<char[]> larger = std::make_unique_for_overwrite<char[]>(size);
  if (outSize_ > 0) std::memcpy(larger.get(), out_.get(), outSize_);
  out_ = std::move(larger);
  outCapacity_ = size;
}

// Reads the file's next block into the staging buffer; false (error: why) when that failed.
bool TlsTransport::FillFromFile(Outgoing& out, int& error) {
  const size_t wanted = static_cast<size_t>(std::min(out.fileLeft, kFileBlock));
  ReserveOut(static_cast<size_t>(kFileBlock));
  ssize_t n;
  do {
    n = ::read(out.file->Get(), out_.get(), wanted);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    error = WinsockFromErrno(errno);
    out.DropFile();
    return false;
  }
  outSize_ = static_cast<size_t>(n);
  out.fileLeft -= n;
  if (n == 0) out.fileShortfall = out.fileLeft;  // the file ended early: the rest is never sent
  if (n == 0 || out.fileLeft == 0) out.DropFile();
  return true;
}

// ---------------------------------------------------------------------------------------------
// Receiving

int TlsTransport::Read(void* buffer, int size, int& error) {
  if (session_ == nullptr || handshaking_ || peerClosed_ || size <= 0) {
    if (peerClosed_) return 0;
    error = kWsaEwouldblock;
    return -1;
  }
  TlsSession::Status status;
  const int n = session_->Read(buffer, size, status);
  if (n > 0) return n;
  switch (status) {
    case TlsSession::Status::WantRead:
      readBlocked_ = true;
      error = kWsaEwouldblock;
      return -1;
    case TlsSession::Status::WantWrite:
      readWantsWrite_ = true;
      link_.InterestChanged();
      error = kWsaEwouldblock;
      return -1;
    case TlsSession::Status::Closed:
      // close_notify (or the end of the stream): reported as the system reports a close, also
      // when the peer keeps its side of the connection open.
      peerClosed_ = true;
      link_.Post(FD_CLOSE, 0);
      return 0;
    default:
      link_.SetFailure(session_->Failure());
      peerClosed_ = true;
      link_.Post(FD_CLOSE, kWsaEconnaborted);
      error = kWsaEconnaborted;
      return -1;
  }
}

int TlsTransport::Waiting() {
  if (session_ != nullptr) {
    if (peerClosed_ || handshaking_) return 0;
    const int pending = session_->Pending();
    if (pending > 0) return pending;
    if (readBlocked_) return 0;
  }
  return link_.Unread();
}

void TlsTransport::AnnounceHeld() {
  if (session_ != nullptr && session_->Pending() > 0) link_.Post(FD_READ, 0);
}

}  // namespace orvane
