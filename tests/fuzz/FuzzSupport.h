#pragma once

// Helpers shared by the fuzzers: a scratch directory that lives for the whole fuzzing process,
// and a reader that cuts one fuzz input into fields.

#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace orvane::fuzz {

// A directory under /tmp, made once per process and removed at its normal exit.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = "/tmp/orvane-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

inline void WriteFile(const std::string& path, std::string_view bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) throw std::runtime_error("cannot write " + path);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

inline void MakeDirs(const std::string& path) {
  std::filesystem::create_directories(path);
}

// The input as fields separated by one byte (a NUL by default); missing fields are empty.
class Fields {
 public:
  Fields(const uint8_t* data, std::size_t size, char separator = '\0')
      : rest_(reinterpret_cast<const char*>(data), size), separator_(separator) {}
  std::string Next() {
    const std::size_t cut = rest_.find(separator_);
    std::string field(rest_.substr(0, cut));
    rest_ = cut == std::string_view::npos ? std::string_view() : rest_.substr(cut + 1);
    return field;
  }
  std::string Rest() {
    std::string all(rest_);
    rest_ = {};
    return all;
  }
  bool Empty() const { return rest_.empty(); }

 private:
  std::string_view rest_;
  char separator_;
};

// Aborts with a message: a broken property is a finding, as a sanitizer report is.
[[noreturn]] inline void Fail(const std::string& what) {
  std::fprintf(stderr, "fuzz property broken: %s\n", what.c_str());
  std::abort();
}

}  // namespace orvane::fuzz
