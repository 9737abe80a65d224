#include "net/TlsCredentials.h"

#include <sys/stat.h>

namespace orvane {

TlsCredentials::TlsCredentials(std::string certFile, std::string keyFile)
    : certFile_(std::move(certFile)), keyFile_(std::move(keyFile)) {}

bool TlsCredentials::Stamp::operator==(const Stamp& other) const {
  return device == other.device && inode == other.inode && size == other.size &&
         mtime.tv_sec == other.mtime.tv_sec && mtime.tv_nsec == other.mtime.tv_nsec;
}

TlsCredentials::Stamp TlsCredentials::StampOf(const std::string& path) {
  Stamp stamp;
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) {
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.size = info.st_size;
    stamp.mtime = info.st_mtim;
  }
  return stamp;
}

void TlsCredentials::Load() {
  const Stamp cert = StampOf(certFile_);
  const Stamp key = StampOf(keyFile_);
  context_ = TlsContext::Server(certFile_, keyFile_);
  certStamp_ = cert;
  keyStamp_ = key;
}

std::shared_ptr<TlsContext> TlsCredentials::Current() {
  const Stamp cert = StampOf(certFile_);
  const Stamp key = StampOf(keyFile_);
  if (context_ && cert == certStamp_ && key == keyStamp_) return context_;
  // Stamped before loading: a file changed again while it was read is loaded once more later.
  certStamp_ = cert;
  keyStamp_ = key;
  try {
    context_ = TlsContext::Server(certFile_, keyFile_);
    if (OnReload)
      OnReload("TLS certificate loaded, SHA-256 fingerprint " + context_->Fingerprint());
  } catch (const TlsError& e) {
    if (OnReload) OnReload(std::string("TLS certificate not reloaded: ") + e.what());
  }
  return context_;
}

}  // namespace orvane
