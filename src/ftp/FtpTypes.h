#pragma once

namespace orvane {

// Login state of a session.
enum TFtpCtrlState {
  ftpcInvalid = 0,
  ftpcWaitingUserCode = 1,
  ftpcWaitingPassword = 2,
  ftpcReady = 3,
  ftpcWaitingAnswer = 4,
};

// Kind of the last command a handler started (CurCmdType).
enum TFtpCmdType {
  ftpcPORT = 0,
  ftpcSTOR = 1,  // STOR and APPE
  ftpcRETR = 2,
  ftpcCWD = 3,
  ftpcXPWD = 4,
  ftpcPWD = 5,
  ftpcUSER = 6,
  ftpcPASS = 7,
  ftpcLIST = 8,
  ftpcRMD = 9,
  ftpcTYPE = 10,
  ftpcSYST = 11,
  ftpcQUIT = 12,
  ftpcDELE = 13,
  ftpcRNFR = 14,
  ftpcMKD = 15,
  ftpcRNTO = 16,
  ftpcNOOP = 17,
  ftpcNLST = 18,
  ftpcUnused = 19,
  ftpcCDUP = 20,
  ftpcSIZE = 21,
  ftpcREST = 22,
};

}  // namespace orvane
