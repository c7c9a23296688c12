#include "tools/pawnstage/terminal_text.h"

#include <cstdio>

namespace pawnstage {

namespace {

constexpr std::size_t kLongestQuoted = 40;

// Bytes of the UTF-8 sequence starting at `at`, or 0 when none starts there. C1 controls (U+0080 to
// U+009F) count as none: some terminals obey them as escape sequences too.
std::size_t sequenceLength(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
    if (length == 0 || at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    if (lead == 0xC2 && byte(at + 1) < 0xA0) return 0;
    if (lead == 0xE0 && byte(at + 1) < 0xA0) return 0;  // overlong
    if (lead == 0xF0 && byte(at + 1) < 0x90) return 0;  // overlong
    if (lead == 0xF4 && byte(at + 1) >= 0x90) return 0;  // beyond U+10FFFF
    return length;
}

}  // namespace

std::string terminalSafe(std::string_view text, bool keepLineBreaks) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c >= 0x20 && c < 0x7F) || (c == '\n' && keepLineBreaks)) {
            out += static_cast<char>(c);
            ++i;
        } else if (const std::size_t length = c >= 0x80 ? sequenceLength(text, i) : 0) {
            out.append(text, i, length);
            i += length;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
            ++i;
        }
    }
    return out;
}

std::string quotedToken(std::string_view token) {
    if (token.size() <= kLongestQuoted) return "'" + terminalSafe(token, false) + "'";
    std::size_t cut = kLongestQuoted;
    while (cut > 0 && (static_cast<unsigned char>(token[cut]) & 0xC0) == 0x80) --cut;  // not inside a character
    return "'" + terminalSafe(token.substr(0, cut), false) + "...' (" + std::to_string(token.size()) + " bytes)";
}

}  // namespace pawnstage
