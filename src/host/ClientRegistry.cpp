#include "host/ClientRegistry.h"

#include <algorithm>
#include <cassert>
#include <stdexcept>

#include "ftp/TFtpCtrlSocket.h"

namespace orvane {

Usrdata& ClientRegistry::Add(TFtpCtrlSocket& session) {
  assert(Find(session) == nullptr && "a session has one record");
  const uint64_t sequence = session.SequenceNumber;
  entries_.push_back(Entry{&session, std::make_unique<Usrdata>(), sequence, true});
  Usrdata& record = *entries_.back().record;
  bySession_.emplace(&session, &record);
  listed_.emplace(&record, &session);
  bySequence_[sequence] = &record;
  sequenceOf_.emplace(&record, sequence);
  return record;
}

Usrdata* ClientRegistry::Find(const TFtpCtrlSocket& session) const {
  const auto at = bySession_.find(&session);
  return at == bySession_.end() ? nullptr : at->second;
}

std::unique_ptr<Usrdata> ClientRegistry::Take(const TFtpCtrlSocket& session) {
  const auto at = std::find_if(entries_.begin(), entries_.end(),
                               [&](const Entry& entry) { return entry.session == &session; });
  if (at == entries_.end()) return nullptr;
  std::unique_ptr<Usrdata> record = std::move(at->record);
  const uint64_t sequence = at->sequence;
  entries_.erase(at);
  bySession_.erase(&session);
  if (listed_.erase(record.get()) != 0) {
    bySequence_.erase(sequence);
    sequenceOf_.erase(record.get());
  }
  return record;
}

void ClientRegistry::UnlistAll() {
  for (Entry& entry : entries_) entry.listed = false;
  listed_.clear();
  bySequence_.clear();
  sequenceOf_.clear();
}

std::vector<Usrdata*> ClientRegistry::Listed() {
  std::vector<Usrdata*> records;
  records.reserve(entries_.size());
  for (const Entry& entry : entries_) {
    if (entry.listed) records.push_back(entry.record.get());
  }
  return records;
}

std::vector<const Usrdata*> ClientRegistry::Listed() const {
  std::vector<const Usrdata*> records;
  records.reserve(entries_.size());
  for (const Entry& entry : entries_) {
    if (entry.listed) records.push_back(entry.record.get());
  }
  return records;
}

bool ClientRegistry::IsListed(const Usrdata* record) const {
  return record != nullptr && listed_.count(record) != 0;
}

std::size_t ClientRegistry::Count() const {
  return listed_.size();
}

Usrdata& ClientRegistry::At(std::size_t position) const {
  std::size_t index = 0;
  for (const Entry& entry : entries_) {
    if (!entry.listed) continue;
    if (index == position) return *entry.record;
    ++index;
  }
  throw std::out_of_range("ClientRegistry::At");
}

std::optional<ClientRef> ClientRegistry::RefOf(const Usrdata* record) const {
  const auto at = sequenceOf_.find(record);
  if (record == nullptr || at == sequenceOf_.end()) return std::nullopt;
  return ClientRef{record, at->second};
}

std::optional<ClientRef> ClientRegistry::RefOf(uint64_t sequence) const {
  const auto at = bySequence_.find(sequence);
  if (at == bySequence_.end()) return std::nullopt;
  return ClientRef{at->second, sequence};
}

Usrdata* ClientRegistry::Resolve(const ClientRef& ref) const {
  // Only the sequence number and pointer values are compared: a stale reference reads nothing.
  const auto at = bySequence_.find(ref.sequence);
  if (at == bySequence_.end() || at->second != ref.record) return nullptr;
  return Find(*listed_.at(at->second));
}

TFtpCtrlSocket* ClientRegistry::SessionOf(const ClientRef& ref) const {
  Usrdata* record = Resolve(ref);
  return record == nullptr ? nullptr : listed_.at(record);
}

TFtpCtrlSocket* ClientRegistry::SessionOf(const Usrdata* record) const {
  const auto at = listed_.find(record);
  return at == listed_.end() ? nullptr : at->second;
}

}  // namespace orvane
