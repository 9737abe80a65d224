#include "platform/WinsockError.h"

#include <netdb.h>

#include <cerrno>

namespace orvane {

int WinsockFromErrno(int err) {
  switch (err) {
    case 0:
      return kWsaNoError;
    case EINTR:
      return kWsaEintr;
    case EBADF:
      return kWsaEbadf;
    case EACCES:
    case EPERM:
      return kWsaEacces;
    case EFAULT:
      return kWsaEfault;
    case EINVAL:
      return kWsaEinval;
    case EMFILE:
    case ENFILE:
      return kWsaEmfile;
    case EAGAIN:
      return kWsaEwouldblock;
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
      return kWsaEwouldblock;
#endif
    case EINPROGRESS:
      return kWsaEwouldblock;
    case EALREADY:
      return kWsaEalready;
    case ENOTSOCK:
      return kWsaEnotsock;
    case EDESTADDRREQ:
      return kWsaEdestaddrreq;
    case EMSGSIZE:
      return kWsaEmsgsize;
    case EPROTOTYPE:
      return kWsaEprototype;
    case ENOPROTOOPT:
      return kWsaEnoprotoopt;
    case EPROTONOSUPPORT:
      return kWsaEprotonosupport;
    case ESOCKTNOSUPPORT:
      return kWsaEsocktnosupport;
    case EOPNOTSUPP:
      return kWsaEopnotsupp;
    case EPFNOSUPPORT:
      return kWsaEpfnosupport;
    case EAFNOSUPPORT:
      return kWsaEafnosupport;
    case EADDRINUSE:
      return kWsaEaddrinuse;
    case EADDRNOTAVAIL:
      return kWsaEaddrnotavail;
    case ENETDOWN:
      return kWsaEnetdown;
    case ENETUNREACH:
      return kWsaEnetunreach;
    case ENETRESET:
      return kWsaEnetreset;
    case ECONNABORTED:
      return kWsaEconnaborted;
    case ECONNRESET:
    case EPIPE:
      return kWsaEconnreset;
    case ENOBUFS:
    case ENOMEM:
      return kWsaEnobufs;
    case EISCONN:
      return kWsaEisconn;
    case ENOTCONN:
      return kWsaEnotconn;
    case ESHUTDOWN:
      return kWsaEshutdown;
    case ETOOMANYREFS:
      return kWsaEtoomanyrefs;
    case ETIMEDOUT:
      return kWsaEtimedout;
    case ECONNREFUSED:
      return kWsaEconnrefused;
    case ELOOP:
      return kWsaEloop;
    case ENAMETOOLONG:
      return kWsaEnametoolong;
    case EHOSTDOWN:
      return kWsaEhostdown;
    case EHOSTUNREACH:
      return kWsaEhostunreach;
    case ENOTEMPTY:
      return kWsaEnotempty;
    case EUSERS:
      return kWsaEusers;
    case EDQUOT:
      return kWsaEdquot;
    case ESTALE:
      return kWsaEstale;
    case EREMOTE:
      return kWsaEremote;
    default:
      return 20000 + err;
  }
}

int WinsockFromGaiError(int gaiError) {
  switch (gaiError) {
    case 0:
      return kWsaNoError;
    case EAI_NONAME:
      return kWsaHostNotFound;
#ifdef EAI_NODATA
    case EAI_NODATA:
      return kWsaNoData;
#endif
    case EAI_AGAIN:
      return kWsaTryAgain;
    case EAI_FAIL:
      return kWsaNoRecovery;
    case EAI_FAMILY:
      return kWsaEafnosupport;
    case EAI_MEMORY:
      return kWsaEnobufs;
    case EAI_SYSTEM:
      return WinsockFromErrno(errno);
    default:
      return kWsaNoRecovery;
  }
}

}  // namespace orvane
