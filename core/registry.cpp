#include "core/abi.h"
#include "core/allocator.h"
#include "core/registry_binding.h"

namespace {
ObjectRegistry* boundRegistry = nullptr;
}  // namespace

void bindObjectRegistry(ObjectRegistry* registry) { boundRegistry = registry; }

ObjectRegistry* boundObjectRegistry() { return boundRegistry; }

RegistryNode* ObjectRegistry::insert(const char* objectName, const char* interfaceName, InterfaceTable* table,
                                     EntryValue value) {
    auto* node = static_cast<RegistryNode*>(allocateBytes(sizeof(RegistryNode)));
    if (!node) return nullptr;
    *node = RegistryNode{table, value, objectName ? objectName : "<unnamed>", interfaceName, head};
    head = node;
    cursor = node;
    return node;
}

void ObjectRegistry::removeAll(const InterfaceTable* table) {
    RegistryNode* previous = nullptr;
    RegistryNode* node = head;
    while (node) {
        RegistryNode* next = node->next;
        if (node->table == table) {
            if (previous)
                previous->next = next;
            else
                head = next;
            freeBytes(node);
        } else {
            previous = node;
        }
        node = next;
    }
    cursor = head;
}
