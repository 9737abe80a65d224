#include "host/TlsCredentialsMaker.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "net/SelfSignedCertificate.h"
#include "platform/UniqueFd.h"

namespace orvane {

namespace {

bool Exists(const std::string& path) {
  return ::access(path.c_str(), F_OK) == 0;
}

std::string MachineName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  return name;
}

}  // namespace

std::shared_ptr<TlsCredentials> TlsCredentialsMaker::Prepare(
    const TlsStartSettings& settings, const std::string& programDir,
    const std::function<void(const std::string&)>& log) {
  if (!settings.Enabled) return nullptr;
  const bool generated = settings.Cert.empty() && settings.Key.empty();
  std::string cert = settings.Cert;
  std::string key = settings.Key;
  // SECURITY: two servers starting on one directory make the generated pair one after the
  // other, under an exclusive lock held until the pair is loaded, so that neither reads a key
  // of one pair beside the certificate of the other.
  UniqueFd lock;
  if (generated) {
    cert = programDir + kGeneratedCert;
    key = programDir + kGeneratedKey;
    lock.Reset(::open((programDir + kGeneratedLock).c_str(),
                      O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (lock) ::flock(lock.Get(), LOCK_EX);
    if (!Exists(cert) || !Exists(key)) {
      try {
        SelfSignedCertificate::Create(cert, key, MachineName());
        log("TLS: made a self-signed certificate " + cert + " (key " + key + ")");
      } catch (const TlsError& e) {
        log(std::string("TLS is off: cannot make a certificate: ") + e.what());
        return nullptr;
      }
    }
  } else if (cert.empty() || key.empty()) {
    log("TLS is off: both a certificate and a key file must be set");
    return nullptr;
  }
  auto credentials = std::make_shared<TlsCredentials>(cert, key);
  try {
    credentials->Load();
  } catch (const TlsError& e) {
    if (!generated) {
      log(std::string("TLS is off: ") + e.what());
      return nullptr;
    }
    // The generated pair is the server's own: one that cannot be used (a key that does not
    // match its certificate) is reported and made anew. Files the operator set are never
    // replaced.
    log("TLS: the generated certificate " + cert + " and key " + key + " cannot be used (" +
        e.what() + "); making a new pair");
    try {
      SelfSignedCertificate::Create(cert, key, MachineName());
      credentials = std::make_shared<TlsCredentials>(cert, key);
      credentials->Load();
      log("TLS: made a self-signed certificate " + cert + " (key " + key + ")");
    } catch (const TlsError& again) {
      log(std::string("TLS is off: ") + again.what());
      return nullptr;
    }
  }
  log("TLS certificate " + cert + ", SHA-256 fingerprint " + credentials->Current()->Fingerprint());
  credentials->OnReload = log;
  return credentials;
}

}  // namespace orvane
