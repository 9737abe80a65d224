#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace orvane {

// The values the greeting macros stand for, gathered by the caller for one client.
struct MacroValues {
  std::string ip;    // %IP: the client's dotted address
  std::string time;  // %TIME: the current time (LongTime)
  std::string date;  // %DATE: the current date (ShortDate)
  int numbr = 0;     // %NUMBR: the number of client records, the new client included
  int64_t xupl = 0;  // %RATIO: xupl + "/" + xdl
  int64_t xdl = 0;
  // %LOCALIP: the local host's address; called only when the text holds the macro. When not set,
  // "0.0.0.0" is used, as for a host name that cannot be resolved.
  std::function<std::string()> localIp;
};

// Replaces the macros of a message line, in this order: "%IP", "%TIME", "%DATE", "%NUMBR",
// "%RATIO" (only withRatio) and "%LOCALIP". Each macro is replaced at every occurrence,
// case-sensitively; any other "%" text is left as it is.
//
// Occurrences are replaced left to right and the search goes on after the inserted value, so a
// value is never searched for the macro it replaced. For the values used here (addresses, digits
// and times, none containing "%") this is the same as searching again from the start after each
// replacement, and a value that does contain the macro text cannot make the expansion loop.
std::string ExpandMacros(std::string text, const MacroValues& values, bool withRatio);

}  // namespace orvane
