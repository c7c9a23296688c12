// Names are compared without regard to ASCII letter case, whatever the C library's locale says.
#pragma once

inline char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline bool sameName(const char* a, const char* b) {
    if (!a || !b) return a == b;
    for (;; ++a, ++b) {
        if (asciiLower(*a) != asciiLower(*b)) return false;
        if (*a == '\0') return true;
    }
}

inline bool startsWithName(const char* text, const char* prefix) {
    if (!text || !prefix) return false;
    for (; *prefix; ++text, ++prefix)
        if (asciiLower(*text) != asciiLower(*prefix)) return false;
    return true;
}
