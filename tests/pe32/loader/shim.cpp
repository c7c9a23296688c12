// KERNEL32 (stdcall) and msvcrt (cdecl) as pawn.kvx imports them, for one thread.
#include "shim.h"

#include <unicorn/unicorn.h>

#include <algorithm>

using namespace pe32;

Pe32Shim::Pe32Shim(Pe32Machine& machine) : m(machine) {}

// Blocks are never reused, and a freed one is filled with 0xDD: the DLL reading a block after freeing
// it sees nothing it wrote there, so its evening differs from the native one.
uint32_t Pe32Shim::allocate(uint32_t size) {
    uint32_t capacity = std::max<uint32_t>(16, (size + 15) & ~15u);
    if (size > kHeapSize || heapNext + capacity > kHeapBase + kHeapSize || heapNext + capacity < heapNext) return 0;
    uint32_t address = heapNext;
    heapNext += capacity;
    live[address] = {size, capacity};
    return address;
}

void Pe32Shim::release(uint32_t address, const char* function, uint32_t caller) {
    if (!address) return;
    auto it = live.find(address);
    if (it == live.end())
        m.fail(std::string(function) + (freed.count(address) ? " of an already freed block " : " of a pointer that is no heap block ") +
               pe32Hex(address) + ", called from " + m.describe(caller));
    std::vector<uint8_t> poison(it->second.capacity, 0xDD);
    m.write(address, poison.data(), poison.size());
    freed.insert(address);
    live.erase(it);
}

uint32_t Pe32Shim::reallocate(uint32_t address, uint32_t size, uint32_t caller) {
    if (!address) return allocate(size);
    auto it = live.find(address);
    if (it == live.end()) release(address, "realloc", caller);  // names the bad pointer
    if (!size) {
        release(address, "realloc", caller);
        return 0;
    }
    uint32_t old = it->second.requested;
    uint32_t moved = allocate(size);
    if (!moved) return 0;
    std::vector<uint8_t> bytes(std::min(old, size));
    m.read(address, bytes.data(), bytes.size());
    m.write(moved, bytes.data(), bytes.size());
    release(address, "realloc", caller);
    return moved;
}

// Only what pawn.kvx calls in an evening. Every other import it names binds to a trap that ends the
// run naming DLL!function and its caller: the runtime's own failure reports (abort, _amsg_exit, its
// writes to stderr) end it so, named, where they are called.
void Pe32Shim::install() {
    using Fn = Pe32Machine::HostFunction;
    auto k32 = [&](const char* name, uint32_t argCount, Fn fn) {
        m.shimByName_[std::string("kernel32.dll!") + name] =
            m.addStub({std::string("KERNEL32.dll!") + name, 4 * argCount, true, std::move(fn), {}});
    };
    auto crt = [&](const char* name, Fn fn) {
        m.shimByName_[std::string("msvcrt.dll!") + name] = m.addStub({std::string("msvcrt.dll!") + name, 0, false, std::move(fn), {}});
    };
    auto data = [&](const char* name, uint32_t address) { m.shimByName_[std::string("msvcrt.dll!") + name] = address; };
    auto callerOf = [](Pe32Machine& m, uint32_t a) { return m.read32(a - 4); };

    errnoAddress = m.allocateSystem(4);
    mbCurMax = m.allocateSystem(4);
    m.write32(mbCurMax, 1);
    data("__mb_cur_max", mbCurMax);

    // --- KERNEL32
    k32("GetCurrentThreadId", 0, [this](Pe32Machine& m, uint32_t) { return m.read32(teb + kTebThreadId); });
    // One thread: a lock is always free and a semaphore is only made and closed.
    for (const char* name : {"InitializeCriticalSection", "EnterCriticalSection", "LeaveCriticalSection", "DeleteCriticalSection",
                             "CloseHandle"})
        k32(name, 1, [](Pe32Machine&, uint32_t) { return 1u; });
    k32("CreateSemaphoreW", 4, [this](Pe32Machine&, uint32_t) { return nextHandle += 4; });
    // Nothing is loaded from disk: asked by name (the runtime looks for a shared libgcc) no module is
    // there; no name is the process image.
    k32("GetModuleHandleA", 1, [](Pe32Machine& m, uint32_t a) {
        for (auto& image : m.images_)
            if (!m.arg(a, 0) && !image->isDll) return image->base;
        return 0u;
    });
    // One entry a call, as the native run records it, so that a lost or added line end is a difference.
    k32("OutputDebugStringA", 1, [](Pe32Machine& m, uint32_t a) {
        m.debugStrings.push_back(m.readString(m.arg(a, 0)));
        return 0u;
    });

    // --- msvcrt
    crt("malloc", [this](Pe32Machine& m, uint32_t a) { return allocate(m.arg(a, 0)); });
    // Never-reused heap memory is still as mapped, all zeros.
    crt("calloc", [this](Pe32Machine& m, uint32_t a) {
        uint64_t total = uint64_t(m.arg(a, 0)) * m.arg(a, 1);
        return total > kHeapSize ? 0u : allocate(uint32_t(total));
    });
    crt("realloc", [=, this](Pe32Machine& m, uint32_t a) { return reallocate(m.arg(a, 0), m.arg(a, 1), callerOf(m, a)); });
    crt("free", [=, this](Pe32Machine& m, uint32_t a) {
        release(m.arg(a, 0), "free", callerOf(m, a));
        return 0u;
    });

    crt("memcpy", [](Pe32Machine& m, uint32_t a) {
        std::vector<uint8_t> bytes(m.arg(a, 2));
        m.read(m.arg(a, 1), bytes.data(), bytes.size());
        m.write(m.arg(a, 0), bytes.data(), bytes.size());
        return m.arg(a, 0);
    });
    crt("memset", [](Pe32Machine& m, uint32_t a) {
        std::vector<uint8_t> bytes(m.arg(a, 2), uint8_t(m.arg(a, 1)));
        m.write(m.arg(a, 0), bytes.data(), bytes.size());
        return m.arg(a, 0);
    });
    crt("strlen", [](Pe32Machine& m, uint32_t a) { return uint32_t(m.readString(m.arg(a, 0)).size()); });
    crt("strchr", [](Pe32Machine& m, uint32_t a) {
        uint32_t s = m.arg(a, 0);
        char c = char(m.arg(a, 1));
        std::string text = m.readString(s);
        if (!c)  // the terminator is part of the string
            return s + uint32_t(text.size());
        size_t at = text.find(c);
        return at == std::string::npos ? 0u : s + uint32_t(at);
    });
    crt("strstr", [](Pe32Machine& m, uint32_t a) {
        uint32_t s = m.arg(a, 0);
        size_t at = m.readString(s).find(m.readString(m.arg(a, 1)));
        return at == std::string::npos ? 0u : s + uint32_t(at);
    });
    crt("_errno", [this](Pe32Machine&, uint32_t) { return errnoAddress; });
    for (const char* name : {"_lock", "_unlock"}) crt(name, [](Pe32Machine&, uint32_t) { return 0u; });
    crt("srand", [this](Pe32Machine& m, uint32_t a) {
        randState = m.arg(a, 0);
        return 0u;
    });
    crt("rand", [this](Pe32Machine&, uint32_t) {
        randState = randState * 214013u + 2531011u;
        return (randState >> 16) & 0x7FFFu;
    });
    crt("time", [](Pe32Machine& m, uint32_t a) {
        uint32_t now = m.options_.fixedTime, edx = 0;
        if (uint32_t out = m.arg(a, 0)) m.write32(out, now);
        uc_reg_write(m.uc_, UC_X86_REG_EDX, &edx);
        return now;
    });
    // _initterm runs guest code, so it is real code rather than a stub.
    m.shimByName_["msvcrt.dll!_initterm"] = kCodeBase + 0x10;
}
