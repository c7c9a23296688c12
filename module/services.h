// Module-wide state: the host and the services it hands out, filled by init (or, in a host that
// reuses the module's classes for its own objects, by bindServices).
#pragma once

#include "core/abi.h"

class KTPlayerFactory;

struct ModuleServices {
    Host* host = nullptr;
    TypeRegistry* typeRegistry = nullptr;  // the object registry is the component model's (core/registry_binding.h)
    void* spareServiceA = nullptr;  // kept for the module's life, read by nothing
    void* spareServiceB = nullptr;
    KTPlayerFactory* factory = nullptr;
    void* instance = nullptr;  // the module instance the Windows loader handed DllMain
};

ModuleServices& services();

// Asks the host for its services in the order the host expects: A, registry, types, B. A null host
// leaves the module without services.
void bindServices(Host* host);
// Forgets the host and its services (the plug-in object and the instance stay); a module without
// services logs nothing, finds nothing and registers nothing.
void unbindServices();

// One diagnostic line through the host; nothing without a host.
template <class... Args>
void logLine(std::int32_t level, const char* format, Args... args) {
    if (Host* host = services().host) host->log(level, format, args...);
}

// The host clock; 0 without a host.
std::uint32_t hostTime();

// An interface registered with the host under (objectName or any, interfaceName), or null.
template <class Interface>
Interface* hostInterface(const char* objectName, const char* interfaceName) {
    Host* host = services().host;
    return host ? interfaceFrom<Interface>(host->findInterface(objectName, interfaceName)) : nullptr;
}
