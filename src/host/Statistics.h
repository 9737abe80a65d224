#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace orvane {

class IniFile;

// The seven running counters kept across runs in section "Stats" of the configuration file, and
// the throughput counter sampled once a second for the status bar. The counters are 64-bit so
// byte totals past 2 GiB stay right; the file keeps them as decimal integers.
class Statistics {
 public:
  int64_t MaxConnections = 0;  // "maxconnections": most clients at the same time
  int64_t Connections = 0;     // "connections": connections that reached the connection hook
  int64_t ConnectionsA = 0;    // "connectionsA": logins accepted as anonymous
  int64_t ConnectionsAC = 0;   // "connectionsAC": logins accepted by their account
  int64_t ConnectionsRF = 0;   // "connectionsRF": refused logins
  int64_t Dl = 0;              // "dl": bytes sent by downloads
  int64_t Upl = 0;             // "Upl": bytes received by uploads
  int64_t Throughput = 0;      // bytes moved either way since the last sample; not stored

  // Reads the seven counters, 0 for each missing or unreadable key.
  void Load(const IniFile& ini);
  // Writes the seven counters in the order above, with one write of the file; false when it
  // failed.
  bool Save(IniFile& ini) const;

  // "12 Kb/s" (n div 1000) when the decimal text of n has more than four characters, else
  // "9999 bytes/s".
  static std::string ThroughputText(int64_t n);
  // The status bar text for the last second; restarts the throughput count.
  std::string TakeThroughputText();

  // The statistics window's captions and values, in display order (the local address list is
  // the window's own). Byte totals are shown in thousands of bytes: "12 Kb".
  std::vector<std::pair<std::string, std::string>> Labels() const;
};

}  // namespace orvane
