#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace orvane {

class IniFile;

// The defences against clients that do not log in or guess passwords: the login time-out, the
// growing delay before a refused password is answered, the end of a connection after too many
// refusals, and the automatic ban of an address that keeps guessing. It keeps the settings
// (section "ServerFTP" of FTPsrv.ini) and the refusals per address; the host applies them.
// Times are whole seconds of any clock that does not go back.
class LoginGuard {
 public:
  struct Settings {
    int LoginTimeout = 60;  // "logintimeout": seconds a client may stay without login; 0 never
    int FailDelay = 1;      // "loginfaildelay": seconds of delay per refusal on the connection
    int MaxFailures = 3;    // "maxloginfailures": refusals that end the connection; 0 never
    int BanFailures = 10;   // "banfailures": refusals from one address that ban it; 0 off
    int BanWindow = 600;    // "banwindow": seconds within which those refusals count
    int BanTime = 3600;     // "bantime": seconds an automatic ban lasts; 0 until the end
    // "maxperip": connections one address may hold at once; 0 no cap. It bounds how many
    // places one client can squat and how many guesses it has in flight.
    int MaxPerAddress = 8;
    // "maxprelogin": connections that have not logged in yet, all addresses together; 0 no
    // cap. Outside classic only logged-in clients count against maxusr, so this bounds the rest.
    int MaxLoggingIn = 32;
  };

  // Reads the keys; a missing, unreadable or negative value reads as its default.
  void Load(const IniFile& ini);

  // The delay before the n-th refused password of one connection is answered: n times
  // FailDelay, so 1 s, 2 s, 3 s with the default.
  int DelayFor(int failuresOnConnection) const;
  // Whether the n-th refusal of one connection ends it.
  bool EndsConnection(int failuresOnConnection) const;
  // Counts a refusal for the address; true when it has now reached BanFailures within
  // BanWindow, and the address is to be banned (its count then starts again).
  bool RecordFailure(const std::string& address, int64_t now);
  // Remembers an automatic ban made now, which lasts BanTime.
  void Banned(const std::string& address, int64_t now);
  // The automatic bans whose time has passed, forgotten with this call. Refusals older than the
  // window are forgotten too, so the memory stays bounded by the recent guessers.
  std::vector<std::string> TakeExpiredBans(int64_t now);
  // When the automatic ban of the address ends: 0 never, -1 when it has none.
  int64_t BanEnd(const std::string& address) const {
    const auto it = bans_.find(address);
    return it == bans_.end() ? -1 : it->second;
  }

  Settings settings;

 private:
  std::map<std::string, std::deque<int64_t>> failures_;  // address -> times of its refusals
  std::map<std::string, int64_t> bans_;                  // address -> end (0: never)
};

}  // namespace orvane
