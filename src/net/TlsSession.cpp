#include "net/TlsSession.h"

#include <openssl/err.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>

#include <cerrno>
#include <cstring>

namespace orvane {

TlsSession::TlsSession(std::shared_ptr<TlsContext> context, int fd, TlsRole role)
    : context_(std::move(context)), ssl_(SSL_new(context_->Native())), ownIdentity_(0) {
  if (ssl_ == nullptr) throw TlsError(TlsContext::TakeErrorText());
  // SSL_set_fd makes a socket BIO that leaves the descriptor open: the socket owns it.
  if (SSL_set_fd(ssl_, fd) != 1) {
    SSL_free(ssl_);
    throw TlsError(TlsContext::TakeErrorText());
  }
  SSL_set_app_data(ssl_, this);
  while (ownIdentity_ == 0) {
    if (RAND_bytes(reinterpret_cast<unsigned char*>(&ownIdentity_), sizeof ownIdentity_) != 1) {
      SSL_free(ssl_);
      throw TlsError(TlsContext::TakeErrorText());
    }
  }
  if (role == TlsRole::Server) {
    SSL_set_accept_state(ssl_);
  } else {
    SSL_set_connect_state(ssl_);
  }
}

TlsSession::~TlsSession() {
  SSL_free(ssl_);
}

void TlsSession::IssueNoTickets() {
  SSL_set_num_tickets(ssl_, 0);
}

TlsSession::Status TlsSession::Classify(int result, const char* operation) {
  const int code = SSL_get_error(ssl_, result);
  switch (code) {
    case SSL_ERROR_WANT_READ:
      return Status::WantRead;
    case SSL_ERROR_WANT_WRITE:
      return Status::WantWrite;
    case SSL_ERROR_ZERO_RETURN:
      ERR_clear_error();
      return Status::Closed;
    case SSL_ERROR_SYSCALL:
      if (ERR_peek_error() == 0) {
        // No OpenSSL reason: the socket itself failed, or ended early.
        failure_ = std::string(operation) + ": " +
                   (errno != 0 ? std::strerror(errno) : "connection ended");
        return errno == 0 && established_ ? Status::Closed : Status::Failed;
      }
      [[fallthrough]];
    default:
      failure_ = std::string(operation) + ": " + TlsContext::TakeErrorText();
      return Status::Failed;
  }
}

TlsSession::Status TlsSession::Handshake() {
  if (established_) return Status::Ok;
  ERR_clear_error();
  errno = 0;
  const int result = SSL_do_handshake(ssl_);
  if (result == 1) {
    established_ = true;
    // A session negotiated here (TLS 1.2 session-id resumption finds this very object in the
    // server's cache) carries this connection's identity, as the tickets do.
    if (!SSL_session_reused(ssl_) && SSL_is_server(ssl_)) {
      if (SSL_SESSION* session = SSL_get0_session(ssl_)) {
        void* data = nullptr;
        size_t length = 0;
        if (SSL_SESSION_get0_ticket_appdata(session, &data, &length) != 1 || length == 0) {
          SSL_SESSION_set1_ticket_appdata(session, &ownIdentity_, sizeof ownIdentity_);
        }
      }
    }
    return Status::Ok;
  }
  const Status status = Classify(result, "handshake");
  // A peer that leaves during the handshake has failed it, whatever the reason.
  return status == Status::Closed ? Status::Failed : status;
}

int TlsSession::Read(void* buffer, int size, Status& status) {
  ERR_clear_error();
  errno = 0;
  const int result = SSL_read(ssl_, buffer, size);
  if (result > 0) {
    status = Status::Ok;
    return result;
  }
  status = Classify(result, "read");
  return 0;
}

int TlsSession::Write(const void* data, int size, Status& status) {
  ERR_clear_error();
  errno = 0;
  const int result = SSL_write(ssl_, data, size);
  if (result > 0) {
    status = Status::Ok;
    return result;
  }
  status = Classify(result, "write");
  if (status == Status::Closed) status = Status::Failed;  // nothing more can be sent
  return 0;
}

int TlsSession::Pending() const {
  return SSL_pending(ssl_);
}

void TlsSession::Shutdown() {
  if (!established_ || shutdownSent_) return;
  shutdownSent_ = true;
  ERR_clear_error();
  SSL_shutdown(ssl_);  // close_notify out; the peer's answer is not waited for
  ERR_clear_error();
}

bool TlsSession::Resumed() const {
  return SSL_session_reused(ssl_) == 1;
}

uint64_t TlsSession::Identity() const {
  if (Resumed()) {
    void* data = nullptr;
    size_t length = 0;
    SSL_SESSION* session = SSL_get0_session(ssl_);
    if (session != nullptr && SSL_SESSION_get0_ticket_appdata(session, &data, &length) == 1 &&
        length == sizeof(uint64_t)) {
      uint64_t identity = 0;
      std::memcpy(&identity, data, sizeof identity);
      return identity;
    }
    return 0;  // resumed from a session that carries no identity of ours
  }
  return ownIdentity_;
}

void TlsSession::OfferSession(SSL_SESSION* session) {
  if (session != nullptr) SSL_set_session(ssl_, session);
}

SSL_SESSION* TlsSession::Session() const {
  return SSL_get0_session(ssl_);
}

std::string TlsSession::Description() const {
  if (!established_) return "";
  const char* cipher = SSL_get_cipher_name(ssl_);
  return std::string(SSL_get_version(ssl_)) + " " + (cipher != nullptr ? cipher : "");
}

}  // namespace orvane
