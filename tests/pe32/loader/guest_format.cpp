// printf-style formatting with msvcrt's conventions, reading the arguments from a guest va_list.
#include "shim.h"

#include <cstdio>
#include <cstring>

namespace {

template <typename T>
std::string hostFormat(const std::string& directive, T value)
{
    int n = std::snprintf(nullptr, 0, directive.c_str(), value);
    std::string text(size_t(n > 0 ? n : 0), '\0');
    std::snprintf(text.data(), text.size() + 1, directive.c_str(), value);
    return text;
}

std::string narrow(const std::u16string& wide)
{
    std::string text;
    for (char16_t c : wide)
        text += c < 0x80 ? char(c) : '?';
    return text;
}

}  // namespace

std::string pe32Format(Pe32Machine& m, const std::string& format, uint32_t va)
{
    std::string out;
    auto next32 = [&] {
        uint32_t v = m.read32(va);
        va += 4;
        return v;
    };
    auto next64 = [&] {
        uint64_t v = next32();
        return v | uint64_t(next32()) << 32;
    };
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            out += format[i];
            continue;
        }
        size_t start = i++;
        std::string flags, width, precision;
        while (i < format.size() && std::strchr("-+ #0", format[i]))
            flags += format[i++];
        if (i < format.size() && format[i] == '*') {
            int32_t w = int32_t(next32());
            if (w < 0)
                flags += '-', w = -w;
            width = std::to_string(w), ++i;
        } else {
            while (i < format.size() && format[i] >= '0' && format[i] <= '9')
                width += format[i++];
        }
        bool hasPrecision = false;
        int32_t precisionValue = -1;
        if (i < format.size() && format[i] == '.') {
            hasPrecision = true, ++i;
            if (i < format.size() && format[i] == '*') {
                precisionValue = int32_t(next32()), ++i;
            } else {
                precisionValue = 0;
                while (i < format.size() && format[i] >= '0' && format[i] <= '9')
                    precisionValue = precisionValue * 10 + (format[i++] - '0');
            }
            // A negative precision from '*' counts as none.
            if (precisionValue < 0)
                hasPrecision = false;
            else
                precision = "." + std::to_string(precisionValue);
        }
        enum { Int, Short, Char, Long64 } size = Int;
        bool wide = false;
        for (bool more = true; more && i < format.size();) {
            if (format.compare(i, 3, "I64") == 0)
                size = Long64, i += 3;
            else if (format.compare(i, 3, "I32") == 0)
                size = Int, i += 3;
            else if (format.compare(i, 2, "ll") == 0)
                size = Long64, i += 2;
            else if (format.compare(i, 2, "hh") == 0)
                size = Char, i += 2;
            else if (format[i] == 'h')
                size = Short, ++i;
            else if (format[i] == 'l' || format[i] == 'w')
                wide = true, ++i;   // long is 32 bits on Windows; on c and s it means wide
            else if (format[i] == 'j' || format[i] == 'q' || format[i] == 'L')
                size = format[i] == 'L' ? size : Long64, ++i;
            else if (format[i] == 'z' || format[i] == 't' || format[i] == 'I')
                ++i;
            else
                more = false;
        }
        if (i >= format.size()) {
            out += format.substr(start);
            break;
        }
        char conversion = format[i];
        std::string directive = "%" + flags + width + precision;
        switch (conversion) {
        case 'd':
        case 'i':
            if (size == Long64)
                out += hostFormat(directive + "lld", (long long)(int64_t)next64());
            else {
                int32_t v = int32_t(next32());
                v = size == Short ? int16_t(v) : size == Char ? int8_t(v) : v;
                out += hostFormat(directive + "d", v);
            }
            break;
        case 'u':
        case 'x':
        case 'X':
        case 'o':
            if (size == Long64)
                out += hostFormat(directive + "ll" + conversion, (unsigned long long)next64());
            else {
                uint32_t v = next32();
                v = size == Short ? uint16_t(v) : size == Char ? uint8_t(v) : v;
                out += hostFormat(directive + conversion, v);
            }
            break;
        case 'p':
            // msvcrt prints a pointer as eight upper-case digits, no prefix.
            out += hostFormat("%" + flags + width + "08X", next32());
            break;
        case 'c':
        case 'C': {
            uint32_t v = next32();
            char c = (wide || conversion == 'C') ? (v < 0x80 ? char(v) : '?') : char(v);
            out += hostFormat("%" + flags + width + "c", c);
            break;
        }
        case 's':
        case 'S': {
            uint32_t p = next32();
            size_t limit = hasPrecision ? size_t(precisionValue) : size_t(1) << 20;
            std::string text = !p ? "(null)"
                               : (wide || conversion == 'S') ? narrow(m.readWideString(p, limit))
                                                             : m.readString(p, limit);
            out += hostFormat(directive + "s", text.c_str());
            break;
        }
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'a':
        case 'A': {
            uint64_t bits = next64();
            double v;
            std::memcpy(&v, &bits, 8);
            out += hostFormat(directive + conversion, v);
            break;
        }
        case '%':
            out += '%';
            break;
        case 'n':
            m.fail("printf %n in the guest's format \"" + format + "\"");
        default:
            out += format.substr(start, i - start + 1);
        }
    }
    return out;
}
