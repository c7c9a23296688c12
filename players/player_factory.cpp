#include <cstdio>

#include "module/plugin_object.h"
#include "module/services.h"

InterfaceTable* KTPlayerFactory::createPlayer(ResourceDir* resourceRoot, const char* archiveName, std::int32_t playerIndex) {
    (void)resourceRoot;
    (void)archiveName;
    buzzCounter = (buzzCounter + 1) % 4;
    char buzzPath[64];
    std::snprintf(buzzPath, sizeof buzzPath, "buzz%1.1i.wav/*", buzzCounter + 1);
    logLine(1, "KTPlayerFactory::Loading pawn %i...\n", playerIndex);
    // The pawn itself arrives with the players subsystem.
    return nullptr;
}

void KTPlayerFactory::destroyPlayer(InterfaceTable* pawnHandle) { (void)pawnHandle; }
