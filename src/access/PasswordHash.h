#pragma once

#include <string>

namespace orvane {

// Password hashes as /etc/shadow keeps them: made and checked by the system's crypt library
// (libxcrypt), yescrypt with the library's default cost ("$y$..."). Any hash the library knows
// ("$6$...", "$2b$...") is checked too, so a hash copied from elsewhere works.
//
// Every check costs one hash computation, whatever it finds: a check against a clear password
// and a check for a name that does not exist hash against a dummy of the same cost, so the time
// a refusal takes tells nothing about which names or accounts exist. The computation runs on
// the caller's thread (about 20 ms at the default cost).
class PasswordHash {
 public:
  // A new hash of password with a fresh random salt; empty when the library fails (no
  // randomness, out of memory).
  static std::string Hash(const std::string& password);

  // Whether password matches hash (in constant time for equal lengths). A malformed hash or
  // an empty one matches nothing, but the check still costs one hash computation.
  static bool Verify(const std::string& password, const std::string& hash);

  // A clear password as older account files keep it: compared in constant time, after one
  // hash computation against the dummy, so that it takes as long as Verify.
  static bool VerifyClear(const std::string& password, const std::string& clear);

  // Spends the time of one Verify without a hash to check (a name that matches no account).
  static void VerifyDummy(const std::string& password);

  // Whether text has the shape of a crypt hash ("$id$..."), as a reader of a hand-edited file
  // checks before taking a value as a hash.
  static bool LooksLikeHash(const std::string& text);

  // The number of hash computations so far, for the checks that every path costs one.
  static long Computations();
};

}  // namespace orvane
