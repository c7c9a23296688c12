#include "module/plugin_object.h"

#include "core/allocator.h"
#include "module/services.h"

namespace {

void freeArgs(ModuleArgs* record) {
    if (!record) return;
    for (char* copy : record->strings) freeBytes(copy);
    freeBytes(record);
}

}  // namespace

KTPlayerFactory::KTPlayerFactory() {
    interfaces.add("IKTPlayerFactory", entryValueOf<IKTPlayerFactory>(this));
}

KTPlayerFactory::~KTPlayerFactory() {
    freeArgs(args);
    args = nullptr;
    interfaces.teardown();
}

void KTPlayerFactory::setArgs(const char* const* strings) {
    freeArgs(args);
    args = static_cast<ModuleArgs*>(allocateBytes(sizeof(ModuleArgs)));
    if (!args) return;
    // A copy that cannot be had stays null, as if the string had not been given.
    for (int i = 0; i < 4; ++i) args->strings[i] = strings ? copyString(strings[i]) : nullptr;
}

InterfaceTable* initPlugin(Host* host, const char* const* args) {
    // Without a host there is no registry to enter the object in, and nothing could reach it.
    if (!host) return nullptr;
    ModuleServices& state = services();
    // A repeated init keeps the one plug-in object (building a second would strand the first, still
    // registered) and only gives it the new arguments. A different host gets a fresh object: the old
    // one leaves the old host's registry first.
    if (state.factory && state.host != host) releasePlugin();
    bindServices(host);
    if (!state.factory) state.factory = create<KTPlayerFactory>();
    // An object whose interface could not be registered (no memory for it) would be handed out with
    // no factory in it to find: it is given up like a failed allocation.
    if (state.factory && !state.factory->interfaces.lookup("IKTPlayerFactory")) releasePlugin();
    if (!state.factory) return nullptr;
    state.factory->setArgs(args);
    return state.factory->handle();
}

void releasePlugin() {
    ModuleServices& state = services();
    // Cleared before freeing, so that a second release finds nothing to free.
    KTPlayerFactory* factory = state.factory;
    state.factory = nullptr;
    destroy(factory);
}
