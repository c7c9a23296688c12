#include "tests/pe32/evening/host_tables.h"

#include "tests/pe32/evening/kit.h"

namespace evening {

ObjectRegistry& registry() {
    static ObjectRegistry list;
    return list;
}

void offerValue(InterfaceTable& table, const char* name, EntryValue value) {
    // Host tables never shrink, so each grows into a fresh block and the old one is simply left.
    auto* pairs = static_cast<InterfacePair*>(allocate(sizeof(InterfacePair) * static_cast<std::size_t>(table.count + 1)));
    __builtin_memcpy(pairs, table.pairs, sizeof(InterfacePair) * static_cast<std::size_t>(table.count));
    pairs[table.count].name = copyText(name);
    pairs[table.count].value = value;
    table.pairs = pairs;
    ++table.count;

    auto* node = static_cast<RegistryNode*>(allocate(sizeof(RegistryNode)));
    node->table = &table;
    node->value = value;
    node->objectName = table.objectName ? table.objectName : "<unnamed>";
    node->interfaceName = name;
    node->next = registry().head;
    registry().head = registry().cursor = node;
}

EntryValue lookupValue(const InterfaceTable* table, const char* name) {
    if (!table) return 0;
    for (std::int32_t i = 0; i < table->count; ++i)
        if (sameTextNoCase(table->pairs[i].name, name)) return table->pairs[i].value;
    return 0;
}

EntryValue findRegistered(const char* objectName, const char* interfaceName) {
    for (RegistryNode* node = registry().head; node; node = node->next)
        if (sameTextNoCase(node->interfaceName, interfaceName) && (!objectName || sameTextNoCase(node->objectName, objectName)))
            return node->value;
    return 0;
}

std::int32_t registeredCount(const char* objectName) {
    std::int32_t count = 0;
    for (RegistryNode* node = registry().head; node; node = node->next)
        if (!objectName || sameText(node->objectName, objectName)) ++count;
    return count;
}

}  // namespace evening
