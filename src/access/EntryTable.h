#pragma once

#include <cassert>
#include <cstddef>
#include <vector>

namespace orvane {

// A table of Size numbered entries of which a client record uses only the first few: a logged-in
// session holds the directory entries and links of its account, typically a handful out of 151
// and 101. Only the entries up to the last one set are stored, so an idle session costs bytes for
// what it uses instead of kilobytes for empty slots. Reading an index past the stored ones gives
// an empty entry; writing one stores the entries up to it. Iteration covers the stored entries
// in index order, empty ones between them included; those past the last stored one are all
// empty, so loops that skip or stop at empty entries behave as over the whole table.
template <typename Entry, std::size_t Size>
class EntryTable {
 public:
  static constexpr std::size_t size() { return Size; }

  const Entry& operator[](std::size_t index) const {
    assert(index < Size);
    return index < entries_.size() ? entries_[index] : Empty();
  }
  Entry& operator[](std::size_t index) {
    assert(index < Size);
    if (index >= entries_.size()) entries_.resize(index + 1);
    return entries_[index];
  }

  // Empties every entry and gives the storage back.
  void clear() { std::vector<Entry>().swap(entries_); }

  typename std::vector<Entry>::const_iterator begin() const { return entries_.begin(); }
  typename std::vector<Entry>::const_iterator end() const { return entries_.end(); }

 private:
  static const Entry& Empty() {
    static const Entry empty{};
    return empty;
  }

  std::vector<Entry> entries_;
};

}  // namespace orvane
