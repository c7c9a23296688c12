// The evening host's side of the component model: its objects' interface tables and its registry.
// The module's table operations live in the module, so the host writes the same layouts itself.
#pragma once

#include "core/abi.h"

namespace evening {

void offerValue(InterfaceTable& table, const char* name, EntryValue value);
EntryValue lookupValue(const InterfaceTable* table, const char* name);  // first pair, without regard to case

// Appends (name, entry value of `part`) to `table` and links a registry node for it, as every table
// entry of either side appears in the host-wide registry.
template <class Interface>
void offer(InterfaceTable& table, const char* name, Interface* part) {
    offerValue(table, name, entryValueOf(part));
}

template <class Interface>
Interface* lookup(const InterfaceTable* table, const char* name) {
    return interfaceFrom<Interface>(lookupValue(table, name));
}

// A host object offering one interface, in a table of its own named `objectName` (null: unnamed).
template <class Interface>
struct Offered : Interface {
    explicit Offered(const char* interfaceName, const char* objectName = nullptr) : table(objectName) {
        offer<Interface>(table, interfaceName, this);
    }
    InterfaceTable table;
};

ObjectRegistry& registry();
// The entry value registered for `interfaceName` by an object named `objectName` (any for null).
EntryValue findRegistered(const char* objectName, const char* interfaceName);
std::int32_t registeredCount(const char* objectName);  // nodes of that object name (null: all)

}  // namespace evening
