#include "net/TlsContext.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cstdio>

#include "net/TlsSession.h"

namespace orvane {

namespace {

// TLS 1.2 suites: forward secrecy and authenticated encryption only.
constexpr const char* kTls12Ciphers =
    "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:"
    "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384:"
    "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305";

const unsigned char kSessionContext[] = "orvane-ftp";

// Called when the server issues a ticket: the ticket carries the identity of the connection
// that first negotiated the session. A resumed session already holds the identity it came with.
int GenerateTicket(SSL* ssl, void*) {
  SSL_SESSION* session = SSL_get0_session(ssl);
  if (session == nullptr) return 1;
  void* data = nullptr;
  size_t length = 0;
  if (SSL_SESSION_get0_ticket_appdata(session, &data, &length) == 1 && length != 0) return 1;
  const auto* owner = static_cast<const TlsSession*>(SSL_get_app_data(ssl));
  if (owner == nullptr) return 1;
  const uint64_t identity = owner->OwnIdentity();
  return SSL_SESSION_set1_ticket_appdata(session, &identity, sizeof identity);
}

}  // namespace

std::string TlsContext::TakeErrorText() {
  std::string text;
  while (const unsigned long code = ERR_get_error()) {
    char buffer[256];
    ERR_error_string_n(code, buffer, sizeof buffer);
    if (!text.empty()) text += "; ";
    text += buffer;
  }
  return text.empty() ? "unknown TLS error" : text;
}

TlsContext::~TlsContext() {
  SSL_CTX_free(ctx_);
}

void TlsContext::ApplyPolicy() {
  SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
  SSL_CTX_set_max_proto_version(ctx_, TLS1_3_VERSION);
  SSL_CTX_set_options(ctx_, SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_COMPRESSION |
                                SSL_OP_IGNORE_UNEXPECTED_EOF | SSL_OP_CIPHER_SERVER_PREFERENCE);
  // Writes may end after some records (the socket would block) and are retried from a buffer
  // that may have moved; idle connections give their buffers back.
  SSL_CTX_set_mode(ctx_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER |
                             SSL_MODE_RELEASE_BUFFERS);
  if (SSL_CTX_set_cipher_list(ctx_, kTls12Ciphers) != 1) throw TlsError(TakeErrorText());
}

std::shared_ptr<TlsContext> TlsContext::Server(const std::string& certFile,
                                               const std::string& keyFile) {
  ERR_clear_error();
  SSL_CTX* native = SSL_CTX_new(TLS_server_method());
  if (native == nullptr) throw TlsError(TakeErrorText());
  std::shared_ptr<TlsContext> context(new TlsContext(native, true));
  context->ApplyPolicy();
  if (SSL_CTX_use_certificate_chain_file(native, certFile.c_str()) != 1) {
    throw TlsError("certificate " + certFile + ": " + TakeErrorText());
  }
  if (SSL_CTX_use_PrivateKey_file(native, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
    throw TlsError("key " + keyFile + ": " + TakeErrorText());
  }
  if (SSL_CTX_check_private_key(native) != 1) {
    throw TlsError("key " + keyFile + " does not match certificate " + certFile);
  }
  SSL_CTX_set_session_id_context(native, kSessionContext, sizeof kSessionContext - 1);
  SSL_CTX_set_session_cache_mode(native, SSL_SESS_CACHE_SERVER);
  SSL_CTX_set_session_ticket_cb(native, GenerateTicket, nullptr, nullptr);

  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (X509* cert = SSL_CTX_get0_certificate(native);
      cert != nullptr && X509_digest(cert, EVP_sha256(), digest, &length) == 1) {
    for (unsigned int i = 0; i < length; ++i) {
      char pair[4];
      std::snprintf(pair, sizeof pair, i == 0 ? "%02X" : ":%02X", digest[i]);
      context->fingerprint_ += pair;
    }
  }
  return context;
}

std::shared_ptr<TlsContext> TlsContext::Client() {
  SSL_CTX* native = SSL_CTX_new(TLS_client_method());
  if (native == nullptr) throw TlsError(TakeErrorText());
  std::shared_ptr<TlsContext> context(new TlsContext(native, false));
  context->ApplyPolicy();
  SSL_CTX_set_verify(native, SSL_VERIFY_NONE, nullptr);
  SSL_CTX_set_session_cache_mode(native, SSL_SESS_CACHE_CLIENT);
  return context;
}

}  // namespace orvane
