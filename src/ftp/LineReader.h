#pragma once

#include <vector>

namespace orvane {

// Cuts command lines out of a byte stream read in pieces. A line ends at LF, with a CR before
// it dropped (a line of just CR keeps it); other bytes, NUL among them, are line bytes. A
// partial line stays held between reads. The buffer holds Size() - 1 bytes: a client that fills
// it without a line end has the over-long line discarded up to its LF (Commit says when that
// LF came).
//
// A read goes where ReadSpace says and is reported with Commit; lines are taken with Front and
// Pop. The line Front gives is ended by a NUL and stays valid until Pop, Clear or Resize.
class LineReader {
 public:
  // Drops what is held; false when the size was already this one.
  bool Resize(int size);
  int Size() const { return size_; }
  int Count() const { return count_; }
  // Drops the held bytes and the over-long line being discarded.
  void Clear();
  bool Discarding() const { return discarding_; }
  // A complete line is held.
  bool HasLine() const;
  // Where the next read goes, and how many bytes it may take. A full buffer starts the discard
  // of its over-long line: the read then overwrites it.
  char* ReadSpace(int& room);
  // The last read put n > 0 bytes at ReadSpace. True when they ended the over-long line being
  // discarded; what followed its LF is kept.
  bool Commit(int n);
  // The first complete line: false when none is held.
  bool Front(const char*& line, int& length);
  // Drops the line Front gave: false when nothing is left held.
  bool Pop();

 private:
  std::vector<char> buffer_;
  int size_ = 0;
  int count_ = 0;
  bool discarding_ = false;
  // The line Front gave: where its LF is, its length, and the byte its NUL replaced.
  int frontEnd_ = 0;
  int frontLength_ = 0;
  char saved_ = '\0';
};

}  // namespace orvane
