#include "module/services.h"

#include "core/registry_binding.h"

ModuleServices& services() {
    static ModuleServices state;
    return state;
}

void bindServices(Host* host) {
    unbindServices();
    if (!host) return;
    ModuleServices& state = services();
    state.host = host;
    state.spareServiceA = host->spareServiceA();
    bindObjectRegistry(host->objectRegistry());
    state.typeRegistry = host->typeRegistry();
    state.spareServiceB = host->spareServiceB();
}

void unbindServices() {
    bindObjectRegistry(nullptr);
    ModuleServices& state = services();
    KTPlayerFactory* factory = state.factory;
    void* instance = state.instance;
    state = ModuleServices{};
    state.factory = factory;
    state.instance = instance;
}

std::uint32_t hostTime() {
    Host* host = services().host;
    return host ? host->currentTime() : 0;
}
