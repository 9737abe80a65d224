#include "host/ClientRegistry.h"

#include <algorithm>
#include <cassert>
#include <stdexcept>

namespace orvane {

Usrdata& ClientRegistry::Add(const TFtpCtrlSocket& session) {
  assert(Find(session) == nullptr && "a session has one record");
  entries_.push_back(Entry{&session, std::make_unique<Usrdata>(), true});
  return *entries_.back().record;
}

Usrdata* ClientRegistry::Find(const TFtpCtrlSocket& session) const {
  for (const Entry& entry : entries_) {
    if (entry.session == &session) return entry.record.get();
  }
  return nullptr;
}

std::unique_ptr<Usrdata> ClientRegistry::Take(const TFtpCtrlSocket& session) {
  const auto at = std::find_if(entries_.begin(), entries_.end(),
                               [&](const Entry& entry) { return entry.session == &session; });
  if (at == entries_.end()) return nullptr;
  std::unique_ptr<Usrdata> record = std::move(at->record);
  entries_.erase(at);
  return record;
}

void ClientRegistry::UnlistAll() {
  for (Entry& entry : entries_) entry.listed = false;
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
  return record != nullptr &&
         std::any_of(entries_.begin(), entries_.end(), [&](const Entry& entry) {
           return entry.listed && entry.record.get() == record;
         });
}

std::size_t ClientRegistry::Count() const {
  return static_cast<std::size_t>(std::count_if(entries_.begin(), entries_.end(),
                                                [](const Entry& entry) { return entry.listed; }));
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
