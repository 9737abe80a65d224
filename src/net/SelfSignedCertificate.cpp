#include "net/SelfSignedCertificate.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "net/TlsContext.h"

namespace orvane {

namespace {

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertFree {
  void operator()(X509* cert) const { X509_free(cert); }
};
struct FileClose {
  void operator()(FILE* file) const { std::fclose(file); }
};

void Check(int ok, const char* what) {
  if (ok != 1) throw TlsError(std::string(what) + ": " + TlsContext::TakeErrorText());
}

void AddExtension(X509* cert, int nid, const std::string& value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
  if (ext == nullptr) throw TlsError("certificate extension: " + TlsContext::TakeErrorText());
  const int ok = X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
  Check(ok, "certificate extension");
}

// Opens path for writing with the given mode, replacing a file there: the new file is made
// under a temporary name with that mode from its creation and renamed over the old one.
std::unique_ptr<FILE, FileClose> OpenNew(const std::string& path, const std::string& temporary,
                                         mode_t mode) {
  ::unlink(temporary.c_str());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) throw TlsError("cannot write " + path + ": " + std::strerror(errno));
  ::fchmod(fd, mode);  // the umask does not widen it, but it may narrow a certificate's
  FILE* file = ::fdopen(fd, "w");
  if (file == nullptr) {
    ::close(fd);
    throw TlsError("cannot write " + path + ": " + std::strerror(errno));
  }
  return std::unique_ptr<FILE, FileClose>(file);
}

void Finish(std::unique_ptr<FILE, FileClose> file, const std::string& temporary,
            const std::string& path) {
  const bool flushed = std::fflush(file.get()) == 0 && ::fsync(::fileno(file.get())) == 0;
  file.reset();
  if (!flushed || ::rename(temporary.c_str(), path.c_str()) != 0) {
    const std::string reason = std::strerror(errno);
    ::unlink(temporary.c_str());
    throw TlsError("cannot write " + path + ": " + reason);
  }
}

}  // namespace

void SelfSignedCertificate::Create(const std::string& certFile, const std::string& keyFile,
                                   const std::string& hostName) {
  std::unique_ptr<EVP_PKEY, KeyFree> key(EVP_EC_gen("P-256"));
  if (!key) throw TlsError("key generation: " + TlsContext::TakeErrorText());
  std::unique_ptr<X509, CertFree> cert(X509_new());
  if (!cert) throw TlsError("certificate: " + TlsContext::TakeErrorText());

  Check(X509_set_version(cert.get(), 2), "certificate version");
  unsigned char serial[16];
  Check(RAND_bytes(serial, sizeof serial), "certificate serial");
  serial[0] &= 0x7f;  // a positive number
  BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
  ASN1_INTEGER* asn1 = number != nullptr ? BN_to_ASN1_INTEGER(number, nullptr) : nullptr;
  BN_free(number);
  if (asn1 == nullptr) throw TlsError("certificate serial: " + TlsContext::TakeErrorText());
  const int serialSet = X509_set_serialNumber(cert.get(), asn1);
  ASN1_INTEGER_free(asn1);
  Check(serialSet, "certificate serial");
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -60 * 60);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 10L * 365 * 24 * 60 * 60);
  Check(X509_set_pubkey(cert.get(), key.get()), "certificate key");

  const std::string name = hostName.empty() ? "localhost" : hostName.substr(0, 64);
  X509_NAME* subject = X509_get_subject_name(cert.get());
  Check(X509_NAME_add_entry_by_txt(subject, "O", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("Orvane FTP Server"), -1,
                                   -1, 0),
        "certificate subject");
  Check(X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>(name.c_str()), -1, -1, 0),
        "certificate subject");
  Check(X509_set_issuer_name(cert.get(), subject), "certificate issuer");

  std::string alternatives = "DNS:localhost,IP:127.0.0.1,IP:::1";
  bool plainName = name != "localhost";
  for (char c : name) {
    const bool allowed = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.';
    plainName = plainName && allowed;
  }
  if (plainName) alternatives = "DNS:" + name + "," + alternatives;
  AddExtension(cert.get(), NID_basic_constraints, "critical,CA:FALSE");
  AddExtension(cert.get(), NID_key_usage, "critical,digitalSignature");
  AddExtension(cert.get(), NID_ext_key_usage, "serverAuth");
  AddExtension(cert.get(), NID_subject_key_identifier, "hash");
  AddExtension(cert.get(), NID_subject_alt_name, alternatives);
  if (X509_sign(cert.get(), key.get(), EVP_sha256()) <= 0) {
    throw TlsError("certificate signature: " + TlsContext::TakeErrorText());
  }

  const std::string keyTemporary = keyFile + ".new";
  auto keyOut = OpenNew(keyFile, keyTemporary, 0600);
  if (PEM_write_PrivateKey(keyOut.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
    keyOut.reset();
    ::unlink(keyTemporary.c_str());
    throw TlsError("cannot write " + keyFile + ": " + TlsContext::TakeErrorText());
  }
  Finish(std::move(keyOut), keyTemporary, keyFile);

  const std::string certTemporary = certFile + ".new";
  auto certOut = OpenNew(certFile, certTemporary, 0644);
  if (PEM_write_X509(certOut.get(), cert.get()) != 1) {
    certOut.reset();
    ::unlink(certTemporary.c_str());
    throw TlsError("cannot write " + certFile + ": " + TlsContext::TakeErrorText());
  }
  Finish(std::move(certOut), certTemporary, certFile);
}

}  // namespace orvane
