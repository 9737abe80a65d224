#include "host/Statistics.h"

#include "platform/IniFile.h"

namespace orvane {

namespace {

const char kSection[] = "Stats";

}  // namespace

void Statistics::Load(const IniFile& ini) {
  MaxConnections = ini.ReadInt64(kSection, "maxconnections", 0);
  Connections = ini.ReadInt64(kSection, "connections", 0);
  ConnectionsA = ini.ReadInt64(kSection, "connectionsA", 0);
  ConnectionsAC = ini.ReadInt64(kSection, "connectionsAC", 0);
  ConnectionsRF = ini.ReadInt64(kSection, "connectionsRF", 0);
  Dl = ini.ReadInt64(kSection, "dl", 0);
  Upl = ini.ReadInt64(kSection, "Upl", 0);
}

bool Statistics::Save(IniFile& ini) const {
  // One replacement of the file for the seven counters: each write of it costs an fsync.
  return ini.WriteStrings(kSection, {{"maxconnections", std::to_string(MaxConnections)},
                                     {"connections", std::to_string(Connections)},
                                     {"connectionsA", std::to_string(ConnectionsA)},
                                     {"connectionsAC", std::to_string(ConnectionsAC)},
                                     {"connectionsRF", std::to_string(ConnectionsRF)},
                                     {"dl", std::to_string(Dl)},
                                     {"Upl", std::to_string(Upl)}});
}

std::string Statistics::ThroughputText(int64_t n) {
  const std::string digits = std::to_string(n);
  if (digits.size() > 4) return std::to_string(n / 1000) + " Kb/s";
  return digits + " bytes/s";
}

std::string Statistics::TakeThroughputText() {
  std::string text = ThroughputText(Throughput);
  Throughput = 0;
  return text;
}

std::vector<std::pair<std::string, std::string>> Statistics::Labels() const {
  return {
      {"Total uploaded by clients :", std::to_string(Upl / 1000) + " Kb"},
      {"Total downloaded by clients :", std::to_string(Dl / 1000) + " Kb"},
      {"Max connections at the same time : ", std::to_string(MaxConnections)},
      {"Connections since startup :", std::to_string(Connections)},
      {"Connections accepted :", std::to_string(ConnectionsAC)},
      {"Connections refused :", std::to_string(ConnectionsRF)},
      {"Anonymous connections :", std::to_string(ConnectionsA)},
  };
}

}  // namespace orvane
