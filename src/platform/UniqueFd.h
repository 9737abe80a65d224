#pragma once

namespace orvane {

// Owns one POSIX file descriptor and closes it when destroyed. Move-only.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd();

  int Get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  // Gives up ownership without closing.
  int Release();
  // Closes the current descriptor (if any) and takes fd.
  void Reset(int fd = -1);
  // Closes now and reports close()'s result (0, or -1 with errno set); 0 when nothing was open.
  int Close();

 private:
  int fd_ = -1;
};

}  // namespace orvane
