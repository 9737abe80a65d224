#include "console/SelectedUser.h"

namespace orvane {

SelectedUser::Panels SelectedUser::PanelsOf(const Usrdata& record) {
  return Panels{record.UserName, "IP:" + record.IP, record.Status};
}

std::optional<SelectedUser::Panels> SelectedUser::Click(
    const std::vector<const Usrdata*>& selected) {
  if (selected.size() != 1 || selected.front() == nullptr) return std::nullopt;
  return PanelsOf(*selected.front());
}

std::optional<SelectedUser::Panels> SelectedUser::Tick(const std::vector<const Usrdata*>& selected,
                                                       size_t listRows, size_t clientRecords) {
  if (selected.size() != 1) return Panels{};
  if (listRows > clientRecords || selected.front() == nullptr) return std::nullopt;
  return PanelsOf(*selected.front());
}

}  // namespace orvane
