#include "access/Who.h"

#include "ftp/SessionView.h"

namespace orvane {

std::string Who(SessionView& client) {
  return client.LoginName() + " (" + client.GetPeerAddr() + ")";
}

}  // namespace orvane
