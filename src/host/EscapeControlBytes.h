#pragma once

#include <string>
#include <string_view>

namespace orvane {

// SECURITY: log lines carry text that clients sent (user names, paths, commands). Every control
// byte (below 0x20, and 0x7F) is shown in caret notation, as `cat -v` does: CR as "^M", LF as
// "^J", ESC as "^[", DEL as "^?". No client text can then forge a line of the memo, standard
// output or the log file, nor reach the operator's terminal as a control sequence.
// The C1 controls (CSI acts as ESC [ in many terminals) are shown as `cat -v` shows them, "M-^["
// for 0x9B: raw bytes 0x80 to 0x9F outside a UTF-8 sequence, and U+0080 to U+009F written in
// UTF-8. Other bytes from 0x80 up are kept, so that UTF-8 names stay readable.
std::string EscapeControlBytes(std::string_view text);

}  // namespace orvane
