#pragma once

#include <string>

namespace orvane {

// Makes a certificate for this machine that signs itself, so that TLS works before the owner
// installs one: an ECDSA P-256 key and an X.509 v3 certificate valid for ten years, for the
// host name and "localhost" (subject alternative names, with 127.0.0.1 and ::1).
class SelfSignedCertificate {
 public:
  // Writes the certificate to certFile (mode 0644) and the key to keyFile (mode 0600, readable
  // by its owner only; never created with wider rights, not even for a moment). Files that exist
  // are replaced. Throws TlsError when a file cannot be written or OpenSSL fails.
  static void Create(const std::string& certFile, const std::string& keyFile,
                     const std::string& hostName);
};

}  // namespace orvane
