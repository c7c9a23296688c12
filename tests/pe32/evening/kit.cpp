#include "tests/pe32/evening/kit.h"

namespace evening {

std::size_t textLength(const char* text) {
    std::size_t length = 0;
    while (text && text[length]) ++length;
    return length;
}

namespace {

char asIs(char c) { return c; }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool same(const char* a, const char* b, char (*fold)(char)) {
    if (!a || !b) return a == b;
    while (*a && fold(*a) == fold(*b)) ++a, ++b;
    return fold(*a) == fold(*b);
}

}  // namespace

bool sameText(const char* a, const char* b) { return same(a, b, asIs); }
bool sameTextNoCase(const char* a, const char* b) { return same(a, b, lower); }

namespace {

struct Output {
    char* out;
    std::int32_t capacity;
    std::int32_t length = 0;
    void put(char c) {
        if (length + 1 < capacity) out[length] = c;
        ++length;
    }
};

// The digits of `value` in `base`, most significant first.
void putNumber(Output& o, std::uint32_t value, std::uint32_t base) {
    char reversed[16];
    int count = 0;
    do {
        reversed[count++] = "0123456789abcdef"[value % base];
        value /= base;
    } while (value);
    while (count > 0) o.put(reversed[--count]);
}

}  // namespace

std::int32_t formatTo(char* out, std::int32_t capacity, const char* format, va_list arguments) {
    Output o{out, capacity};
    for (const char* f = format; f && *f; ++f) {
        if (*f != '%') {
            o.put(*f);
            continue;
        }
        switch (*++f) {
            case 'd':
            case 'i': {
                const std::int32_t value = va_arg(arguments, std::int32_t);
                if (value < 0) o.put('-');
                putNumber(o, value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value), 10);
                break;
            }
            case 'u': putNumber(o, va_arg(arguments, std::uint32_t), 10); break;
            case 'x': putNumber(o, va_arg(arguments, std::uint32_t), 16); break;
            case 's': {
                const char* text = va_arg(arguments, const char*);
                for (text = text ? text : "(null)"; *text; ++text) o.put(*text);
                break;
            }
            case '%': o.put('%'); break;
            default: o.put('%'); if (*f) o.put(*f); else --f; break;
        }
    }
    if (capacity > 0) out[o.length < capacity ? o.length : capacity - 1] = '\0';
    return o.length;
}

std::int32_t format(char* out, std::int32_t capacity, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const std::int32_t length = formatTo(out, capacity, format, arguments);
    va_end(arguments);
    return length;
}

std::uint32_t checksum(const void* data, std::size_t count, std::uint32_t seed) {
    std::uint32_t hash = seed;
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < count; ++i) hash = (hash ^ bytes[i]) * 16777619u;
    return hash;
}

namespace {
alignas(16) unsigned char arena[24u << 20];
std::size_t arenaUsed = 0;
}  // namespace

void* allocate(std::size_t bytes) {
    const std::size_t start = (arenaUsed + 15) & ~std::size_t{15};
    if (start + bytes > sizeof arena) return nullptr;  // the evening is sized far below this
    arenaUsed = start + bytes;
    __builtin_memset(arena + start, 0, bytes);
    return arena + start;
}

char* copyText(const char* text) {
    const std::size_t length = textLength(text);
    auto* copy = static_cast<char*>(allocate(length + 1));
    __builtin_memcpy(copy, text, length + 1);
    return copy;
}

}  // namespace evening
