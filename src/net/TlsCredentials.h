#pragma once

#include <sys/types.h>

#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "net/TlsContext.h"

namespace orvane {

// The server's certificate and key files and the context made from them. A certificate renewed
// on disk is taken without a restart: Current() looks at both files' change stamps each time a
// connection starts TLS and loads them again when either changed. A reload that fails (a file
// half written, a key that does not match) keeps the context in use and is said once through
// OnReload; the next change is tried again.
class TlsCredentials {
 public:
  TlsCredentials(std::string certFile, std::string keyFile);

  // Loads the files now; throws TlsError when they cannot be used.
  void Load();
  // The context for a connection that starts TLS now.
  std::shared_ptr<TlsContext> Current();

  const std::string& CertFile() const { return certFile_; }
  const std::string& KeyFile() const { return keyFile_; }

  // A line for the log after each reload attempt: what was loaded or why it was refused.
  std::function<void(const std::string& line)> OnReload;

 private:
  struct Stamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    timespec mtime{};
    bool operator==(const Stamp& other) const;
  };
  static Stamp StampOf(const std::string& path);

  std::string certFile_;
  std::string keyFile_;
  Stamp certStamp_;
  Stamp keyStamp_;
  std::shared_ptr<TlsContext> context_;
};

}  // namespace orvane
