// The plug-in object: the one object pawn.kvx hands the host, offering IKTPlayerFactory.
#pragma once

#include "core/abi.h"

// Owned copies of the four strings given to init; a null string stays null.
struct ModuleArgs {
    char* strings[4];
};

class KTPlayerFactory : public IKTPlayerFactory {
public:
    InterfaceTable interfaces{"pawn"};  // the handle; directly follows the interface part
    ModuleArgs* args = nullptr;
    std::int32_t buzzCounter = -1;      // the last buzz sound handed out, 0..3; -1 before the first pawn

    KTPlayerFactory();
    ~KTPlayerFactory();
    KTPlayerFactory(const KTPlayerFactory&) = delete;
    KTPlayerFactory& operator=(const KTPlayerFactory&) = delete;

    InterfaceTable* handle() { return &interfaces; }
    void setArgs(const char* const* strings);  // replaces the record held so far

    InterfaceTable* createPlayer(ResourceDir* resourceRoot, const char* archiveName, std::int32_t playerIndex) override;
    void destroyPlayer(InterfaceTable* pawnHandle) override;
};

// The work of the exported init and release.
InterfaceTable* initPlugin(Host* host, const char* const* args);
void releasePlugin();
