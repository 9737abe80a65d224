#pragma once

#include <string>
#include <vector>

namespace orvane {

// The banned addresses, held in memory only: empty at program start and lost at its end. The
// main window's list box shows this object and the admission check looks clients up in it.
// Entries are kept sorted without regard to ASCII letter case, at most one per text with case
// ignored. Entries are taken as typed (not trimmed, not checked for being an address).
class BanList {
 public:
  // Whether one entry equals the whole address, ASCII letter case ignored; an entry that is a
  // numeric IPv4 or IPv6 address also when it names the same address in another form.
  bool Contains(const std::string& address) const;
  // Inserts the text at its sorted place; a text already listed is not added again.
  void Add(const std::string& text);
  // Removes the entry at position; a position outside the list does nothing.
  void Delete(int position);
  const std::vector<std::string>& Items() const { return items_; }

 private:
  std::vector<std::string> items_;
};

}  // namespace orvane
