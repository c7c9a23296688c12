// The exported entry points of pawn.kvx.
#include "core/abi.h"
#include "module/plugin_object.h"
#include "module/services.h"

#ifdef _WIN32
#include <windows.h>
#define PAWN_EXPORT extern "C"
#else
#define PAWN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

PAWN_EXPORT InterfaceTable* init(Host* host, const char* const* args) { return initPlugin(host, args); }

PAWN_EXPORT void release() { releasePlugin(); }

PAWN_EXPORT const char* const* dependencies() { return nullptr; }

#ifdef _WIN32
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif
