#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "access/Usrdata.h"

namespace orvane {

class TFtpCtrlSocket;

// A client as the operator selected it: its record and its session's sequence number. Sequence
// numbers are never given twice, so a reference to a client that left finds nothing, even when a
// newcomer's record happens to sit at the same address: an action taken after a question never
// reaches the wrong client and never reads a freed record.
struct ClientRef {
  const Usrdata* record = nullptr;
  uint64_t sequence = 0;
};

// The host's list Clients: one Usrdata record per control connection, in connection order,
// owned here with the session it belongs to. It is the one place the records live, so the timers,
// the hooks and the console windows read the same list and a record is freed at exactly one
// moment; a session is found from its record or its sequence number, never from a list position.
//
// A record is added by the connection hook and taken out and freed by the disconnection hook.
// Stopping the engine drops every record from the list without freeing it (UnlistAll): the sessions
// that are still open keep their records for their hooks until they have gone through the
// disconnection hook. Everything runs on the loop thread.
class ClientRegistry {
 public:
  // A new record for a session that has just connected, at the end of the list.
  Usrdata& Add(TFtpCtrlSocket& session);
  // The record of a session, listed or not; none for a session without one.
  Usrdata* Find(const TFtpCtrlSocket& session) const;
  // Takes the record of a session out of the registry (the disconnection hook): it is no longer
  // listed or found, and the caller frees it when the hook ends. None for a session without one.
  std::unique_ptr<Usrdata> Take(const TFtpCtrlSocket& session);
  // The stopped engine's rule: the list is emptied, the records stay with their sessions.
  void UnlistAll();

  // The listed records, in connection order.
  std::vector<Usrdata*> Listed();
  std::vector<const Usrdata*> Listed() const;
  // Whether the record is in the list. Only the pointer is compared, so a record that has been
  // freed may be asked about.
  bool IsListed(const Usrdata* record) const;
  std::size_t Count() const;
  bool Empty() const { return Count() == 0; }
  // The listed record at position (connection order); throws std::out_of_range outside the list.
  Usrdata& At(std::size_t position) const;

  // The reference of a listed record; none for a record not listed.
  std::optional<ClientRef> RefOf(const Usrdata* record) const;
  // The reference of the listed client whose session has this sequence number.
  std::optional<ClientRef> RefOf(uint64_t sequence) const;
  // The record and the session of a reference while its client is listed, else none. The
  // record behind a stale reference is never read.
  Usrdata* Resolve(const ClientRef& ref) const;
  TFtpCtrlSocket* SessionOf(const ClientRef& ref) const;
  // The session a listed record belongs to; none for a record not listed.
  TFtpCtrlSocket* SessionOf(const Usrdata* record) const;

 private:
  struct Entry {
    TFtpCtrlSocket* session;
    std::unique_ptr<Usrdata> record;
    uint64_t sequence;
    bool listed;
  };

  std::vector<Entry> entries_;  // in connection order
  // Indexes for the lookups every hook, timer and console request makes, so that they cost the
  // same with ten thousand sessions as with one.
  std::unordered_map<const TFtpCtrlSocket*, Usrdata*> bySession_;
  std::unordered_map<const Usrdata*, TFtpCtrlSocket*> listed_;  // listed records' sessions
  std::unordered_map<uint64_t, const Usrdata*> bySequence_;     // listed records by sequence
  std::unordered_map<const Usrdata*, uint64_t> sequenceOf_;     // listed records' sequences
};

}  // namespace orvane
