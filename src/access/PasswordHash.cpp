#include "access/PasswordHash.h"

#include <crypt.h>

#include <atomic>
#include <cstring>
#include <memory>

namespace orvane {

namespace {

const char* const kPrefix = "$y$";

std::atomic<long> computations{0};

bool EqualInConstantTime(const std::string& a, const std::string& b) {
  // The length is no secret worth hiding (every yescrypt hash has the same one).
  if (a.size() != b.size()) return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  }
  return difference == 0;
}

// crypt_r with its 32 KiB work area on the heap. Empty when the library refuses the setting:
// libxcrypt then returns a "*0"/"*1" failure token, never a hash.
std::string Crypt(const std::string& password, const std::string& setting) {
  ++computations;
  auto data = std::make_unique<crypt_data>();
  const char* result = crypt_r(password.c_str(), setting.c_str(), data.get());
  if (result == nullptr || result[0] == '*') return "";
  std::string hash(result);
  std::memset(data.get(), 0, sizeof(crypt_data));
  return hash;
}

// Made once, with the cost of the hashes Hash writes, from a password nobody knows. Kept in a
// plain array, which is never destroyed: a hash worker may still be checking a login while the
// process runs its exit handlers.
const char* DummyHash() {
  static char dummy[CRYPT_OUTPUT_SIZE] = {};
  static const bool made = [] {
    const std::string hash = PasswordHash::Hash("no account has this password");
    --computations;  // the dummy's own making is not a check
    std::strncpy(dummy, hash.c_str(), sizeof dummy - 1);
    return true;
  }();
  (void)made;
  return dummy;
}

}  // namespace

std::string PasswordHash::Hash(const std::string& password) {
  char setting[CRYPT_GENSALT_OUTPUT_SIZE];
  // No random bytes given: the library takes them from the system.
  if (crypt_gensalt_rn(kPrefix, 0, nullptr, 0, setting, sizeof setting) == nullptr) return "";
  return Crypt(password, setting);
}

bool PasswordHash::Verify(const std::string& password, const std::string& hash) {
  if (!LooksLikeHash(hash)) {
    VerifyDummy(password);
    return false;
  }
  const std::string computed = Crypt(password, hash);
  return !computed.empty() && EqualInConstantTime(computed, hash);
}

bool PasswordHash::VerifyClear(const std::string& password, const std::string& clear) {
  VerifyDummy(password);
  return EqualInConstantTime(password, clear);
}

void PasswordHash::VerifyDummy(const std::string& password) {
  Crypt(password, DummyHash());
}

bool PasswordHash::LooksLikeHash(const std::string& text) {
  return text.size() > 3 && text[0] == '$' && text.find('$', 1) != std::string::npos;
}

long PasswordHash::Computations() {
  return computations.load();
}

}  // namespace orvane
