// Text from scripts, file names and log lines as it may reach a terminal: control characters (a NUL
// that would cut a message, an escape sequence that would recolour or move the cursor) and bytes
// that are not UTF-8 are shown as \xNN, and long tokens are cut.
#pragma once

#include <string>
#include <string_view>

namespace pawnstage {

// `text` with every control character but the line break escaped (and that too unless `keepLineBreaks`).
std::string terminalSafe(std::string_view text, bool keepLineBreaks = true);
// A token of a script, quoted for a message: 'token', escaped, cut after 40 bytes with its length.
std::string quotedToken(std::string_view token);

}  // namespace pawnstage
