#pragma once

#include <string>
#include <string_view>

namespace orvane {

// SECURITY: log lines carry text that clients sent (user names, paths, commands). Every control
// byte (below 0x20, and 0x7F) is shown in caret notation, as `cat -v` does: CR as "^M", LF as
// "^J", ESC as "^[", DEL as "^?". No client text can then forge a line of the memo, standard
// output or the log file, nor reach the operator's terminal as a control sequence. Bytes from
// 0x80 up are kept, so that UTF-8 names stay readable.
std::string EscapeControlBytes(std::string_view text);

}  // namespace orvane
