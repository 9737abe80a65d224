#include "host/ClientRegistry.h"

#include <algorithm>
#include <cassert>
#include <stdexcept>

namespace orvane {

Usrdata& ClientRegistry::Add(const TFtpCtrlSocket& session) {
  assert(Find(session) == nullptr && "a session has one record");
  entries_.push_back(Entry{&session, std::make_unique<Usrdata>(), true});
  Usrdata& record = *entries_.back().record;
  bySession_.emplace(&session, &record);
  listed_.insert(&record);
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
  entries_.erase(at);
  bySession_.erase(&session);
  listed_.erase(record.get());
  return record;
}

void ClientRegistry::UnlistAll() {
  for (Entry& entry : entries_) entry.listed = false;
  listed_.clear();
}

std::vector<Usrdata*> ClientRegistry::Listed() const {
  std::vector<Usrdata*> records;
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

}  // namespace orvane
