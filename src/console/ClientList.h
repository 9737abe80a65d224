#pragma once

#include <string>
#include <vector>

#include "access/Usrdata.h"

namespace orvane {

// The rows of the main window's client list: one per logged-in client (a record whose Account
// is set), in the host's connection order; the caption is the client's Account and the row's
// data its Usrdata record. The rows are taken again from the host's list (the listed records of
// its ClientRegistry) every time it changes, so a row never outlives its record. A session that
// switches to TLS changes its row.
class ClientList {
 public:
  struct Row {
    std::string caption;
    const Usrdata* data;
    bool secure = false;  // the control connection is TLS: the window marks the row
    bool operator==(const Row&) const = default;
  };

  // Re-reads the host's list; true when the rows changed.
  bool Sync(const std::vector<const Usrdata*>& clients);
  const std::vector<Row>& Rows() const { return rows_; }
  // The record of row index, or none for an index outside the list.
  const Usrdata* RecordAt(int index) const;

 private:
  std::vector<Row> rows_;
};

}  // namespace orvane
