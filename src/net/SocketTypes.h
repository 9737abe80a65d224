#pragma once

#include <cstdint>

namespace orvane {

enum TSocketState {
  wsInvalidState = 0,
  wsOpened = 1,
  wsBound = 2,
  wsConnecting = 3,
  wsConnected = 4,
  wsAccepting = 5,
  wsListening = 6,
  wsClosed = 7,
};

enum TSocketSendFlags { wsSendNormal = 0, wsSendUrgent = 1 };

enum TSocketLingerOnOff { wsLingerOff = 0, wsLingerOn = 1, wsLingerNoSet = 2 };

// Readiness event bits, with the Windows Sockets values.
constexpr uint16_t FD_READ = 1;
constexpr uint16_t FD_WRITE = 2;
constexpr uint16_t FD_ACCEPT = 8;
constexpr uint16_t FD_CONNECT = 16;
constexpr uint16_t FD_CLOSE = 32;

// The notification masks registered by each operation.
constexpr uint16_t kListenMask = FD_READ | FD_WRITE | FD_ACCEPT | FD_CLOSE;                // 43
constexpr uint16_t kConnectMask = FD_READ | FD_WRITE | FD_ACCEPT | FD_CONNECT | FD_CLOSE;  // 59
constexpr uint16_t kDupMask = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;                  // 51

}  // namespace orvane
