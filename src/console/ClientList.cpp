#include "console/ClientList.h"

namespace orvane {

bool ClientList::Sync(const std::vector<const Usrdata*>& clients) {
  std::vector<Row> rows;
  rows.reserve(clients.size());
  for (const Usrdata* record : clients) {
    if (record != nullptr && !record->Account.empty()) {
      rows.push_back(Row{record->Account, record, record->Secure});
    }
  }
  if (rows == rows_) return false;
  rows_ = std::move(rows);
  return true;
}

const Usrdata* ClientList::RecordAt(int index) const {
  if (index < 0 || index >= static_cast<int>(rows_.size())) return nullptr;
  return rows_[static_cast<size_t>(index)].data;
}

}  // namespace orvane
