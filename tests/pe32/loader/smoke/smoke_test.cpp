// Runs MSVC-built guests and pawn.kvx under the loader: the thread environment, an unresolved import,
// a fault and a runaway loop, each named; then the shim's module, formatting and heap answers that the
// evening alone would not reach.
#include "pe32_loader.h"

#include <cstdio>
#include <cstring>
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

void threadEnvironmentIsWindows(const std::string& dll, const std::string& dir) {
    Pe32EveningResult r = runPe32Evening(dir + "/pe32_guest_thread.exe", dll);
    expect(r.ok, "thread environment runs: " + r.failure);
    std::vector<std::string> wanted = {"initterm: both entries, null skipped", "teb: self, SEH end, TLS pointer, stack bounds",
                                       "sse2: scalar and packed", "data import: __mb_cur_max is 1"};
    expect(r.transcript == wanted, "thread environment as Windows gives it");
    for (auto& line : r.transcript) std::printf("  %s\n", line.c_str());
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

void modulesAnswerAsWindowsDoes(const std::string& dll) {
    Pe32Machine m;
    Pe32Image& image = m.load(dll);
    expect(image.base != image.preferredBase, "the DLL is moved off its preferred base");
    auto k32 = [&](const char* name, std::vector<uint32_t> args) { return m.call(m.shimAddress("kernel32.dll", name), args); };
    uint32_t kernel32 = k32("GetModuleHandleA", {m.systemString("KERNEL32.DLL")});
    expect(k32("GetModuleHandleA", {m.systemString("Pawn.kvx")}) == image.base, "GetModuleHandleA finds the image by name");
    expect(kernel32 && k32("GetProcAddress", {kernel32, m.systemString("TlsAlloc")}) == m.shimAddress("kernel32.dll", "TlsAlloc"),
           "GetProcAddress finds a shim function");
    expect(k32("GetProcAddress", {image.base, m.systemString("nosuch")}) == 0 && k32("GetLastError", {}) == 127,
           "a missing export answers null and ERROR_PROC_NOT_FOUND");
    uint32_t info = m.allocateSystem(28);
    expect(k32("VirtualQuery", {image.base + 0x1234, info, 28}) == 28, "VirtualQuery fills the record");
    uint32_t mbi[7];
    m.read(info, mbi, sizeof mbi);
    expect(mbi[0] == image.base + 0x1000 && mbi[1] == image.base && mbi[4] == 0x1000 && mbi[5] == 0x40 && mbi[6] == 0x1000000,
           "image memory is committed, executable-read-write, MEM_IMAGE");
}

void textOutputFollowsWindows() {
    Pe32Machine m;
    uint32_t abc = m.systemString("abc"), ab = m.systemString("ab");
    struct Case {
        const char* format;
        std::vector<uint32_t> args;
        const char* wanted;
    } cases[] = {
        {"%d|%5d|%-5d|%05d|%+d|% d", {uint32_t(-42), 42, 42, 42, 42, 42}, "-42|   42|42   |00042|+42| 42"},
        {"%u %x %X %#x %o %ld", {0xFFFFFFFF, 255, 255, 255, 8, uint32_t(-1)}, "4294967295 ff FF 0xff 10 -1"},
        {"%s|%.2s|%6s|%-4s|%c%%", {abc, abc, ab, ab, 'z'}, "abc|ab|    ab|ab  |z%"},
        {"%p %8.3d %s", {0xABCD, 5, 0}, "0000ABCD      005 (null)"},
    };
    // vfprintf to stderr is the one formatting import; the MinGW runtime reports its failures through it.
    uint32_t vfprintf = m.shimAddress("msvcrt.dll", "vfprintf"), stderrFile = m.shimAddress("msvcrt.dll", "_iob") + 64;
    for (auto& c : cases) {
        m.capturedStderr.clear();
        uint32_t va = m.allocateSystem(uint32_t(4 * c.args.size()), c.args.data());
        m.call(vfprintf, {stderrFile, m.systemString(c.format), va});
        expect(m.capturedStderr == c.wanted,
               std::string("\"") + c.format + "\" gives \"" + c.wanted + "\", got \"" + m.capturedStderr + "\"");
    }
    // OutputDebugStringA: one entry a line, without the line ends.
    m.call(m.shimAddress("kernel32.dll", "OutputDebugStringA"), {m.systemString("first\r\nsecond\n")});
    expect((m.debugStrings == std::vector<std::string>{"first", "second"}), "debugger lines split at line ends");
    std::string message = failureOf(m, vfprintf, {stderrFile, m.systemString("%lld"), m.allocateSystem(8)});
    expect(contains(message, "printf directive \"%l\" in the guest's format \"%lld\""),
           "an unformatted directive is named, got: " + message);
}

void badPointersAreNamed() {
    Pe32Machine m;
    uint32_t malloc = m.shimAddress("msvcrt.dll", "malloc"), free = m.shimAddress("msvcrt.dll", "free");
    uint32_t realloc = m.shimAddress("msvcrt.dll", "realloc");
    uint32_t a = m.call(malloc, {100}), b = m.call(malloc, {20});
    expect(a && b && a != b, "malloc gives two blocks");
    m.write32(a, 0x12345678);
    uint32_t moved = m.call(realloc, {a, 4000});
    expect(m.read32(moved) == 0x12345678, "realloc keeps the contents");
    expect(m.liveBlocks().size() == 2, "two live blocks after realloc");
    m.call(free, {moved});
    uint32_t strlen = m.shimAddress("msvcrt.dll", "strlen");
    struct Case {
        uint32_t function, pointer;
        const char* wanted;
    } cases[] = {
        {free, moved, "free of an already freed block"},
        {free, b + 4, "free of a pointer that is no heap block"},
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
        threadEnvironmentIsWindows(argv[1], argv[2]);
        failuresNameTheirPlace(argv[1], argv[2]);
        modulesAnswerAsWindowsDoes(argv[1]);
        textOutputFollowsWindows();
        badPointersAreNamed();
    } catch (const Pe32Failure& failure) {
        expect(false, "loader: " + failure.message);
    }
    std::printf(failures ? "pe32 smoke: %d failures\n" : "pe32 smoke: ok\n", failures);
    return failures ? 1 : 0;
}
