#pragma once

#include <string>

namespace orvane {

// The operator-facing text for each Windows Sockets error number of platform/WinsockError.
// Kept beside the numbers rather than in the socket, because the texts belong to the numbers:
// every layer that reports a socket failure shows the same words for the same code.
//
// Unknown numbers (errno values outside the table among them) read "Not a WinSock error".
std::string WinsockErrorText(int code);

}  // namespace orvane
