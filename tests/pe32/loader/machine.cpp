// The emulated CPU, its address space and thread, and the crossing between C++ and guest code.
#include "shim.h"

#include <unicorn/unicorn.h>

#include <algorithm>
#include <cstdio>
#include <exception>

using namespace pe32;

namespace {

void check(uc_err err, const char* what) {
    if (err != UC_ERR_OK) throw Pe32Failure{std::string("unicorn: ") + what + ": " + uc_strerror(err)};
}

// The return address of every call from C++: reaching it ends uc_emu_start, so a guest call
// never needs a hook to come back.
constexpr uint32_t kReturnTrap = kCodeBase;
constexpr uint32_t kInitterm = kCodeBase + 0x10;
constexpr uint32_t kCpuid = kCodeBase + 0x40;

// _initterm(begin, end): calls each non-null entry. Real code, because a hook cannot call back
// into the guest without re-entering the emulator.
const uint8_t kInittermCode[] = {0x56, 0x57, 0x8b, 0x74, 0x24, 0x0c, 0x8b, 0x7c, 0x24, 0x10, 0x39, 0xfe, 0x73, 0x0d, 0x8b,
                                 0x06, 0x85, 0xc0, 0x74, 0x02, 0xff, 0xd0, 0x83, 0xc6, 0x04, 0xeb, 0xef, 0x5f, 0x5e, 0xc3};
// cpuid(leaf, subleaf, uint32_t out[4]) cdecl, to report what the guest sees.
const uint8_t kCpuidCode[] = {0x53, 0x57, 0x8b, 0x44, 0x24, 0x0c, 0x8b, 0x4c, 0x24, 0x10, 0x8b, 0x7c, 0x24, 0x14, 0x0f,
                              0xa2, 0x89, 0x07, 0x89, 0x5f, 0x04, 0x89, 0x4f, 0x08, 0x89, 0x57, 0x0c, 0x5f, 0x5b, 0xc3};

}  // namespace

struct Pe32Hooks {
    static void onStub(uc_engine* uc, uint64_t address, uint32_t, void* user) {
        auto& m = *static_cast<Pe32Machine*>(user);
        uint32_t index = (uint32_t(address) - kStubBase) / kStubSlot;
        if (index >= m.stubs_.size() || (address - kStubBase) % kStubSlot) return;
        auto& stub = m.stubs_[index];
        uint32_t esp = 0;
        uc_reg_read(uc, UC_X86_REG_ESP, &esp);
        uint32_t caller = m.read32(esp);
        if (m.options_.traceShimCalls) std::fprintf(stderr, "pe32: %s from %s\n", stub.name.c_str(), m.describe(caller).c_str());
        if (!stub.failure.empty()) {
            m.pendingFailure_ = stub.failure + ", called from " + m.describe(caller);
            uc_emu_stop(uc);
            return;
        }
        try {
            uint32_t eax = stub.fn(m, esp + 4);
            uc_reg_write(uc, UC_X86_REG_EAX, &eax);
        } catch (const Pe32Failure& failure) {
            // A bad pointer handed to the shim faults here, not in the guest: say whose call it was.
            m.pendingFailure_ = failure.message;
            if (failure.message.find("called from") == std::string::npos)
                m.pendingFailure_ += " (in " + stub.name + ", called from " + m.describe(caller) + ")";
            uc_emu_stop(uc);
        } catch (const std::exception& error) {
            // Nothing may unwind through the emulator's C frames.
            m.pendingFailure_ = stub.name + " threw: " + error.what();
            uc_emu_stop(uc);
        }
    }

    static bool onInvalidMemory(uc_engine* uc, uc_mem_type type, uint64_t address, int size, int64_t, void* user) {
        auto& m = *static_cast<Pe32Machine*>(user);
        uint32_t eip = 0, esp = 0;
        uc_reg_read(uc, UC_X86_REG_EIP, &eip);
        uc_reg_read(uc, UC_X86_REG_ESP, &esp);
        if (type == UC_MEM_FETCH_UNMAPPED || type == UC_MEM_FETCH_PROT) {
            // A jump through a bad pointer: the fault address says nothing, the call that made it does.
            uint32_t returnAddress = 0;
            uc_mem_read(uc, esp, &returnAddress, 4);
            m.pendingFailure_ = "fault: execution at unmapped address " + pe32Hex(uint32_t(address)) +
                                " (return address on the stack: " + m.describe(returnAddress) + ")";
        } else {
            const char* access = (type == UC_MEM_WRITE_UNMAPPED || type == UC_MEM_WRITE_PROT) ? "write" : "read";
            m.pendingFailure_ = std::string("fault: ") + access + " of " + std::to_string(size) + " bytes at unmapped address " +
                                pe32Hex(uint32_t(address)) + " by " + m.describe(eip);
        }
        return false;
    }

    static void onInterrupt(uc_engine* uc, uint32_t number, void* user) {
        auto& m = *static_cast<Pe32Machine*>(user);
        uint32_t eip = 0;
        uc_reg_read(uc, UC_X86_REG_EIP, &eip);
        const char* name = number == 3 ? " (int3)" : number == 6 ? " (invalid instruction)" : number == 0 ? " (divide error)" : "";
        m.pendingFailure_ = "fault: interrupt " + std::to_string(number) + name + " at " + m.describe(eip);
        uc_emu_stop(uc);
    }
};

Pe32Machine::Pe32Machine(Pe32Options options)
    : options_(options),
      nextImageBase_(kFirstImageBase),
      systemNext_(kSystemBase) {
    check(uc_open(UC_ARCH_X86, UC_MODE_32, &uc_), "open");
    // A pre-AVX model, for the vendor and signature. Unicorn 2.0.1 sets the feature words itself at
    // reset, whatever the model: SSE to SSE4.2 and AES, BMI1/BMI2 in leaf 7, no OSXSAVE, no AVX of any
    // width, so the module's kernel dispatch must take its SSE2 path. cpuidReport() shows it.
    check(uc_ctl_set_cpu_model(uc_, UC_CPU_X86_NEHALEM), "cpu model");
    check(uc_mem_map(uc_, kStackBase, kStackSize, UC_PROT_ALL), "map stack");
    check(uc_mem_map(uc_, kHeapBase, kHeapSize, UC_PROT_ALL), "map heap");
    check(uc_mem_map(uc_, kStubBase, kStubArea + kCodeSize, UC_PROT_ALL), "map stubs");
    check(uc_mem_map(uc_, kSystemBase, kSystemSize, UC_PROT_ALL), "map system area");

    std::vector<uint8_t> fill(kStubArea + kCodeSize, 0xCC);
    write(kStubBase, fill.data(), fill.size());
    write(kInitterm, kInittermCode, sizeof kInittermCode);
    write(kCpuid, kCpuidCode, sizeof kCpuidCode);

    uc_hook hook;
    check(uc_hook_add(uc_, &hook, UC_HOOK_CODE, (void*)Pe32Hooks::onStub, this, kStubBase, kStubBase + kStubArea - 1), "stub hook");
    check(uc_hook_add(uc_, &hook, UC_HOOK_MEM_INVALID, (void*)Pe32Hooks::onInvalidMemory, this, 1, 0), "memory hook");
    check(uc_hook_add(uc_, &hook, UC_HOOK_INTR, (void*)Pe32Hooks::onInterrupt, this, 1, 0), "interrupt hook");

    uint32_t teb = setUpThread();
    shim_ = std::make_unique<Pe32Shim>(*this);
    shim_->teb = teb;
    shim_->install();
}

Pe32Machine::~Pe32Machine() { uc_close(uc_); }

uint32_t Pe32Machine::setUpThread() {
    uint32_t peb = allocateSystem(0x1000);
    uint32_t teb = allocateSystem(0x1000);
    tlsArray_ = allocateSystem(4 * kTlsSlots);
    write32(teb + 0x00, 0xFFFFFFFF);  // end of the SEH chain
    write32(teb + kTebStackBase, kStackBase + kStackSize);
    write32(teb + kTebStackLimit, kStackBase);
    write32(teb + kTebSelf, teb);
    write32(teb + kTebThreadId, 0x14);
    write32(teb + kTebTlsPointer, tlsArray_);
    write32(teb + kTebPeb, peb);

    // A GDT as Windows' user mode has it: flat 32-bit data for SS, DS and ES (SS's B flag makes
    // pushes 32-bit) and FS on the TEB. The CPU stays at CPL 0, so SS is a ring-0 segment.
    uint32_t gdt = allocateSystem(8 * 8);
    auto descriptor = [&](uint32_t index, uint32_t base, uint32_t limit, uint32_t access, uint32_t flags) {
        write32(gdt + 8 * index, (limit & 0xFFFF) | ((base & 0xFFFF) << 16));
        write32(gdt + 8 * index + 4, ((base >> 16) & 0xFF) | (access << 8) | (limit & 0xF0000) | (flags << 20) | (base & 0xFF000000));
    };
    descriptor(2, 0, 0xFFFFF, 0x92, 0xC);  // ring-0 flat data, 4 KB granularity
    descriptor(4, 0, 0xFFFFF, 0xF2, 0xC);  // ring-3 flat data
    descriptor(7, teb, 0xFFF, 0xF2, 0x4);  // the TEB, byte granularity
    uc_x86_mmr gdtr = {0, gdt, 8 * 8 - 1, 0};
    check(uc_reg_write(uc_, UC_X86_REG_GDTR, &gdtr), "GDTR");
    uint32_t ss = 2 << 3, data = (4 << 3) | 3, fs = (7 << 3) | 3;
    check(uc_reg_write(uc_, UC_X86_REG_SS, &ss), "SS");
    check(uc_reg_write(uc_, UC_X86_REG_DS, &data), "DS");
    check(uc_reg_write(uc_, UC_X86_REG_ES, &data), "ES");
    check(uc_reg_write(uc_, UC_X86_REG_GS, &data), "GS");
    check(uc_reg_write(uc_, UC_X86_REG_FS, &fs), "FS");

    // SSE needs the OS to say it saves the state (OSFXSR) and handles SIMD exceptions (OSXMMEXCPT);
    // x87 on, not emulated.
    uint32_t cr0 = 0, cr4 = 0;
    uc_reg_read(uc_, UC_X86_REG_CR0, &cr0);
    cr0 = (cr0 | 0x1 | 0x2 | 0x20) & ~uint32_t(0x4 | 0x8);
    check(uc_reg_write(uc_, UC_X86_REG_CR0, &cr0), "CR0");
    uc_reg_read(uc_, UC_X86_REG_CR4, &cr4);
    cr4 |= 0x200 | 0x400;
    check(uc_reg_write(uc_, UC_X86_REG_CR4, &cr4), "CR4");
    // Windows starts a thread's x87 at 53-bit precision, not the reset value's 64.
    uint32_t fpcw = 0x27F, mxcsr = 0x1F80;
    uc_reg_write(uc_, UC_X86_REG_FPCW, &fpcw);
    uc_reg_write(uc_, UC_X86_REG_MXCSR, &mxcsr);
    uint32_t esp = kStackBase + kStackSize - 64;
    uc_reg_write(uc_, UC_X86_REG_ESP, &esp);
    return teb;
}

uint32_t Pe32Machine::allocateSystem(uint32_t size, const void* init) {
    uint32_t align = size >= 0x1000 ? 0x1000 : 16;
    uint32_t address = (systemNext_ + align - 1) & ~(align - 1);
    if (address + size > kSystemBase + kSystemSize) fail("the loader's system area is full");
    systemNext_ = address + size;
    if (init) write(address, init, size);
    return address;
}

uint32_t Pe32Machine::addStub(Stub stub) {
    uint32_t address = kStubBase + kStubSlot * uint32_t(stubs_.size());
    if (address + kStubSlot > kStubBase + kStubArea) fail("no room for another shim stub");
    // The stub's only instruction is its return: the hook runs before it and sets EAX.
    uint8_t code[3] = {0xC3, 0, 0};
    if (stub.stdcall && stub.argBytes) code[0] = 0xC2, code[1] = uint8_t(stub.argBytes), code[2] = uint8_t(stub.argBytes >> 8);
    write(address, code, sizeof code);
    stubs_.push_back(std::move(stub));
    return address;
}

uint32_t Pe32Machine::addHostFunction(const std::string& name, HostFunction fn) { return addStub({name, 0, false, std::move(fn), {}}); }

uint32_t Pe32Machine::read32(uint32_t address) {
    uint32_t value = 0;
    read(address, &value, 4);
    return value;
}

void Pe32Machine::write32(uint32_t address, uint32_t value) { write(address, &value, 4); }

void Pe32Machine::read(uint32_t address, void* out, size_t size) {
    if (size && uc_mem_read(uc_, address, out, size) != UC_ERR_OK)
        fail("shim read of " + std::to_string(size) + " bytes at unmapped address " + pe32Hex(address));
}

void Pe32Machine::write(uint32_t address, const void* data, size_t size) {
    if (size && uc_mem_write(uc_, address, data, size) != UC_ERR_OK)
        fail("shim write of " + std::to_string(size) + " bytes at unmapped address " + pe32Hex(address));
}

// A byte at a time, so a string that ends just before unmapped memory still reads.
std::string Pe32Machine::readString(uint32_t address, size_t limit) {
    std::string text;
    for (char c; text.size() < limit; text += c) {
        read(address++, &c, 1);
        if (!c) break;
    }
    return text;
}

void Pe32Machine::fail(const std::string& message) { throw Pe32Failure{message}; }

std::string pe32Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", value);
    return text;
}

std::string Pe32Machine::describe(uint32_t address) const {
    if (address >= kStubBase && address < kStubBase + kStubArea) {
        uint32_t index = (address - kStubBase) / kStubSlot;
        if (index < stubs_.size()) return "shim " + stubs_[index].name + " (" + pe32Hex(address) + ")";
    }
    if (address >= kCodeBase && address < kCodeBase + kCodeSize) return "loader code " + pe32Hex(address);
    for (auto& image : images_) {
        if (address < image->base || address - image->base >= image->size) continue;
        uint32_t rva = address - image->base;
        char text[64];
        std::snprintf(text, sizeof text, "+0x%x", rva);
        // The offset is what a disassembly of the image file shows; the section says code or data.
        std::string section = "headers";
        for (auto& s : image->sections)
            if (rva >= s.rva && rva < s.rva + s.size) section = s.name;
        return image->name + text + " (" + section + ")";
    }
    return pe32Hex(address) + " (outside every image)";
}

uint32_t Pe32Machine::call(uint32_t function, const std::vector<uint32_t>& args) {
    uint32_t esp = 0;
    uc_reg_read(uc_, UC_X86_REG_ESP, &esp);
    const uint32_t saved = esp;
    for (auto it = args.rbegin(); it != args.rend(); ++it) esp -= 4, write32(esp, *it);
    esp -= 4, write32(esp, kReturnTrap);
    uc_reg_write(uc_, UC_X86_REG_ESP, &esp);

    pendingFailure_.clear();
    uint64_t timeout = uint64_t(options_.timeLimitSeconds * 1e6);
    uc_err err = uc_emu_start(uc_, function, kReturnTrap, timeout, 0);
    uint32_t eip = 0, eax = 0;
    uc_reg_read(uc_, UC_X86_REG_EIP, &eip);
    uc_reg_read(uc_, UC_X86_REG_EAX, &eax);
    uc_reg_write(uc_, UC_X86_REG_ESP, &saved);
    if (!pendingFailure_.empty()) fail(pendingFailure_);
    if (err != UC_ERR_OK) fail(std::string("fault: ") + uc_strerror(err) + " at " + describe(eip));
    if (eip != kReturnTrap) {
        size_t timedOut = 0;
        uc_query(uc_, UC_QUERY_TIMEOUT, &timedOut);
        if (timedOut) fail("run exceeded the time limit of " + std::to_string(options_.timeLimitSeconds) + " s, at " + describe(eip));
        fail("emulation stopped early at " + describe(eip));
    }
    return eax;
}

uint32_t Pe32Machine::exportAddress(const Pe32Image& image, const std::string& name) const {
    auto it = image.exportsByName.find(name);
    if (it == image.exportsByName.end()) throw Pe32Failure{image.name + " exports no '" + name + "'"};
    return it->second;
}

uint32_t Pe32Machine::shimAddress(const std::string& dll, const std::string& name) const {
    auto it = shimByName_.find(pe32Lower(dll) + "!" + name);
    return it == shimByName_.end() ? 0 : it->second;
}

void Pe32Machine::runTls(Pe32Image& image, uint32_t reason) {
    for (uint32_t callback : image.tlsCallbacks) call(callback, {image.base, reason, 0});
}

void Pe32Machine::attach(Pe32Image& image) {
    runTls(image, 1);
    // An EXE's entry point is its main, which the caller runs with its own arguments.
    if (image.isDll && image.entryPoint && !call(image.entryPoint, {image.base, 1, 0}))
        fail("DllMain of " + image.name + " returned FALSE for DLL_PROCESS_ATTACH");
}

void Pe32Machine::detach(Pe32Image& image) {
    runTls(image, 0);
    if (image.isDll && image.entryPoint) call(image.entryPoint, {image.base, 0, 0});
}

size_t Pe32Machine::liveBlockCount() const { return shim_->live.size(); }

std::string Pe32Machine::cpuidReport() {
    uint32_t out = allocateSystem(16);
    uint32_t leaf1[4], leaf7[4];
    auto leaf = [&](uint32_t eax, uint32_t* registers) {
        call(kCpuid, {eax, 0, out});
        read(out, registers, 16);
    };
    leaf(1, leaf1);
    leaf(7, leaf7);  // the Nehalem model's highest leaf is 11
    std::string text = "signature " + pe32Hex(leaf1[0]) + ":";
    auto flag = [&](bool on, const char* name) { text += std::string(" ") + (on ? "+" : "-") + name; };
    flag(leaf1[3] & (1u << 26), "sse2");
    flag(leaf1[2] & (1u << 28), "avx");
    flag(leaf7[1] & (1u << 5), "avx2");
    flag(leaf7[1] & (1u << 16), "avx512f");
    return text;
}
