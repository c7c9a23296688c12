// printf-style formatting with msvcrt's conventions, reading the arguments from a guest va_list.
// Only vfprintf formats here, for the MinGW runtime's own failure reports (%s %d %x %p and the like);
// a directive beyond those ends the run by name rather than consuming the wrong arguments.
#include "shim.h"

#include <cstdio>
#include <cstring>

namespace {

template <typename T>
std::string hostFormat(const std::string& directive, T value) {
    int n = std::snprintf(nullptr, 0, directive.c_str(), value);
    std::string text(size_t(n > 0 ? n : 0), '\0');
    std::snprintf(text.data(), text.size() + 1, directive.c_str(), value);
    return text;
}

}  // namespace

std::string pe32Format(Pe32Machine& m, const std::string& format, uint32_t va) {
    std::string out;
    auto next32 = [&] {
        uint32_t v = m.read32(va);
        va += 4;
        return v;
    };
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            out += format[i];
            continue;
        }
        size_t start = i++;
        while (i < format.size() && std::strchr("-+ #0123456789.", format[i])) ++i;
        std::string directive = format.substr(start, i - start);
        // long is 32 bits on Windows; long long is refused below.
        if (i < format.size() && format[i] == 'l' && format[i + 1] != 'l') ++i;
        char conversion = i < format.size() ? format[i] : '\0';
        if (conversion == '%') {
            out += '%';
        } else if (conversion && std::strchr("diuxXoc", conversion)) {
            out += hostFormat(directive + conversion, next32());
        } else if (conversion == 'p') {
            // msvcrt prints a pointer as eight upper-case digits, no prefix.
            out += hostFormat(directive + "08X", next32());
        } else if (conversion == 's') {
            uint32_t p = next32();
            out += hostFormat(directive + "s", p ? m.readString(p).c_str() : "(null)");
        } else {
            m.fail("printf directive \"" + format.substr(start, i - start + 1) + "\" in the guest's format \"" + format +
                   "\" is not one this shim formats");
        }
    }
    return out;
}
