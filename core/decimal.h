// Decimal numbers in resource texts ("12@40", "scorefontphase").
#pragma once

#include <cstdint>

// Reads a decimal number as atoi does (leading white space, an optional sign, digits up to the first
// other character, 0 without digits), but holds it to the 32-bit range instead of overflowing, which
// atoi leaves undefined and which would read differently on every target.
inline std::int32_t decimalValue(const char* text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = (*text++ == '-');
    std::int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > std::int64_t{INT32_MAX} + 1) value = std::int64_t{INT32_MAX} + 1;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) value = INT32_MAX;
    return static_cast<std::int32_t>(value);
}
