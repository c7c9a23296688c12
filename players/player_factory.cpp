// IKTPlayerFactory: one pawn per player, each with the next of the four buzz sounds.
#include <cstdio>

#include "core/allocator.h"
#include "module/plugin_object.h"
#include "module/services.h"
#include "players/pawn.h"

InterfaceTable* KTPlayerFactory::createPlayer(ResourceDir* resourceRoot, const char* archiveName, std::int32_t playerIndex) {
    buzzCounter = (buzzCounter + 1) % 4;
    char buzzPath[64];
    std::snprintf(buzzPath, sizeof buzzPath, "buzz%1.1i.wav/*", static_cast<int>(buzzCounter + 1));
    logLine(1, "KTPlayerFactory::Loading pawn %i...\n", playerIndex);
    Pawn* pawn = create<Pawn>(resourceRoot, archiveName, buzzPath, Point(0, 0), playerIndex);
    return pawn ? pawn->handle() : nullptr;
}

void KTPlayerFactory::destroyPlayer(InterfaceTable* pawnHandle) { destroy(Pawn::fromHandle(pawnHandle)); }
