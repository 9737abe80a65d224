#pragma once

#include "host/FtpHost.h"

namespace orvane {

// The host's parts for the tests that set up a state or look at one no window can: the engine,
// the records, and the lists the host keeps. Front ends use the host's operations instead.
class FtpHostTestAccess {
 public:
  static TFtpServer& Engine(FtpHost& host) { return host.FtpServer1; }
  static ClientRegistry& Clients(FtpHost& host) { return host.clients_; }
  static Statistics& Stats(FtpHost& host) { return host.stats_; }
  static BanList& Bans(FtpHost& host) { return host.banList_; }
  static LoginGuard& Guard(FtpHost& host) { return host.loginGuard_; }
  static LogMemo& Memo(FtpHost& host) { return host.memo_; }
};

}  // namespace orvane
