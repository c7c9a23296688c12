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
    for (int i = 0; i < 4; ++i) args->strings[i] = strings ? copyString(strings[i]) : nullptr;
}

InterfaceTable* initPlugin(Host* host, const char* const* args) {
    bindServices(host);
    ModuleServices& state = services();
    state.factory = create<KTPlayerFactory>();
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
