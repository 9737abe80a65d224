#pragma once

#include <string>

namespace orvane {

// Windows Sockets error numbers used across the socket layer. The code everywhere speaks these
// numbers (they appear in log lines and in the texts clients and operators see), so POSIX errno
// values are translated once, here, before anything stores or compares them.
enum WinsockCode : int {
  kWsaNoError = 0,
  kWsaEintr = 10004,
  kWsaEbadf = 10009,
  kWsaEacces = 10013,
  kWsaEfault = 10014,
  kWsaEinval = 10022,
  kWsaEmfile = 10024,
  kWsaEwouldblock = 10035,
  kWsaEinprogress = 10036,
  kWsaEalready = 10037,
  kWsaEnotsock = 10038,
  kWsaEdestaddrreq = 10039,
  kWsaEmsgsize = 10040,
  kWsaEprototype = 10041,
  kWsaEnoprotoopt = 10042,
  kWsaEprotonosupport = 10043,
  kWsaEsocktnosupport = 10044,
  kWsaEopnotsupp = 10045,
  kWsaEpfnosupport = 10046,
  kWsaEafnosupport = 10047,
  kWsaEaddrinuse = 10048,
  kWsaEaddrnotavail = 10049,
  kWsaEnetdown = 10050,
  kWsaEnetunreach = 10051,
  kWsaEnetreset = 10052,
  kWsaEconnaborted = 10053,
  kWsaEconnreset = 10054,
  kWsaEnobufs = 10055,
  kWsaEisconn = 10056,
  kWsaEnotconn = 10057,
  kWsaEshutdown = 10058,
  kWsaEtoomanyrefs = 10059,
  kWsaEtimedout = 10060,
  kWsaEconnrefused = 10061,
  kWsaEloop = 10062,
  kWsaEnametoolong = 10063,
  kWsaEhostdown = 10064,
  kWsaEhostunreach = 10065,
  kWsaEnotempty = 10066,
  kWsaEproclim = 10067,
  kWsaEusers = 10068,
  kWsaEdquot = 10069,
  kWsaEstale = 10070,
  kWsaEremote = 10071,
  kWsaSysnotready = 10091,
  kWsaVernotsupported = 10092,
  kWsaNotinitialised = 10093,
  kWsaHostNotFound = 11001,
  kWsaTryAgain = 11002,
  kWsaNoRecovery = 11003,
  kWsaNoData = 11004,
};

// Translates a POSIX errno value into the Windows Sockets number with the same meaning.
// EAGAIN/EWOULDBLOCK become "would block" and EINPROGRESS also "would block", because a
// non-blocking connect that has started is reported that way. Unknown values map to
// themselves offset into an unused range so that they still read "Not a WinSock error".
int WinsockFromErrno(int err);

// Translates a getaddrinfo() result code (EAI_*) into the Windows Sockets lookup codes.
int WinsockFromGaiError(int gaiError);

}  // namespace orvane
