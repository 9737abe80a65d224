#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "net/TlsContext.h"

typedef struct ssl_st SSL;
typedef struct ssl_session_st SSL_SESSION;

namespace orvane {

enum class TlsRole { Server, Client };

// One TLS connection over a non-blocking socket descriptor it does not own. Every call returns
// at once: what the connection needs before it can go on is said by the status (WantRead,
// WantWrite), and the caller waits for that readiness and calls again. TlsTransport drives it
// from the event loop; nothing here blocks.
class TlsSession {
 public:
  enum class Status { Ok, WantRead, WantWrite, Closed, Failed };

  // Throws TlsError when OpenSSL cannot make the connection object.
  TlsSession(std::shared_ptr<TlsContext> context, int fd, TlsRole role);
  ~TlsSession();
  TlsSession(const TlsSession&) = delete;
  TlsSession& operator=(const TlsSession&) = delete;

  // Takes the handshake one step further: Ok once it is complete.
  Status Handshake();
  bool Established() const { return established_; }

  // Reads decrypted bytes: > 0, or 0 with the status (Closed: the peer ended the stream, with or
  // without close_notify).
  int Read(void* buffer, int size, Status& status);
  // Writes: the bytes taken (> 0), or 0 with the status. A write that waited must be repeated
  // with the same bytes.
  int Write(const void* data, int size, Status& status);
  // Decrypted bytes held inside the connection, which no readiness of the socket announces.
  int Pending() const;
  // Sends close_notify once, without waiting for the peer's.
  void Shutdown();

  // For a server, before the handshake: no session tickets after it. TLS 1.3 sends them once
  // the client's Finished has arrived, when a client that only uploads may never read them; its
  // close then finds them unread and resets the connection, and the system discards what the
  // server had not read yet of the upload. A data connection needs none: its client resumes
  // the control connection's session.
  void IssueNoTickets();
  // Whether the handshake resumed an earlier session.
  bool Resumed() const;
  // The identity this connection gives the tickets it issues: for a resumed session the one the
  // session came with, otherwise one drawn for this connection.
  uint64_t Identity() const;
  uint64_t OwnIdentity() const { return ownIdentity_; }
  // For a client: the session to offer for resumption (from another connection's Session()).
  void OfferSession(SSL_SESSION* session);
  SSL_SESSION* Session() const;

  const std::shared_ptr<TlsContext>& Context() const { return context_; }
  // "TLSv1.3 TLS_AES_256_GCM_SHA384" once established.
  std::string Description() const;
  // Why the last call failed.
  const std::string& Failure() const { return failure_; }

 private:
  Status Classify(int result, const char* operation);

  std::shared_ptr<TlsContext> context_;
  SSL* ssl_;
  uint64_t ownIdentity_;
  bool established_ = false;
  bool shutdownSent_ = false;
  std::string failure_;
};

}  // namespace orvane
