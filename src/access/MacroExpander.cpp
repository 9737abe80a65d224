#include "access/MacroExpander.h"

#include <cassert>
#include <utility>

namespace orvane {

void MacroExpander::Add(std::string macro, std::string value) {
  assert(!macro.empty() && "an empty macro name matches everywhere");
  macros_.push_back(Macro{std::move(macro), std::move(value), nullptr});
}

void MacroExpander::AddDeferred(std::string macro, std::function<std::string()> value) {
  assert(!macro.empty() && "an empty macro name matches everywhere");
  macros_.push_back(Macro{std::move(macro), std::string(), std::move(value)});
}

std::string MacroExpander::Expand(std::string line) {
  for (Macro& macro : macros_) {
    std::size_t at = line.find(macro.name);
    if (at == std::string::npos) continue;
    if (macro.compute) {
      macro.value = macro.compute();
      macro.compute = nullptr;
    }
    for (; at != std::string::npos; at = line.find(macro.name, at + macro.value.size())) {
      line.replace(at, macro.name.size(), macro.value);
    }
  }
  return line;
}

}  // namespace orvane
