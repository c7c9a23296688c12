// A small single-threaded Windows loader on the Unicorn CPU emulator: maps PE32 images, resolves
// their imports against a C++ shim of the KERNEL32 and msvcrt functions the shipping DLL uses, gives
// them a thread environment as Windows does (TEB through FS, static TLS, SSE enabled) and calls
// guest functions from C++. Enough to run pawn.kvx and a test host built with MSVC's ABI.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct uc_struct;
struct Pe32Shim;

struct Pe32Options {
    double timeLimitSeconds = 60.0;   // per call from C++; cheap, a timer in the emulator
    uint32_t fixedTime = 1000000000;  // what the guest's time() answers, so runs are reproducible
    bool traceShimCalls = false;      // one stderr line per shim call, with its caller
};

struct Pe32Image {
    std::string name;  // file name as GetModuleHandle matches it ("pawn.kvx")
    uint32_t base = 0;
    uint32_t preferredBase = 0;
    uint32_t size = 0;
    uint32_t entryPoint = 0;  // VA, 0 if none
    bool isDll = false;
    struct Section {
        std::string name;
        uint32_t rva, size;
    };
    std::vector<Section> sections;
    std::map<std::string, uint32_t> exportsByName;  // VA
    std::vector<uint32_t> tlsCallbacks;             // VAs, in the directory's order
};

// Thrown by the machine for what ends a run: a fault, an unresolved call, abort, a limit.
struct Pe32Failure {
    std::string message;
};

class Pe32Machine {
public:
    explicit Pe32Machine(Pe32Options options = {});
    ~Pe32Machine();
    Pe32Machine(const Pe32Machine&) = delete;
    Pe32Machine& operator=(const Pe32Machine&) = delete;

    // Maps, relocates and binds an image; a relocatable image never lands at its preferred base.
    Pe32Image& load(const std::string& path);
    // TLS callbacks then the entry point, as the Windows loader runs them.
    void attach(Pe32Image& image);
    void detach(Pe32Image& image);

    // cdecl (the caller pops) or stdcall: the stack is restored either way. Throws Pe32Failure.
    uint32_t call(uint32_t function, const std::vector<uint32_t>& args);
    uint32_t exportAddress(const Pe32Image& image, const std::string& name) const;
    // The stub (or data) address an import of dll!name binds to; 0 if the shim lacks it.
    uint32_t shimAddress(const std::string& dll, const std::string& name) const;

    // A cdecl host function the guest may call; returns its stub address. It reads its arguments at
    // argsAddress, returns EAX, may throw Pe32Failure to end the run, and must not call guest code
    // itself (the emulator does not nest).
    using HostFunction = std::function<uint32_t(Pe32Machine&, uint32_t argsAddress)>;
    uint32_t addHostFunction(const std::string& name, HostFunction fn);

    // Guest memory.
    uint32_t read32(uint32_t address);
    void write32(uint32_t address, uint32_t value);
    void read(uint32_t address, void* out, size_t size);
    void write(uint32_t address, const void* data, size_t size);
    std::string readString(uint32_t address, size_t limit = 1 << 20);
    uint32_t arg(uint32_t argsAddress, int index) { return read32(argsAddress + 4 * index); }
    // Memory for the loader's own records (not the guest heap; never freed).
    uint32_t allocateSystem(uint32_t size, const void* init = nullptr);

    // "pawn.kvx+0x1234 (.text)", or the bare address outside every image.
    std::string describe(uint32_t address) const;
    [[noreturn]] void fail(const std::string& message);

    size_t liveBlockCount() const;  // guest heap blocks allocated and not freed
    std::vector<std::string> unresolvedImports;  // "DLL!name", bound to a trap that fails when called
    std::vector<std::string> debugStrings;       // OutputDebugStringA, one entry per call
    std::string cpuidReport();  // the signature and the SIMD features as the guest sees them

private:
    friend struct Pe32Shim;
    struct Stub {
        std::string name;
        uint32_t argBytes;
        bool stdcall;
        HostFunction fn;
        std::string failure;  // set for an unresolved import
    };
    uint32_t addStub(Stub stub);
    uint32_t resolveImport(const std::string& dll, const std::string& name);
    void bindImports(Pe32Image& image, std::vector<uint8_t>& memory, uint32_t importRva);
    uint32_t setUpThread();
    void runTls(Pe32Image& image, uint32_t reason);
    friend struct Pe32Hooks;

    Pe32Options options_;
    uc_struct* uc_ = nullptr;
    std::vector<std::unique_ptr<Pe32Image>> images_;
    std::vector<Stub> stubs_;
    std::map<std::string, uint32_t> shimByName_;  // "kernel32.dll!TlsAlloc" -> stub or data address
    std::unique_ptr<Pe32Shim> shim_;
    uint32_t nextImageBase_;
    uint32_t systemNext_;
    uint32_t tlsArray_;
    uint32_t nextTlsIndex_ = 0;
    std::string pendingFailure_;
};

struct Pe32EveningResult {
    bool ok = false;
    std::string failure;   // what ended the run, empty when ok
    int32_t exitCode = 0;  // what evening() returned
    std::vector<std::string> transcript;
    std::vector<std::string> debugStrings;     // the DLL's OutputDebugStringA lines
    size_t liveBlocks = 0;                     // guest heap blocks still allocated after DLL_PROCESS_DETACH
    std::vector<std::string> unresolvedImports;
    double seconds = 0;
    std::string cpuid;
};

// Loads the DLL (attach), then the EXE, calls int __cdecl evening(const EveningHarness*), detaches.
Pe32EveningResult runPe32Evening(const std::string& exePath, const std::string& dllPath, Pe32Options options = {});
