#pragma once

#include <cstdint>
#include <string>

namespace orvane {

class CompatibilityPolicy;
class FreeList;
struct Usrdata;

// What the access checks and the transfer accounting need from the program that hosts the engine:
// the event log, the statistics counters, the client-list displays and a few facts about the
// server. The host implements it; the access classes hold a reference and call it on the loop
// thread from inside the engine's hooks.
class HostView {
 public:
  virtual ~HostView() = default;

  // --- Event log -----------------------------------------------------------------------------
  // One event under its category (1 to 12): to the screen and to the file, each when the
  // category's switch is on.
  virtual void LogEvent(int category, const std::string& text) = 0;
  // The same, for the few events whose screen text differs from their file text.
  virtual void LogEventSplit(int category, const std::string& screenText,
                             const std::string& fileText) = 0;
  // A line for the log window only, whatever the switches, never to the file (transfer errors).
  virtual void LogScreenOnly(const std::string& text) = 0;

  // --- Statistics ----------------------------------------------------------------------------
  virtual void AddAcceptedLogin() = 0;   // a named account admitted a client ("connectionsAC")
  virtual void AddAnonymousLogin() = 0;  // an anonymous account admitted a client ("connectionsA")
  virtual void AddRefusedLogin() = 0;    // no account admitted the client ("connectionsRF")
  // Bytes sent to / received from a client: the server totals ("dl" / "Upl") and the bytes
  // since the last throughput sample both grow by this amount.
  virtual void AddDownloaded(int64_t bytes) = 0;
  virtual void AddUploaded(int64_t bytes) = 0;

  // --- Displays ------------------------------------------------------------------------------
  // Refreshes the connected-clients display after a login.
  virtual void ShowClientCount() = 0;
  // A client has logged in: add its rows to the user information list (caption Account, then
  // IP, Status, LoginTime) and to the main window's client list (caption Account).
  virtual void ClientLoggedIn(Usrdata& record) = 0;
  // The record's Status changed; its row in the user information list shows the new text.
  virtual void ClientStatusChanged(Usrdata& record) = 0;

  // --- Facts ---------------------------------------------------------------------------------
  // Number of records in the host's client list: every connected client, logged in or not.
  virtual int ClientRecordCount() = 0;
  // Logged-in sessions of the account (records whose Account is its Name).
  virtual int LoggedInSessions(const std::string& account) = 0;
  // The server host's first address ("0.0.0.0" when the host name does not resolve).
  virtual std::string LocalIPAddr() = 0;
  // The free-files list in effect.
  virtual const FreeList& FreeFiles() = 0;
  // The current date and time as the host writes them everywhere (short date, long time).
  virtual std::string CurrentDate() = 0;
  virtual std::string CurrentTime() = 0;
  // Where the rights and listing rules follow today's clients or the classic behaviour.
  virtual const CompatibilityPolicy& Compatibility() = 0;
};

}  // namespace orvane
