#pragma once

#include <string>

namespace orvane {

class TFtpCtrlSocket;

// The start of most log lines about a logged-in client: the session's user name and the
// client's address in parentheses, "bob (192.0.2.7)".
std::string Who(TFtpCtrlSocket& client);

// Sends one line and CR LF on the control connection at once, ahead of the engine's own reply.
// A control connection that has gone away closes through the socket layer; the line is then
// dropped instead of escaping from the hook into the transfer code.
void SendLine(TFtpCtrlSocket& client, const std::string& line);

}  // namespace orvane
