#pragma once

namespace orvane {

// How a LIST or NLST listing departs from its original form for today's clients; the defaults
// are the original form. CompatibilityPolicy::ListingStyle gives the engine's choice.
struct ListingStyle {
  bool utcTimes = false;          // LIST times in UTC, as MDTM and MLSD give them (else local)
  bool diskModes = false;         // LIST shows the mode bits the entry has on disk
  bool leavesOutDots = false;     // NLST names neither "." nor ".."
  bool emptyWhenNothing = false;  // no "<pattern> not found" line: a wildcard that matches
                                  // nothing gives an empty listing, a name that does not exist
                                  // throws ListingNotFound
};

}  // namespace orvane
