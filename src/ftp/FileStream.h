#pragma once

#include <memory>
#include <string>

#include "ftp/Stream.h"
#include "platform/File.h"

namespace orvane {

// A file as a transfer stream. Open failures and I/O errors are thrown as std::runtime_error
// with a text for the client, e.g. "Cannot open file C:\x.txt (No such file or directory)".
class FileStream : public Stream {
 public:
  FileStream(const std::string& winPath, File::Mode mode);
  int64_t Read(void* buffer, int64_t count) override;
  void Write(const void* buffer, int64_t count) override;
  void Seek(int64_t offset) override;
  void SeekToEnd();
  // For the download's kernel copy: the open file, its size now and the offset the next byte
  // is taken from (sendfile advances it like Read). Size and Position throw on an error.
  int Handle() const { return file_.Handle(); }
  int64_t Size() const;
  int64_t Position() const;
  // A copy of the descriptor that a socket may hold while it sends (TCustomWSocket::SendFile),
  // made at the first call and shared by every chunk after it; it shares the file's offset.
  // Throws when no copy can be made.
  std::shared_ptr<const UniqueFd> SendHandle();

 private:
  std::string path_;
  File file_;
  std::shared_ptr<const UniqueFd> sendHandle_;
};

}  // namespace orvane
