#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "net/SocketTransport.h"
#include "net/TlsSession.h"

namespace orvane {

// TLS under a socket: the TlsSession, its handshake run from readiness, and the record layer's
// reads and writes. Bytes the socket queued before the transport began leave in clear first
// (the reply that accepted AUTH TLS); afterwards queued chunks are gathered, and a queued file
// is read in blocks, into a staging buffer, so that records are full-sized (no sendfile).
// Decrypted bytes held inside the session are announced by no readiness: the transport posts
// read reports for them.
class TlsTransport final : public SocketTransport {
 public:
  struct Options {
    std::shared_ptr<TlsContext> context;
    TlsRole role;
    // When not 0: a session identity (TlsSession::Identity) the peer must resume.
    uint64_t requiredIdentity = 0;
    // A server with this off sends no session tickets (TlsSession::IssueNoTickets).
    bool issueTickets = true;
    // For a client: the session to offer for resumption (another connection's), or null.
    const TlsSession* resume = nullptr;
  };

  TlsTransport(Link& link, const Options& options);
  ~TlsTransport() override;

  SendResult Send(Outgoing& out) override;
  int64_t Staged() const override { return static_cast<int64_t>(outSize_ - outSent_); }
  // Records are made as the bytes come, and a close has its own order.
  bool GathersSends() const override { return false; }
  void DrainQuietly(SendQueue& queue) override;
  void Shutdown() override;
  void Abandon() override;

  int Read(void* buffer, int size, int& error) override;
  int Waiting() override;
  void BeginDelivery() override { readBlocked_ = false; }
  void AnnounceHeld() override;

  bool Handshaking() const override { return handshaking_; }
  uint32_t HandshakeInterest() const override;
  uint32_t ExtraInterest() const override;
  uint16_t Ready(uint16_t eventBits) override;
  // Throws TlsError when OpenSSL cannot make the connection object.
  void Begin(int64_t clearBytes) override;
  HandshakeStep Handshake(std::string& failure) override;
  void Resumed() override;

  bool Secure() const override { return session_ != nullptr || !begun_; }
  const TlsSession* Session() const override { return session_.get(); }

 private:
  struct SessionFree {
    void operator()(SSL_SESSION* session) const;
  };

  SendResult SendRecords(Outgoing& out);
  SendResult WriteRecord(const char* data, int length, int& sent);
  bool FillFromFile(Outgoing& out, int& error);
  void ReserveOut(size_t size);

  Options options_;
  std::unique_ptr<SSL_SESSION, SessionFree> offered_;
  std::unique_ptr<TlsSession> session_;
  bool begun_ = false;
  bool handshaking_ = false;
  TlsSession::Status handshakeWants_ = TlsSession::Status::WantRead;
  int64_t clearLeft_ = 0;        // queued bytes that still leave in clear
  bool readBlocked_ = false;     // the last read found no complete record
  bool readWantsWrite_ = false;  // a read waits for write readiness
  bool writeWantsRead_ = false;  // a write waits for read readiness
  bool peerClosed_ = false;
  // Bytes on their way into records, written from outSent_ on. Allocated while there is
  // something to send, so that an idle session holds none.
  std::unique_ptr<char[]> out_;
  size_t outCapacity_ = 0;
  size_t outSize_ = 0;
  size_t outSent_ = 0;
};

}  // namespace orvane
