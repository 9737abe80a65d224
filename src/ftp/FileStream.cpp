#include "ftp/FileStream.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "platform/FileSystem.h"

namespace orvane {

namespace {

File OpenOrThrow(const std::string& path, File::Mode mode) {
  std::optional<File> file = File::Open(path, mode);
  if (!file) {
    const bool creates = mode == File::Mode::CreateTruncate || mode == File::Mode::CreateNew;
    const char* action = creates ? "create" : "open";
    throw std::runtime_error(std::string("Cannot ") + action + " file " + path + " (" +
                             std::strerror(FileSystem::LastError()) + ")");
  }
  return std::move(*file);
}

}  // namespace

FileStream::FileStream(const std::string& winPath, File::Mode mode)
    : path_(winPath), file_(OpenOrThrow(winPath, mode)) {}

int64_t FileStream::Read(void* buffer, int64_t count) {
  const int64_t n = file_.Read(buffer, count);
  if (n < 0) throw std::runtime_error("Read error on " + path_);
  return n;
}

void FileStream::Write(const void* buffer, int64_t count) {
  if (file_.Write(buffer, count) != count) throw std::runtime_error("Write error on " + path_);
}

void FileStream::Seek(int64_t offset) {
  if (!file_.Seek(offset)) throw std::runtime_error("Seek error on " + path_);
}

int64_t FileStream::Size() const {
  const int64_t size = file_.Size();
  if (size < 0) throw std::runtime_error("Read error on " + path_);
  return size;
}

int64_t FileStream::Position() const {
  const int64_t at = file_.Position();
  if (at < 0) throw std::runtime_error("Read error on " + path_);
  return at;
}

std::shared_ptr<const UniqueFd> FileStream::SendHandle() {
  if (!sendHandle_) {
    const int copy = ::fcntl(file_.Handle(), F_DUPFD_CLOEXEC, 0);
    if (copy < 0) {
      throw std::runtime_error("Read error on " + path_ + " (" + std::strerror(errno) + ")");
    }
    sendHandle_ = std::make_shared<const UniqueFd>(copy);
  }
  return sendHandle_;
}

void FileStream::SeekToEnd() {
  Seek(file_.Size());
}

}  // namespace orvane
