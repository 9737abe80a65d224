#include "host/LoginGuard.h"

#include "platform/IniFile.h"

namespace orvane {

namespace {

const char kSection[] = "ServerFTP";

int ReadNonNegative(const IniFile& ini, const char* key, int def) {
  const int32_t value = ini.ReadInteger(kSection, key, def);
  return value < 0 ? def : value;
}

}  // namespace

void LoginGuard::Load(const IniFile& ini) {
  const Settings defaults;
  settings.LoginTimeout = ReadNonNegative(ini, "logintimeout", defaults.LoginTimeout);
  settings.FailDelay = ReadNonNegative(ini, "loginfaildelay", defaults.FailDelay);
  settings.MaxFailures = ReadNonNegative(ini, "maxloginfailures", defaults.MaxFailures);
  settings.BanFailures = ReadNonNegative(ini, "banfailures", defaults.BanFailures);
  settings.BanWindow = ReadNonNegative(ini, "banwindow", defaults.BanWindow);
  settings.BanTime = ReadNonNegative(ini, "bantime", defaults.BanTime);
  settings.MaxPerAddress = ReadNonNegative(ini, "maxperip", defaults.MaxPerAddress);
  settings.MaxLoggingIn = ReadNonNegative(ini, "maxprelogin", defaults.MaxLoggingIn);
}

int LoginGuard::DelayFor(int failuresOnConnection) const {
  constexpr int kLongest = 60;  // a long-lived guesser waits a minute at most per try
  const int64_t delay = static_cast<int64_t>(settings.FailDelay) * failuresOnConnection;
  return delay > kLongest ? kLongest : static_cast<int>(delay);
}

bool LoginGuard::EndsConnection(int failuresOnConnection) const {
  return settings.MaxFailures > 0 && failuresOnConnection >= settings.MaxFailures;
}

bool LoginGuard::RecordFailure(const std::string& address, int64_t now) {
  if (settings.BanFailures <= 0) return false;
  std::deque<int64_t>& times = failures_[address];
  times.push_back(now);
  while (!times.empty() && times.front() <= now - settings.BanWindow) times.pop_front();
  if (static_cast<int64_t>(times.size()) < settings.BanFailures) return false;
  failures_.erase(address);
  return true;
}

void LoginGuard::Banned(const std::string& address, int64_t now) {
  bans_[address] = settings.BanTime > 0 ? now + settings.BanTime : 0;
}

std::vector<std::string> LoginGuard::TakeExpiredBans(int64_t now) {
  std::vector<std::string> expired;
  for (auto it = bans_.begin(); it != bans_.end();) {
    if (it->second != 0 && it->second <= now) {
      expired.push_back(it->first);
      it = bans_.erase(it);
    } else {
      ++it;
    }
  }
  for (auto it = failures_.begin(); it != failures_.end();) {
    if (it->second.empty() || it->second.back() <= now - settings.BanWindow) {
      it = failures_.erase(it);
    } else {
      ++it;
    }
  }
  return expired;
}

}  // namespace orvane
