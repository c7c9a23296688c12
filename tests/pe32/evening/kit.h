// What the evening host needs of a C library, written out: it is built twice, by GCC against the
// 64-bit plug-in and freestanding with the Windows compiler conventions against the shipping DLL,
// where there is no library at all (the guest runtime has the memcpy and memset the compiler calls on
// its own, so copies use __builtin_memcpy). Everything here is plain and deterministic, so both builds
// write the same transcript for the same behaviour of the plug-in.
#pragma once

#include <stdarg.h>

#include <cstddef>
#include <cstdint>

namespace evening {

std::size_t textLength(const char* text);
bool sameText(const char* a, const char* b);        // exact
bool sameTextNoCase(const char* a, const char* b);  // ASCII letters without regard to case

// printf-style formatting of the directives the plug-in and the evening use: %d %i %u %x %s %%, with
// no flags, width or precision. Always NUL-terminates; returns the length.
std::int32_t formatTo(char* out, std::int32_t capacity, const char* format, va_list arguments);
std::int32_t format(char* out, std::int32_t capacity, const char* format, ...);

// FNV-1a over bytes: the frame checksums of the transcript.
std::uint32_t checksum(const void* data, std::size_t count, std::uint32_t seed = 2166136261u);

// A bump allocator over one static block: the host's objects live until the evening ends.
void* allocate(std::size_t bytes);
char* copyText(const char* text);

}  // namespace evening

// Placement construction, declared here for the freestanding build (the hosted one has <new>).
#ifdef PAWN_EVENING_FREESTANDING
inline void* operator new(std::size_t, void* place) noexcept { return place; }
#else
#include <new>
#endif

namespace evening {
// Arguments are passed by value: a constructor must not keep a reference to one.
template <class T, class... Arguments>
T* make(Arguments... arguments) {
    return new (allocate(sizeof(T))) T(arguments...);
}
}  // namespace evening
