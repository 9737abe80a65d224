#pragma once

#include <optional>
#include <string>
#include <vector>

#include "access/Usrdata.h"

namespace orvane {

// The main window's panels 3 to 5 for the user selected in its client list, and the rules of
// the selection timer Timer1 that refreshes them once a second.
class SelectedUser {
 public:
  struct Panels {
    std::string userName;  // panel 3: the name the client gave
    std::string ip;        // panel 4: "IP:" and the address
    std::string status;    // panel 5: what the client is doing
    bool operator==(const Panels&) const = default;
  };

  static Panels PanelsOf(const Usrdata& record);

  // A click on the list, with the records of the selected rows (null for a row without one).
  // Exactly one selected row with a record: its panels, and Timer1 runs. Otherwise nothing to
  // show (the panels keep their text) and Timer1 stops.
  static std::optional<Panels> Click(const std::vector<const Usrdata*>& selected);

  // A Timer1 tick. With exactly one selected row: nothing while the list holds more rows than
  // the host has records (a row may then be stale), else the row's panels when it has a
  // record. With no single selection: the three panels emptied. nullopt means "leave them".
  static std::optional<Panels> Tick(const std::vector<const Usrdata*>& selected, size_t listRows,
                                    size_t clientRecords);
};

}  // namespace orvane
