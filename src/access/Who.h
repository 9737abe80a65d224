#pragma once

#include <string>

namespace orvane {

class SessionView;

// The start of most log lines about a logged-in client: the session's user name and the
// client's address in parentheses, "bob (192.0.2.7)".
std::string Who(SessionView& client);

}  // namespace orvane
