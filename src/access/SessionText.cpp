#include "access/SessionText.h"

#include "ftp/TFtpCtrlSocket.h"
#include "net/ESocketException.h"

namespace orvane {

std::string Who(TFtpCtrlSocket& client) {
  return client.UserName + " (" + client.GetPeerAddr() + ")";
}

void SendLine(TFtpCtrlSocket& client, const std::string& line) {
  try {
    client.SendStr(line + "\r\n");
  } catch (const ESocketException&) {
    // Not connected any more: the session is closing and nobody is left to read the line.
  }
}

}  // namespace orvane
