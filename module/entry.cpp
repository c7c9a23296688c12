// The exported entry points of pawn.kvx.
#include "core/abi.h"
#include "module/plugin_object.h"
#include "module/services.h"

#ifdef _WIN32
// <windows.h> is kept out: its COM headers declare an IStream of their own.
#define PAWN_EXPORT extern "C"
#else
#define PAWN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

PAWN_EXPORT InterfaceTable* init(Host* host, const char* const* args) { return initPlugin(host, args); }

PAWN_EXPORT void release() { releasePlugin(); }

PAWN_EXPORT const char* const* dependencies() { return nullptr; }

#ifdef _WIN32
// Only records the instance: all set-up waits for init and all teardown is release's, since the
// loader lock is held here.
extern "C" int __stdcall DllMain(void* instance, unsigned long reason, void* reserved) {
    (void)reason;
    (void)reserved;
    services().instance = instance;
    return 1;  // TRUE
}
#endif
