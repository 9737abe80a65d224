#pragma once

#include <memory>
#include <stdexcept>
#include <string>

typedef struct ssl_ctx_st SSL_CTX;

namespace orvane {

class TlsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One OpenSSL context: the certificate and key of the server side (or none, for a client), and
// the policy every connection made from it follows:
//   - TLS 1.2 and 1.3 only; for TLS 1.2 only forward-secret AEAD suites (ECDHE with AES-GCM or
//     ChaCha20-Poly1305), the server's order of preference first; TLS 1.3 keeps OpenSSL's suites;
//   - no renegotiation, no compression;
//   - a peer that ends the connection without close_notify is taken as a normal end;
//   - server side: sessions resume from tickets, and every ticket carries the identity of the
//     connection that first negotiated it (TlsSession::Identity), so that a data connection can
//     be checked against its control connection.
// Contexts are shared (std::shared_ptr): every TlsSession holds the one it was made from, so a
// context replaced on disk stays alive as long as connections still use it.
class TlsContext {
 public:
  // Loads the PEM certificate chain and private key; throws TlsError with OpenSSL's reason when
  // either cannot be read or they do not belong together.
  static std::shared_ptr<TlsContext> Server(const std::string& certFile,
                                            const std::string& keyFile);
  // A client context that does not verify the server (tests and tools only).
  static std::shared_ptr<TlsContext> Client();

  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  SSL_CTX* Native() const { return ctx_; }
  bool IsServer() const { return server_; }
  // SHA-256 of the certificate in DER form, as colon-separated hex pairs; empty for a client.
  const std::string& Fingerprint() const { return fingerprint_; }

  // The last error OpenSSL queued for this thread, as text, and the queue emptied.
  static std::string TakeErrorText();

 private:
  TlsContext(SSL_CTX* ctx, bool server) : ctx_(ctx), server_(server) {}
  void ApplyPolicy();

  SSL_CTX* ctx_;
  bool server_;
  std::string fingerprint_;
};

}  // namespace orvane
