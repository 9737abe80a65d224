#pragma once

#include <functional>
#include <memory>
#include <string>

#include "host/TlsStartSettings.h"
#include "net/TlsCredentials.h"

namespace orvane {

// Turns the TLS settings into the engine's credentials at start-up. Without a certificate
// configured, the server uses "FTPsrv-cert.pem" and "FTPsrv-key.pem" beside FTPsrv.ini and makes
// them (self-signed, for this machine, the key readable by its owner only) when they are
// missing, so that TLS works out of the box. Every step is told through `log`, the certificate's
// fingerprint among them, so that a client's user can check what their client shows.
class TlsCredentialsMaker {
 public:
  static constexpr const char* kGeneratedCert = "FTPsrv-cert.pem";
  static constexpr const char* kGeneratedKey = "FTPsrv-key.pem";
  // Held (flock) while the generated pair is looked at, made and loaded.
  static constexpr const char* kGeneratedLock = "FTPsrv-cert.lock";

  // The credentials to hand to the engine, or null when TLS is off or cannot be used (then the
  // reason has been logged). programDir ends with "/".
  static std::shared_ptr<TlsCredentials> Prepare(
      const TlsStartSettings& settings, const std::string& programDir,
      const std::function<void(const std::string&)>& log);
};

}  // namespace orvane
