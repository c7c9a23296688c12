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
    if (!pawn) return nullptr;
    // A pawn whose table could not take both interfaces (no memory for them) would be handed out
    // unreachable, and destroyPlayer could not find it again: it is given up like a failed allocation.
    if (!pawn->interfaces.lookup("IKTPlayer") || !pawn->interfaces.lookup("IVisible")) {
        destroy(pawn);
        return nullptr;
    }
    return pawn->handle();
}

void KTPlayerFactory::destroyPlayer(InterfaceTable* pawnHandle) { destroy(Pawn::fromHandle(pawnHandle)); }
