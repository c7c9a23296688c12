// The KERNEL32 and msvcrt functions the images import, implemented on guest memory.
#pragma once

#include "pe32_loader.h"

#include <map>
#include <set>

// Guest address space. The first megabyte stays unmapped so a null pointer faults; 0x00400000 up
// stays free for an EXE that cannot move.
namespace pe32 {
constexpr uint32_t kStackBase = 0x00100000, kStackSize = 0x00200000;
constexpr uint32_t kHeapBase = 0x40000000, kHeapSize = 0x20000000;
constexpr uint32_t kFirstImageBase = 0x20000000;
constexpr uint32_t kStubBase = 0x70000000, kStubSlot = 8, kStubArea = 0x8000;
constexpr uint32_t kCodeBase = kStubBase + kStubArea, kCodeSize = 0x8000;
constexpr uint32_t kSystemBase = 0x71000000, kSystemSize = 0x00400000;
// TEB offsets that MinGW's runtime and MSVC-built code read through FS.
constexpr uint32_t kTebStackBase = 0x04, kTebStackLimit = 0x08, kTebSelf = 0x18, kTebThreadId = 0x24, kTebTlsPointer = 0x2C, kTebPeb = 0x30;
constexpr uint32_t kTlsSlots = 64;
}  // namespace pe32

struct Pe32Shim {
    explicit Pe32Shim(Pe32Machine& machine);
    void install();

    struct Block {
        uint32_t requested, capacity;
    };
    uint32_t allocate(uint32_t size);
    void release(uint32_t address, const char* function, uint32_t caller);
    uint32_t reallocate(uint32_t address, uint32_t size, uint32_t caller);

    Pe32Machine& m;
    uint32_t teb = 0;
    uint32_t heapNext = pe32::kHeapBase;
    std::map<uint32_t, Block> live;
    std::set<uint32_t> freed;  // to tell a double free from a wild pointer
    uint32_t nextHandle = 0x100;
    uint32_t randState = 1;
    uint32_t errnoAddress = 0, mbCurMax = 0;
};

std::string pe32Lower(std::string text);
std::string pe32Hex(uint32_t value);  // "0x0012abcd"
