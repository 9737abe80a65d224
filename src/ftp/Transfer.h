#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ftp/Stream.h"

namespace orvane {

// One transfer of a data channel, from its command to the close of its connection: what it
// moves, where it started, and how it ended. The channel holds the running transfer; at the
// close it takes it out and hands it to the close hooks (OnStorSessionClosed,
// OnRetrSessionClosed), so the outcome a hook reads is that transfer's own, whatever the
// hooks, the answer or the next command do to the channel meanwhile.
struct Transfer {
  enum class Kind {
    Store,   // STOR: the file is written from the start offset
    Append,  // APPE: the file is written at its end
    Send,    // RETR, or a listing: the stream is sent from the start offset
  };
  enum class Outcome {
    Running,          // bytes still flow; at the close: the connection ended before the data did
    Complete,         // every byte of a download is queued; the close follows
    AbortedByClient,  // ABOR closed the connection
    ConnectionLost,   // a send failed because the client's end of the connection went away
    Failed,           // the transfer failed for `reason`
    NotConnected,     // the data connection was never made
  };

  Kind kind = Kind::Send;
  // The file or listing the transfer reads or writes; empty until an upload's first block or
  // a download's connection opens the session's file. Shared so that code working on the
  // stream keeps it while a close inside its own call ends the transfer.
  std::shared_ptr<Stream> stream;
  // The offset the transfer started at (the REST before its command; 0 without one).
  int64_t startOffset = 0;
  Outcome outcome = Outcome::Running;
  // Why the transfer ended as it did, in words for the reply ("Transfer Ok" while it runs).
  std::string reason = "Transfer Ok";
  // The next transfer command replaced this one while it ran: the close of its connection
  // leaves the data port (given for that command) as it is, instead of resetting it.
  bool replaced = false;

  bool Upload() const { return kind != Kind::Send; }
  // A download whose every byte was queued, unless it was aborted afterwards.
  bool AllSent() const { return outcome == Outcome::Complete; }
  // The transfer was aborted or failed: its connection is closed, nothing more moves.
  bool Aborted() const { return outcome != Outcome::Running && outcome != Outcome::Complete; }
  // Ends the transfer with `how`; the close of its connection follows.
  void End(Outcome how, std::string why) {
    outcome = how;
    reason = std::move(why);
  }
};

}  // namespace orvane
