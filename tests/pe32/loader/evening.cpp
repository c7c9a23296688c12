// One evening of the test host: the DLL attached, the EXE's evening() run against it, the DLL detached.
#include "shim.h"

#include <chrono>

Pe32EveningResult runPe32Evening(const std::string& exePath, const std::string& dllPath, Pe32Options options) {
    Pe32EveningResult result;
    auto start = std::chrono::steady_clock::now();
    std::unique_ptr<Pe32Machine> machine;
    try {
        machine = std::make_unique<Pe32Machine>(options);
        Pe32Machine& m = *machine;
        result.cpuid = m.cpuidReport();
        uint32_t report = m.addHostFunction("harness!report", [&](Pe32Machine& m, uint32_t a) {
            result.transcript.push_back(m.readString(m.arg(a, 0)));
            return 0u;
        });
        // The process image is mapped first, as Windows does, so GetModuleHandle(NULL) finds it.
        Pe32Image& exe = m.load(exePath);
        Pe32Image& dll = m.load(dllPath);
        if (!exe.entryPoint) m.fail(exe.name + " has no entry point");
        m.attach(dll);
        m.attach(exe);
        // The evening's harness record, four 32-bit words: the DLL's init, release and dependencies, then
        // the cdecl report(line) for the transcript.
        const uint32_t harness[4] = {m.exportAddress(dll, "init"), m.exportAddress(dll, "release"), m.exportAddress(dll, "dependencies"),
                                     report};
        uint32_t harnessAddress = m.allocateSystem(sizeof harness, &harness);
        result.exitCode = int32_t(m.call(exe.entryPoint, {harnessAddress}));
        m.detach(exe);
        m.detach(dll);
        result.ok = true;
    } catch (const Pe32Failure& failure) {
        result.failure = failure.message;
    }
    if (machine) {
        result.debugStrings = machine->debugStrings;
        result.liveBlocks = machine->liveBlockCount();
        result.unresolvedImports = machine->unresolvedImports;
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}
