#include "host/Macros.h"

namespace orvane {

MacroExpander GreetingMacros(const MacroValues& values, bool withRatio) {
  MacroExpander macros;
  macros.Add("%IP", values.ip);
  macros.Add("%TIME", values.time);
  macros.Add("%DATE", values.date);
  macros.Add("%NUMBR", std::to_string(values.numbr));
  if (withRatio)
    macros.Add("%RATIO", std::to_string(values.xupl) + "/" + std::to_string(values.xdl));
  macros.AddDeferred("%LOCALIP", [localIp = values.localIp]() {
    return localIp ? localIp() : std::string("0.0.0.0");
  });
  return macros;
}

std::string ExpandMacros(std::string text, const MacroValues& values, bool withRatio) {
  return GreetingMacros(values, withRatio).Expand(std::move(text));
}

}  // namespace orvane
