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
  // The operator's ban: inserts the text at its sorted place; a text already listed is not
  // added again, but becomes the operator's if the host had banned it on its own.
  void Add(const std::string& text);
  // The host's own ban of an address that kept guessing: added as Add does, and marked as
  // automatic unless already listed. True when it was added now.
  bool AddAutomatic(const std::string& address);
  // Ends the host's own ban of the address: the entry goes only while it is still automatic, so
  // an expiring automatic ban never lifts the operator's ban of the same address. True when
  // an entry went.
  bool RemoveAutomatic(const std::string& address);
  // Removes the entry at position; a position outside the list does nothing.
  void Delete(int position);
  const std::vector<std::string>& Items() const { return items_; }

 private:
  // The position of the entry Contains finds for the address, or -1.
  int Find(const std::string& address) const;

  std::vector<std::string> items_;
  std::vector<bool> automatic_;  // per entry: the host's own ban, not the operator's
};

}  // namespace orvane
