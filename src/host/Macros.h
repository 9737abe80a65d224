#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "access/MacroExpander.h"

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

// The greeting macros of one message, in this order: "%IP", "%TIME", "%DATE", "%NUMBR",
// "%RATIO" (only withRatio) and "%LOCALIP"; see MacroExpander for the replacement rule. The
// local address is asked for once, at the first line that holds "%LOCALIP".
MacroExpander GreetingMacros(const MacroValues& values, bool withRatio);

// One line expanded with GreetingMacros.
std::string ExpandMacros(std::string text, const MacroValues& values, bool withRatio);

}  // namespace orvane
