// Runs MSVC-built guests and pawn.kvx under the loader: an unresolved import, a fault and a runaway
// loop, each named; then _initterm, the DLL's move off its preferred base and the heap's answers to
// bad frees, which the evening alone would not reach.
#include "pe32_loader.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

int failures = 0;

void expect(bool ok, const std::string& what) {
    if (!ok) {
        std::fprintf(stderr, "FAILED: %s\n", what.c_str());
        ++failures;
    }
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string failureOf(Pe32Machine& m, uint32_t function, const std::vector<uint32_t>& args) {
    try {
        m.call(function, args);
    } catch (const Pe32Failure& failure) {
        return failure.message;
    }
    return "(no failure)";
}

// _initterm is the loader's own code, calling back into the guest: each entry in order, nulls skipped.
void inittermCallsEachEntry() {
    Pe32Machine m;
    std::string calls;
    auto entry = [&](char name) {
        return m.addHostFunction(std::string("entry ") + name, [&calls, name](Pe32Machine&, uint32_t) {
            calls += name;
            return 0u;
        });
    };
    uint32_t table[] = {entry('a'), 0, entry('b')};
    uint32_t begin = m.allocateSystem(sizeof table, table);
    m.call(m.shimAddress("msvcrt.dll", "_initterm"), {begin, begin + uint32_t(sizeof table)});
    expect(calls == "ab", "_initterm calls both entries and skips the null one, got: " + calls);
}

void failuresNameTheirPlace(const std::string& dll, const std::string& dir) {
    struct Case {
        const char* exe;
        std::vector<std::string> parts;
    } cases[] = {
        {"pe32_guest_missing.exe",
         {"unresolved import KERNEL32.dll!NoSuchFunction", "called from pe32_guest_missing.exe+0x", "(.text)"}},
        {"pe32_guest_null_call.exe", {"execution at unmapped address 0x00000000", "pe32_guest_null_call.exe+0x", "(.text)"}},
        {"pe32_guest_endless.exe", {"exceeded the time limit of 1", "pe32_guest_endless.exe+0x", "(.text)"}},
    };
    Pe32Options options;
    options.timeLimitSeconds = 1;
    for (auto& c : cases) {
        Pe32EveningResult r = runPe32Evening(dir + "/" + c.exe, dll, options);
        expect(!r.ok, std::string(c.exe) + " fails");
        expect(r.transcript == std::vector<std::string>{"before"}, std::string(c.exe) + " reported before failing");
        for (auto& part : c.parts) expect(contains(r.failure, part), std::string(c.exe) + ": '" + part + "' in: " + r.failure);
        std::printf("  %s: %s\n", c.exe, r.failure.c_str());
    }
}

// Otherwise a relocation the loader misses would hide behind the preferred base.
void dllMoves(const std::string& dll) {
    Pe32Machine m;
    Pe32Image& image = m.load(dll);
    expect(image.base != image.preferredBase, "the DLL is moved off its preferred base");
}

void badPointersAreNamed() {
    Pe32Machine m;
    uint32_t malloc = m.shimAddress("msvcrt.dll", "malloc"), free = m.shimAddress("msvcrt.dll", "free");
    uint32_t freed = m.call(malloc, {100});
    m.call(free, {freed});
    uint32_t strlen = m.shimAddress("msvcrt.dll", "strlen");
    struct Case {
        uint32_t function, pointer;
        const char* wanted;
    } cases[] = {
        {free, freed, "free of an already freed block"},
        {free, freed + 4, "free of a pointer that is no heap block"},
        {strlen, 0x10, "at unmapped address 0x00000010 (in msvcrt.dll!strlen, called from"},
    };
    for (auto& c : cases) {
        std::string message = failureOf(m, c.function, {c.pointer});
        expect(contains(message, c.wanted), std::string(c.wanted) + " is named, got: " + message);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: pe32_smoke pawn.kvx guest-dir\n");
        return 2;
    }
    try {
        inittermCallsEachEntry();
        failuresNameTheirPlace(argv[1], argv[2]);
        dllMoves(argv[1]);
        badPointersAreNamed();
    } catch (const Pe32Failure& failure) {
        expect(false, "loader: " + failure.message);
    }
    std::printf(failures ? "pe32 smoke: %d failures\n" : "pe32 smoke: ok\n", failures);
    return failures ? 1 : 0;
}
