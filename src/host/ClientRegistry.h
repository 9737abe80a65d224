#pragma once

#include <cstddef>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "access/Usrdata.h"

namespace orvane {

class TFtpCtrlSocket;

// The host's list Clients: one Usrdata record per control connection, in connection order,
// owned here and found by its session. It is the one place the records live, so the timers, the
// hooks and the console windows read the same list and a record is freed at exactly one moment.
//
// A record is added by the connection hook and taken out and freed by the disconnection hook.
// Stopping the engine drops every record from the list without freeing it (UnlistAll): the sessions
// that are still open keep their records for their hooks until they have gone through the
// disconnection hook. Everything runs on the loop thread.
class ClientRegistry {
 public:
  // A new record for a session that has just connected, at the end of the list.
  Usrdata& Add(const TFtpCtrlSocket& session);
  // The record of a session, listed or not; none for a session without one.
  Usrdata* Find(const TFtpCtrlSocket& session) const;
  // Takes the record of a session out of the registry (the disconnection hook): it is no longer
  // listed or found, and the caller frees it when the hook ends. None for a session without one.
  std::unique_ptr<Usrdata> Take(const TFtpCtrlSocket& session);
  // The stopped engine's rule: the list is emptied, the records stay with their sessions.
  void UnlistAll();

  // The listed records, in connection order.
  std::vector<Usrdata*> Listed() const;
  // Whether the record is in the list. Only the pointer is compared, so a record that has been
  // freed may be asked about.
  bool IsListed(const Usrdata* record) const;
  std::size_t Count() const;
  bool Empty() const { return Count() == 0; }
  // The listed record at position (connection order); throws std::out_of_range outside the list.
  Usrdata& At(std::size_t position) const;

 private:
  struct Entry {
    const TFtpCtrlSocket* session;
    std::unique_ptr<Usrdata> record;
    bool listed;
  };

  std::vector<Entry> entries_;  // in connection order
  // Indexes for the lookups every hook and timer makes, so that they cost the same with ten
  // thousand sessions as with one.
  std::unordered_map<const TFtpCtrlSocket*, Usrdata*> bySession_;
  std::unordered_set<const Usrdata*> listed_;
};

}  // namespace orvane
