#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/abi.h"
#include "host/core/host_engine.h"

using hostengine::HostEngine;
using hostengine::HostObject;

namespace {

std::vector<std::pair<const InterfaceTable*, std::string>> nodesOf(const ObjectRegistry& registry) {
    std::vector<std::pair<const InterfaceTable*, std::string>> nodes;
    for (const RegistryNode* node = registry.head; node; node = node->next) nodes.emplace_back(node->table, node->interfaceName);
    return nodes;
}

}  // namespace

// Names are matched without letter case; the first duplicate in a table wins, the newest object in
// the host; the node carries the caller's string, not the table's copy.
TEST(InterfaceTable, LookupAndFindInterfaceIgnoreLetterCase) {
    HostEngine host;
    static const char kStream[] = "IStream";
    InterfaceTable table;
    table.add(kStream, 0x100);
    EXPECT_STREQ(host.objectRegistry()->head->objectName, "<unnamed>");
    EXPECT_EQ(host.objectRegistry()->head->interfaceName, kStream);
    table.add("IRead", 0x200);
    table.add("istream", 0x300);
    for (auto [name, expected] : std::initializer_list<std::pair<const char*, EntryValue>>{
             {"ISTREAM", 0x100}, {"iREAD", 0x200}, {"IStreams", 0}, {"IStrea", 0}, {"", 0}, {nullptr, 0}})
        EXPECT_EQ(table.lookup(name), expected) << (name ? name : "(null)");
    table.teardown();

    HostObject producer("producer"), archives("archives"), other("other");
    producer.interfaces.add("IKTProducer", 0x10);
    archives.interfaces.add("IArchiveFactory", 0x20);
    other.interfaces.add("IArchiveFactory", 0x30);
    const struct {
        const char *object, *interface;
        EntryValue expected;
    } cases[] = {
        {nullptr, "iktproducer", 0x10},     {"PRODUCER", "IKTProducer", 0x10}, {"archives", "iarchivefactory", 0x20},
        {nullptr, "IArchiveFactory", 0x30}, {"nobody", "IKTProducer", 0},     {"producer", "IArchiveFactory", 0}, {nullptr, nullptr, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(host.findInterface(c.object, c.interface), c.expected) << (c.object ? c.object : "(any)") << " " << (c.interface ? c.interface : "(null)");
}

// Each letter adds one entry: 'T' to the table torn down, 'A' or 'B' to the tables that stay.
class TeardownLayout : public testing::TestWithParam<const char*> {};

TEST_P(TeardownLayout, RemovesExactlyTheTablesNodesWhereverTheyLie) {
    static const char* const kNames[] = {"I0", "I1", "I2", "I3", "I4", "I5", "I6", "I7", "I8", "I9"};
    HostEngine host;
    ObjectRegistry& registry = *host.objectRegistry();
    InterfaceTable target, a, b("other");
    int next = 0;
    for (const char* step = GetParam(); *step; ++step) (*step == 'T' ? target : *step == 'A' ? a : b).add(kNames[next++], 0x10);
    auto expected = nodesOf(registry);
    std::erase_if(expected, [&](const auto& node) { return node.first == &target; });
    target.teardown();
    EXPECT_EQ(nodesOf(registry), expected);
    EXPECT_EQ(registry.cursor, registry.head);
    // A table with nothing left to remove leaves the registry alone, cursor included.
    if (registry.head) registry.cursor = nullptr;
    target.teardown();
    EXPECT_EQ(nodesOf(registry), expected);
    EXPECT_EQ(registry.cursor, nullptr);
    a.teardown();
    b.teardown();
}

INSTANTIATE_TEST_SUITE_P(InterfaceTable, TeardownLayout,
                         testing::Values("TTT", "AATTT", "TTTAB", "ATTTB", "TATBT", "ATBTATB", "BTTAAT", "AB"));

TEST(HostEngine, HostObjectsLeaveTheRegistryWithThemEvenAfterTheEngine) {
    {
        HostEngine host;
        HostObject("producer").interfaces.add("IKTProducer", 0x10);
        EXPECT_EQ(host.objectRegistry()->head, nullptr);
    }
    std::optional<HostEngine> engine(std::in_place);
    std::optional<HostObject> survivor(std::in_place, "survivor");
    survivor->interfaces.add("IKTProducer", 0x10);
    engine.reset();    // frees the survivor's node with the registry
    survivor.reset();  // and the survivor no longer reaches for it
}

TEST(HostTypeRegistry, GivesOneIdPerNameFromOne) {
    hostengine::HostTypeRegistry types;
    EXPECT_EQ(types.typeIdOf("archive/kvp"), 1u);
    EXPECT_EQ(types.typeIdOf("sound/wav"), 2u);
    EXPECT_EQ(types.typeIdOf("ARCHIVE/KVP"), 1u);
    EXPECT_STREQ(types.typeNameOf(1), "archive/kvp");  // the first spelling stays
    EXPECT_STREQ(types.typeNameOf(3), "");
}
