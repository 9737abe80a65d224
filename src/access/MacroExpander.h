#pragma once

#include <functional>
#include <string>
#include <vector>

namespace orvane {

// The one macro replacement of the server's message texts: the greeting and refusal messages of
// the host and the account's login message. It lives here, below the host, so that both use
// the same replacement rule instead of two copies of it.
//
// One expander serves one message: a value that is costly to find (the local address needs a
// blocking lookup on the loop thread) is computed at the first line that holds its macro and
// kept for the other lines, and never for a message without the macro.
class MacroExpander {
 public:
  // Adds a macro whose value is known now.
  void Add(std::string macro, std::string value);
  // Adds a macro whose value is computed when a line first holds the macro, at most once.
  void AddDeferred(std::string macro, std::function<std::string()> value);

  // Replaces the macros in the order they were added, each at every occurrence, left to right
  // and case-sensitively. The search for a macro goes on after the value it inserted, so a value
  // is never searched for the macro it replaced (and a value holding its own macro cannot make
  // the replacement loop); macros added later do search it.
  std::string Expand(std::string line);

 private:
  struct Macro {
    std::string name;
    std::string value;
    std::function<std::string()> compute;  // set until the value is known
  };

  std::vector<Macro> macros_;
};

}  // namespace orvane
