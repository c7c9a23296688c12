#include "core/abi.h"
#include "core/allocator.h"
#include "core/names.h"
#include "core/registry_binding.h"

RegistryNode* InterfaceTable::add(const char* interfaceName, EntryValue value) {
    // The array grows by exactly one pair per call; a refused allocation adds nothing.
    auto* grown = static_cast<InterfacePair*>(reallocateBytes(pairs, sizeof(InterfacePair) * (count + 1)));
    if (!grown) return nullptr;
    pairs = grown;
    char* name = copyString(interfaceName);
    if (!name) {
        if (count == 0) {
            freeBytes(pairs);
            pairs = nullptr;
        }
        return nullptr;
    }
    pairs[count] = InterfacePair{name, value};
    ++count;
    ObjectRegistry* registry = boundObjectRegistry();
    return registry ? registry->insert(objectName, interfaceName, this, value) : nullptr;
}

EntryValue InterfaceTable::lookup(const char* interfaceName) const {
    for (std::int32_t i = 0; i < count; ++i)
        if (sameName(pairs[i].name, interfaceName)) return pairs[i].value;
    return 0;
}

void InterfaceTable::teardown() {
    if (count == 0) {
        pairs = nullptr;
        return;
    }
    if (ObjectRegistry* registry = boundObjectRegistry()) registry->removeAll(this);
    for (std::int32_t i = 0; i < count; ++i) freeBytes(pairs[i].name);
    freeBytes(pairs);
    pairs = nullptr;
    count = 0;
}
