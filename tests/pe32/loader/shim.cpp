// KERNEL32 (stdcall) and msvcrt (cdecl) as pawn.kvx imports them, for one thread.
#include "shim.h"

#include <unicorn/unicorn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace pe32;

namespace {

constexpr uint32_t kFileSize = 32;  // sizeof(FILE) in msvcrt, the stride of _iob
constexpr uint32_t kInfinite = 0xFFFFFFFF, kWaitTimeout = 0x102, kWaitFailed = 0xFFFFFFFF;

// Code pages are treated as Latin-1 to UTF-16 and back, with '?' for what does not fit (the module
// only converts ASCII names).
std::string narrow(const std::u16string& wide) {
    std::string text;
    for (char16_t c : wide) text += c < 0x80 ? char(c) : '?';
    return text;
}

}  // namespace

Pe32Shim::Pe32Shim(Pe32Machine& machine) : m(machine) {}

uint32_t Pe32Shim::allocate(uint32_t size) {
    uint32_t capacity = std::max<uint32_t>(16, (size + 15) & ~15u);
    if (size > kHeapSize) return 0;
    // Best fit among freed blocks, but never one more than twice too big, so the heap stays compact
    // without splitting.
    auto it = freeBySize.lower_bound(capacity);
    uint32_t address;
    if (it != freeBySize.end() && it->first <= 2 * capacity) {
        capacity = it->first, address = it->second;
        freeBySize.erase(it);
        freed.erase(address);
    } else {
        if (heapNext + capacity > kHeapBase + kHeapSize || heapNext + capacity < heapNext) return 0;
        address = heapNext;
        heapNext += capacity;
    }
    live[address] = {size, capacity};
    return address;
}

void Pe32Shim::release(uint32_t address, const char* function, uint32_t caller) {
    if (!address) return;
    auto it = live.find(address);
    if (it == live.end())
        m.fail(std::string(function) + (freed.count(address) ? " of an already freed block " : " of a pointer that is no heap block ") +
               pe32Hex(address) + ", called from " + m.describe(caller));
    freeBySize.emplace(it->second.capacity, address);
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
    auto setLastError = [this](uint32_t code) { m.write32(teb + kTebLastError, code); };

    errnoAddress = m.allocateSystem(4);
    mbCurMax = m.allocateSystem(4);
    m.write32(mbCurMax, 1);
    iob = m.allocateSystem(3 * kFileSize);
    strerrorBuffer = m.allocateSystem(256);
    localeName = m.systemString("C");
    // msvcrt's lconv: ten strings then eight chars; "C" locale: "." and empty, chars CHAR_MAX.
    lconv = m.allocateSystem(48);
    uint32_t empty = m.systemString(""), point = m.systemString(".");
    for (int i = 0; i < 10; ++i) m.write32(lconv + 4 * i, i == 0 ? point : empty);
    std::vector<uint8_t> charMax(8, 127);
    m.write(lconv + 40, charMax.data(), 8);
    for (const char* module : {"kernel32.dll", "msvcrt.dll", "ntdll.dll"}) pseudoModules[module] = m.allocateSystem(0x1000);

    data("__mb_cur_max", mbCurMax);
    data("_iob", iob);

    // --- KERNEL32
    k32("GetLastError", 0, [this](Pe32Machine& m, uint32_t) { return m.read32(teb + kTebLastError); });
    k32("SetLastError", 1, [=](Pe32Machine& m, uint32_t a) {
        setLastError(m.arg(a, 0));
        return 0u;
    });
    k32("GetCurrentThreadId", 0, [this](Pe32Machine& m, uint32_t) { return m.read32(teb + kTebThreadId); });
    k32("Sleep", 1, [](Pe32Machine&, uint32_t) { return 0u; });
    k32("CloseHandle", 1, [this](Pe32Machine& m, uint32_t a) {
        semaphores.erase(m.arg(a, 0));
        return 1u;
    });

    k32("TlsAlloc", 0, [this](Pe32Machine& m, uint32_t) {
        for (uint32_t i = 0; i < kTlsSlots; ++i)
            if (!tlsUsed[i]) {
                tlsUsed[i] = true;
                m.write32(teb + kTebTlsSlots + 4 * i, 0);
                return i;
            }
        return 0xFFFFFFFFu;
    });
    k32("TlsFree", 1, [this](Pe32Machine& m, uint32_t a) {
        uint32_t i = m.arg(a, 0);
        if (i >= kTlsSlots || !tlsUsed[i]) return 0u;
        tlsUsed[i] = false;
        return 1u;
    });
    k32("TlsGetValue", 1, [=, this](Pe32Machine& m, uint32_t a) {
        uint32_t i = m.arg(a, 0);
        if (i >= kTlsSlots) {
            setLastError(87);
            return 0u;
        }
        // Callers tell a stored null from a failure by the last error, so success clears it.
        setLastError(0);
        return m.read32(teb + kTebTlsSlots + 4 * i);
    });
    k32("TlsSetValue", 2, [this](Pe32Machine& m, uint32_t a) {
        uint32_t i = m.arg(a, 0);
        if (i >= kTlsSlots) return 0u;
        m.write32(teb + kTebTlsSlots + 4 * i, m.arg(a, 1));
        return 1u;
    });

    // One thread: a lock is always free. The section is zeroed so code that peeks at it sees it unowned.
    k32("InitializeCriticalSection", 1, [](Pe32Machine& m, uint32_t a) {
        uint8_t zero[24] = {};
        m.write(m.arg(a, 0), zero, sizeof zero);
        return 0u;
    });
    for (const char* name : {"EnterCriticalSection", "LeaveCriticalSection", "DeleteCriticalSection"})
        k32(name, 1, [](Pe32Machine&, uint32_t) { return 0u; });

    k32("CreateSemaphoreW", 4, [this](Pe32Machine& m, uint32_t a) {
        uint32_t handle = nextHandle;
        nextHandle += 4;
        semaphores[handle] = {int32_t(m.arg(a, 1)), int32_t(m.arg(a, 2))};
        return handle;
    });
    k32("ReleaseSemaphore", 3, [this](Pe32Machine& m, uint32_t a) {
        auto it = semaphores.find(m.arg(a, 0));
        if (it == semaphores.end()) return 0u;
        if (uint32_t previous = m.arg(a, 2)) m.write32(previous, uint32_t(it->second.count));
        it->second.count += int32_t(m.arg(a, 1));
        return 1u;
    });
    k32("WaitForSingleObject", 2, [this](Pe32Machine& m, uint32_t a) {
        uint32_t handle = m.arg(a, 0), timeout = m.arg(a, 1);
        auto it = semaphores.find(handle);
        if (it == semaphores.end()) return kWaitFailed;
        if (it->second.count > 0) {
            --it->second.count;
            return 0u;
        }
        // No other thread exists to release it.
        if (timeout == kInfinite)
            m.fail("WaitForSingleObject would wait forever on semaphore " + pe32Hex(handle) + ", called from " +
                   m.describe(m.read32(a - 4)));
        return kWaitTimeout;
    });

    // Nothing is loaded from disk: a library is found if it is one of the images or the shim; no name is
    // the process image.
    auto moduleHandle = [=, this](const std::string* requested) -> uint32_t {
        uint32_t handle = 0;
        std::string name = requested ? pe32Lower(*requested) : "";
        if (auto slash = name.find_last_of("/\\"); slash != std::string::npos) name = name.substr(slash + 1);
        if (requested && name.find('.') == std::string::npos) name += ".dll";
        for (auto& image : m.images())
            if (requested ? pe32Lower(image->name) == name : !image->isDll) handle = handle ? handle : image->base;
        if (auto it = pseudoModules.find(name); !handle && it != pseudoModules.end()) handle = it->second;
        if (!handle) setLastError(126);
        return handle;
    };
    k32("GetModuleHandleA", 1, [=](Pe32Machine& m, uint32_t a) {
        std::string name = m.arg(a, 0) ? m.readString(m.arg(a, 0)) : "";
        return moduleHandle(m.arg(a, 0) ? &name : nullptr);
    });
    k32("GetModuleHandleW", 1, [=](Pe32Machine& m, uint32_t a) {
        std::string name = m.arg(a, 0) ? narrow(m.readWideString(m.arg(a, 0))) : "";
        return moduleHandle(m.arg(a, 0) ? &name : nullptr);
    });
    k32("LoadLibraryA", 1, [=](Pe32Machine& m, uint32_t a) {
        std::string name = m.readString(m.arg(a, 0));
        return moduleHandle(&name);
    });
    k32("FreeLibrary", 1, [](Pe32Machine&, uint32_t) { return 1u; });
    // By name only, as pawn.kvx asks: an ordinal would be read as a name at a low address and fault, named.
    k32("GetProcAddress", 2, [=, this](Pe32Machine& m, uint32_t a) {
        uint32_t module = m.arg(a, 0);
        std::string name = m.readString(m.arg(a, 1));
        for (auto& image : m.images())
            if (auto it = image->exportsByName.find(name); image->base == module && it != image->exportsByName.end()) return it->second;
        for (auto& [dll, handle] : pseudoModules)
            if (auto it = m.shimByName_.find(dll + "!" + name); handle == module && it != m.shimByName_.end()) return it->second;
        setLastError(127);
        return 0u;
    });

    k32("VirtualQuery", 3, [this](Pe32Machine& m, uint32_t a) {
        uint32_t address = m.arg(a, 0), info = m.arg(a, 1), length = m.arg(a, 2);
        if (length < 28) return 0u;
        uint32_t page = address & ~0xFFFu;
        uint32_t record[7] = {page, 0, 0, 0, 0x10000 /* MEM_FREE */, 0x01, 0};
        for (auto& image : m.images())
            if (address >= image->base && address - image->base < image->size) {
                // Every image page is RWX here, and says so.
                record[1] = image->base, record[2] = 0x40, record[3] = image->base + image->size - page;
                record[4] = 0x1000 /* MEM_COMMIT */, record[5] = 0x40, record[6] = 0x1000000 /* MEM_IMAGE */;
            }
        if (!record[1]) {
            uc_mem_region* regions = nullptr;
            uint32_t count = 0;
            uc_mem_regions(m.engine(), &regions, &count);
            for (uint32_t i = 0; i < count; ++i)
                if (address >= regions[i].begin && address <= regions[i].end) {
                    record[1] = uint32_t(regions[i].begin), record[2] = 0x04;
                    record[3] = uint32_t(regions[i].end + 1 - page);
                    record[4] = 0x1000, record[5] = 0x04, record[6] = 0x20000 /* MEM_PRIVATE */;
                }
            uc_free(regions);
        }
        m.write(info, record, sizeof record);
        return 28u;
    });
    k32("VirtualProtect", 4, [](Pe32Machine& m, uint32_t a) {
        if (uint32_t old = m.arg(a, 3)) m.write32(old, 0x40);
        return 1u;
    });

    k32("OutputDebugStringA", 1, [](Pe32Machine& m, uint32_t a) {
        std::string text = m.readString(m.arg(a, 0));
        for (size_t start = 0, end; start < text.size(); start = end + 1) {
            end = std::min(text.find('\n', start), text.size());
            std::string line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            m.debugStrings.push_back(line);
        }
        return 0u;
    });

    // Both conversions answer the length they need for a target length of 0, and fail with
    // ERROR_INSUFFICIENT_BUFFER for a target too short.
    auto fits = [=](int32_t targetLength, size_t needed) {
        if (size_t(targetLength) < needed) setLastError(122);
        return size_t(targetLength) >= needed;
    };
    k32("MultiByteToWideChar", 6, [=](Pe32Machine& m, uint32_t a) {
        uint32_t source = m.arg(a, 2), target = m.arg(a, 4);
        int32_t sourceLength = int32_t(m.arg(a, 3)), targetLength = int32_t(m.arg(a, 5));
        std::string text = sourceLength < 0 ? m.readString(source) + '\0' : std::string(size_t(sourceLength), '\0');
        if (sourceLength >= 0) m.read(source, text.data(), text.size());
        if (!targetLength || !fits(targetLength, text.size())) return targetLength ? 0u : uint32_t(text.size());
        std::vector<uint16_t> wide(text.size());
        for (size_t i = 0; i < text.size(); ++i) wide[i] = uint8_t(text[i]);
        m.write(target, wide.data(), 2 * wide.size());
        return uint32_t(wide.size());
    });
    k32("WideCharToMultiByte", 8, [=](Pe32Machine& m, uint32_t a) {
        uint32_t source = m.arg(a, 2), target = m.arg(a, 4), usedDefault = m.arg(a, 7);
        int32_t sourceLength = int32_t(m.arg(a, 3)), targetLength = int32_t(m.arg(a, 5));
        std::u16string wide = sourceLength < 0 ? m.readWideString(source) + u'\0' : std::u16string(size_t(sourceLength), u'\0');
        if (sourceLength >= 0) m.read(source, wide.data(), 2 * wide.size());
        if (!targetLength || !fits(targetLength, wide.size())) return targetLength ? 0u : uint32_t(wide.size());
        std::string text = narrow(wide);
        m.write(target, text.data(), text.size());
        if (usedDefault) m.write32(usedDefault, std::any_of(wide.begin(), wide.end(), [](char16_t c) { return c >= 0x80; }));
        return uint32_t(text.size());
    });
    k32("IsDBCSLeadByteEx", 2, [](Pe32Machine&, uint32_t) { return 0u; });

    // --- msvcrt
    crt("malloc", [this](Pe32Machine& m, uint32_t a) { return allocate(m.arg(a, 0)); });
    crt("calloc", [this](Pe32Machine& m, uint32_t a) {
        uint64_t total = uint64_t(m.arg(a, 0)) * m.arg(a, 1);
        if (total > kHeapSize) return 0u;
        uint32_t address = allocate(uint32_t(total));
        std::vector<uint8_t> zero(total, 0);
        if (address) m.write(address, zero.data(), zero.size());
        return address;
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
    crt("wcslen", [](Pe32Machine& m, uint32_t a) { return uint32_t(m.readWideString(m.arg(a, 0)).size()); });
    crt("strcmp", [](Pe32Machine& m, uint32_t a) {
        int r = std::strcmp(m.readString(m.arg(a, 0)).c_str(), m.readString(m.arg(a, 1)).c_str());
        return uint32_t(r < 0 ? -1 : r > 0);
    });
    crt("strncmp", [](Pe32Machine& m, uint32_t a) {
        uint32_t n = m.arg(a, 2);
        int r = std::strncmp(m.readString(m.arg(a, 0), n).c_str(), m.readString(m.arg(a, 1), n).c_str(), n);
        return uint32_t(r < 0 ? -1 : r > 0);
    });
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
    crt("atoi", [](Pe32Machine& m, uint32_t a) { return uint32_t(std::atoi(m.readString(m.arg(a, 0), 64).c_str())); });
    crt("strerror", [this](Pe32Machine& m, uint32_t a) {
        std::string text = std::strerror(int(m.arg(a, 0)));
        text = text.substr(0, 255);
        m.write(strerrorBuffer, text.c_str(), text.size() + 1);
        return strerrorBuffer;
    });
    crt("_errno", [this](Pe32Machine&, uint32_t) { return errnoAddress; });
    crt("_lock", [](Pe32Machine&, uint32_t) { return 0u; });
    crt("_unlock", [](Pe32Machine&, uint32_t) { return 0u; });
    crt("localeconv", [this](Pe32Machine&, uint32_t) { return lconv; });
    crt("setlocale", [this](Pe32Machine& m, uint32_t a) {
        uint32_t locale = m.arg(a, 1);
        if (!locale) return localeName;
        std::string name = m.readString(locale, 64);
        return name.empty() || name == "C" ? localeName : 0u;
    });
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
        uc_reg_write(m.engine(), UC_X86_REG_EDX, &edx);
        return now;
    });
    crt("abort", [=](Pe32Machine& m, uint32_t a) -> uint32_t { m.fail("abort() called from " + m.describe(callerOf(m, a))); });
    crt("_amsg_exit", [=](Pe32Machine& m, uint32_t a) -> uint32_t {
        m.fail("_amsg_exit(" + std::to_string(m.arg(a, 0)) + ") called from " + m.describe(callerOf(m, a)));
    });
    // _initterm runs guest code, so it is real code rather than a stub.
    m.shimByName_["msvcrt.dll!_initterm"] = kCodeBase + 0x10;

    auto stream = [this](Pe32Machine& m, uint32_t file, uint32_t caller) -> std::string& {
        if (file == iob + kFileSize) return m.capturedStdout;
        if (file == iob + 2 * kFileSize) return m.capturedStderr;
        m.fail("write to a FILE* that is neither stdout nor stderr (" + pe32Hex(file) + "), called from " + m.describe(caller));
    };
    crt("fwrite", [=](Pe32Machine& m, uint32_t a) {
        uint32_t count = m.arg(a, 2);
        std::string bytes(size_t(m.arg(a, 1)) * count, '\0');
        m.read(m.arg(a, 0), bytes.data(), bytes.size());
        stream(m, m.arg(a, 3), callerOf(m, a)) += bytes;
        return count;
    });
    crt("fputs", [=](Pe32Machine& m, uint32_t a) {
        stream(m, m.arg(a, 1), callerOf(m, a)) += m.readString(m.arg(a, 0));
        return 0u;
    });
    crt("fputc", [=](Pe32Machine& m, uint32_t a) {
        stream(m, m.arg(a, 1), callerOf(m, a)) += char(m.arg(a, 0));
        return m.arg(a, 0) & 0xFF;
    });
    crt("vfprintf", [=](Pe32Machine& m, uint32_t a) {
        std::string text = pe32Format(m, m.readString(m.arg(a, 1)), m.arg(a, 2));
        stream(m, m.arg(a, 0), callerOf(m, a)) += text;
        return uint32_t(text.size());
    });
}
