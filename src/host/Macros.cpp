#include "host/Macros.h"

namespace orvane {

namespace {

void Replace(std::string& text, const std::string& macro, const std::string& value) {
  for (std::size_t at = text.find(macro); at != std::string::npos;
       at = text.find(macro, at + value.size())) {
    text.replace(at, macro.size(), value);
  }
}

}  // namespace

std::string ExpandMacros(std::string text, const MacroValues& values, bool withRatio) {
  Replace(text, "%IP", values.ip);
  Replace(text, "%TIME", values.time);
  Replace(text, "%DATE", values.date);
  Replace(text, "%NUMBR", std::to_string(values.numbr));
  if (withRatio) {
    Replace(text, "%RATIO", std::to_string(values.xupl) + "/" + std::to_string(values.xdl));
  }
  const std::string localIpMacro = "%LOCALIP";
  if (text.find(localIpMacro) != std::string::npos) {
    Replace(text, localIpMacro, values.localIp ? values.localIp() : "0.0.0.0");
  }
  return text;
}

}  // namespace orvane
