// The resource tree driven through the reference host's archives over real files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/allocator.h"
#include "host/core/archive_base.h"
#include "host/core/host_engine.h"
#include "host/core/resource_root.h"
#include "resources/entry_list.h"
#include "resources/resource_dir.h"
#include "resources/stream_adapter.h"
#include "tests/core/video_pattern.h"

using namespace hostengine;
using Lines = std::vector<std::string>;

namespace {

// An archive that contains itself: every listing holds `branches` containers, "deeper", of its own
// kind, so it is nested as deep as anyone looks (and, with two, grows as a directory with two links up
// the tree does).
class EndlessArchive : public HostObject, public IArchive {
public:
    EndlessArchive(std::uint32_t typeId, int branches) : HostObject(nullptr), entries_(static_cast<std::size_t>(branches)) {
        for (ResourceEntry& entry : entries_) entry = ResourceEntry{typeId, 1, "endless://deeper", 0, "deeper", nullptr};
        info_.words[0] = typeId;
        interfaces.add("IArchive", entryValueOf<IArchive>(this));
    }
    ResourceEntry* nextEntry(ResourceEntry* previous) override {
        const std::size_t next = previous ? static_cast<std::size_t>(previous - entries_.data()) + 1 : 0;
        return next < entries_.size() ? &entries_[next] : nullptr;
    }
    ResourceInfo* infoOf(ResourceEntry*) override { return &info_; }
    InterfaceTable* open(ResourceEntry*, ResourceInfo*) override { return nullptr; }
    void close(InterfaceTable*) override {}

private:
    std::vector<ResourceEntry> entries_;
    ResourceInfo info_{};
};

// Makes endless archives, or (bare) objects that offer no "IArchive".
class TestFactory : public HostObject, public IArchiveFactory {
public:
    TestFactory(const char* kind, std::uint32_t typeId, int branches) : HostObject(kind), typeId_(typeId), branches_(branches) {
        interfaces.add("IArchiveFactory", entryValueOf<IArchiveFactory>(this));
    }
    InterfaceTable* create(ResourceEntry*, ResourceInfo*, InterfaceTable*) override {
        if (!branches_) return bare_.handle();
        archives.push_back(std::make_unique<EndlessArchive>(typeId_, branches_));
        return archives.back()->handle();
    }
    std::vector<std::unique_ptr<EndlessArchive>> archives;

private:
    std::uint32_t typeId_;
    int branches_;
    HostObject bare_{nullptr};
};

class ResourceTree : public ::testing::Test {
protected:
    ResourceDir* root() {
        if (!root_) root_ = archives.makeRootDir(files.path.string());
        return root_;
    }
    // The log as "level text" lines, so one comparison checks what was said, how loudly and how often.
    Lines log() {
        Lines lines;
        for (const LogLine& line : engine.logLines()) lines.push_back(std::to_string(line.level) + " " + line.text);
        return lines;
    }
    // A factory of endless archives of `kind`, and a file of that kind in the directory `kind`.
    std::unique_ptr<TestFactory> endless(const char* kind, int branches) {
        const std::string type = std::string("archive/") + kind;
        archives.mapExtension(std::string(".") + kind, type, true);
        files.write(std::string(kind) + "/start." + kind, "");
        return std::make_unique<TestFactory>(kind, engine.typeRegistry()->typeIdOf(type.c_str()), branches);
    }
    Archive* rootArchive() { return dynamic_cast<Archive*>(root()->archive); }

    videotest::TempDir files;
    HostEngine engine;
    HostArchives archives{engine};

private:
    ResourceDir* root_ = nullptr;
};

const std::string kWav = std::string("RIFF\x0c\x00\x00\x00WAVEdata", 16) + std::string(4, '\0');

TEST_F(ResourceTree, MissingPartsOfAPathAreLoggedAsTheyReachedTheirNode) {
    files.write("buzz1.wav", kWav);
    files.write("sequence.ini", "[color]\nwait01 = 25@100\n");
    const std::string longName(100000, 'n');
    const std::pair<std::string, std::string> cases[] = {
        {"nothing.txt", "nothing.txt"}, {"buzz1.wav/nothing", "nothing"}, {"sequence.ini/colour/wait01", "colour/wait01"},
        {"sequence.ini/color/wait99", "wait99"}, {"sequence.ini/", ""}, {"sequence.ini//wait01", "/wait01"},
        {"/sequence.ini", "/sequence.ini"}, {"", ""}, {"buzz1.wa", "buzz1.wa"}, {"buzz1.wavx/*", "buzz1.wavx/*"},
        {"**", "**"}, {longName + "/x", longName + "/x"},
    };
    for (const auto& [path, missing] : cases) {
        engine.clearLog();
        EXPECT_EQ(root()->find(path.c_str()), nullptr) << path.substr(0, 40);
        EXPECT_EQ(log(), Lines{"1 missing resource:<<" + missing + ">>\n"}) << path.substr(0, 40);
    }
}

TEST_F(ResourceTree, APathOfThousandsOfComponentsIsWalkedWithoutRecursion) {
    auto factory = endless("endless", 1);
    std::string path = "endless/start.endless";
    for (int i = 0; i < 2000; ++i) path += "/deeper";
    ASSERT_NE(root()->find(path.c_str()), nullptr);
    EXPECT_EQ(factory->archives.size(), 2000u);
    EXPECT_EQ(log(), Lines{});
}

TEST_F(ResourceTree, BrokenArchivesAreLoggedWithTheirKindAndTheirNodesAreNotRetried) {
    TestFactory bare("bare", 0, 0);
    archives.mapExtension(".bare", "archive/bare", true);
    archives.mapExtension(".pak", "archive/pak", true);
    files.write("empty.wav", "");
    files.write("text.wav", "RIFX is not a wave file");
    files.write("thing.bare", "");
    files.write("things.pak", "whatever");
    auto notWave = [&](const char* name) { return "3 WavArchiveFactory: '" + (files.path / name).string() + "' is not a RIFF WAVE file\n"; };
    const struct {
        const char* path;
        Lines logged;
    } cases[] = {
        {"empty.wav/*", {notWave("empty.wav"), "3 ArchiveFactory wav returned NULL.\n", "1 missing resource:<<*>>\n"}},
        {"text.wav/sound", {notWave("text.wav"), "3 ArchiveFactory wav returned NULL.\n", "1 missing resource:<<sound>>\n"}},
        {"thing.bare/x", {"3 Archive bare has no interface.\n", "1 missing resource:<<x>>\n"}},
        {"things.pak/inner", {"3 No ArchiveFactory for pak.\n", "1 missing resource:<<inner>>\n"}},
        {"THINGS.PAK/inner", {"1 missing resource:<<inner>>\n"}},  // the failed node is remembered
    };
    for (const auto& c : cases) {
        engine.clearLog();
        EXPECT_EQ(root()->find(c.path), nullptr) << c.path;
        EXPECT_EQ(log(), c.logged) << c.path;
    }
    EXPECT_EQ(root()->children.size(), 4);
}

TEST_F(ResourceTree, WildcardsAndSearchesFollowListingThenOpenedChildrenThenContainers) {
    // Sorted listing: SCOREFONTPHASE (a directory: same name, other type), alpha/, beta/, scorefontphase.
    files.write("SCOREFONTPHASE/scorefontphase", "3");
    files.write("alpha/scorefontphase", "2");
    files.write("beta/scorefontphase", "4");
    files.write("scorefontphase", "1");
    files.write("beta/inner.ini", "[s]\nk=v\n");
    auto valueAt = [&](ResourceDir* top, const char* path) {
        char buffer[8] = {};
        if (ResourceEntry* entry = top->find(path)) top->read(entry, buffer, sizeof buffer - 1);
        return std::string(buffer);
    };
    // Nothing open yet: the wildcard opens the first listed entry; once beta is open it is the first child.
    EXPECT_EQ(valueAt(archives.makeRootDir(files.path.string()), "*/*"), "3");
    ResourceDir* top = root();
    ResourceDir* beta = top->subDir(top->find("beta"));
    ASSERT_NE(beta, nullptr);
    EXPECT_EQ(top->subDir(top->find("beta")), beta);
    EXPECT_EQ(valueAt(top, "*/scorefontphase"), "4");
    Lines owners;
    for (ResourceEntry* at = nullptr; (at = top->findEntry(at, "scorefontphase", "text"));) owners.push_back(at->owner->name());
    EXPECT_EQ(owners, (Lines{"<unknown>", "beta", "SCOREFONTPHASE", "alpha"}));

    ResourceEntry* own = top->findEntry(nullptr, "scorefontphase", "text");
    ResourceEntry* anyType = top->findEntry(nullptr, "ScoreFontPhase", nullptr);
    ASSERT_NE(anyType, nullptr);
    EXPECT_STREQ(engine.typeRegistry()->typeNameOf(anyType->typeId), "archive/dir");
    // An `after` that the filters reject is never passed, so nothing follows it.
    EXPECT_EQ(top->findEntry(anyType, "scorefontphase", "text"), nullptr);
    EXPECT_EQ(top->findEntry(own, "alpha", nullptr), nullptr);
    EXPECT_EQ(top->findEntry(nullptr, "scorefontphase", "video/avi"), nullptr);
    // Asked of the root, an entry deeper down still gets the node below its own owner.
    ResourceEntry* section = beta->find("inner.ini/s");
    ASSERT_NE(section, nullptr);
    ResourceDir* table = top->subDir(section);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->parent, section->owner);
    EXPECT_EQ(beta->subDir(section), table);
    EXPECT_EQ(top->subDir(nullptr), nullptr);
    EXPECT_EQ(log(), Lines{});

    EntryList list(top);
    std::vector<ResourceEntry*> twice;
    for (int i = 0; i < 10; ++i) twice.push_back(list.next());
    EXPECT_EQ(twice[4], nullptr);
    EXPECT_EQ(twice[5], twice[0]);  // starts over after its end
    EXPECT_EQ(EntryList(nullptr).next(), nullptr);
}

TEST_F(ResourceTree, ReadStopsAtTheCallersLimitAndLeavesNoStreamOpen) {
    files.write("scorefontphase", "17 points\n");
    ResourceEntry* entry = root()->find("scorefontphase");
    ASSERT_NE(entry, nullptr);
    const struct {
        bool buffer;
        std::int32_t size, count;
        const char* text;
        int opened;  // streams opened for the read
    } cases[] = {{true, 0, 0, "", 0}, {false, 15, 0, "", 0}, {true, -1, 0, "", 0}, {true, 5, 5, "17 po", 1}, {true, 15, 10, "17 points\n", 1}};
    for (const auto& c : cases) {
        char buffer[16] = {};
        const int before = rootArchive()->streamsOpened();
        EXPECT_EQ(root()->read(entry, c.buffer ? buffer : nullptr, c.size), c.count) << c.size;
        EXPECT_STREQ(buffer, c.text) << c.size;
        EXPECT_EQ(rootArchive()->streamsOpened() - before, c.opened) << c.size;
        EXPECT_EQ(rootArchive()->openStreamCount(), 0u);
    }
    char buffer[4] = {};
    EXPECT_EQ(root()->read(nullptr, buffer, 3), 0);
    // An entry whose node has no archive, or no node, reads nothing.
    struct EmptyNode final : ResourceDir {
        EmptyNode() : ResourceDir(static_cast<IArchive*>(nullptr), nullptr) {}
    } empty;
    for (ResourceDir* owner : {static_cast<ResourceDir*>(&empty), static_cast<ResourceDir*>(nullptr)}) {
        entry->owner = owner;
        EXPECT_EQ(root()->read(entry, buffer, 3), 0);
        EXPECT_EQ(root()->infoOf(entry), nullptr);
    }
    EXPECT_EQ(root()->subDir(entry), nullptr);
    EXPECT_EQ(empty.openStream(entry, nullptr), nullptr);
    EXPECT_EQ(empty.find("anything"), nullptr);
    EXPECT_EQ(empty.findEntry(nullptr, nullptr, nullptr), nullptr);
}

TEST_F(ResourceTree, SearchesOfEndlessArchivesStopAtTheirBounds) {
    const std::string depthCut = "1 ResourceDir::findEntry: search cut at depth 64\n";
    const std::string workCut = "1 ResourceDir::findEntry: search cut after 16384 nodes and entries\n";
    // The root's container is depth 1, so one path down opens 64 archives; every node opened costs a
    // search its own listing and more, so a tree branching into itself opens far fewer than the bound.
    auto one = endless("one", 1), two = endless("two", 2);
    const struct {
        TestFactory* factory;
        Lines logged;  // per search
        std::size_t archives;
    } cases[] = {{one.get(), {depthCut}, 64}, {two.get(), {depthCut, workCut}, 6000}};
    for (const auto& c : cases) {
        ResourceDir* top = archives.makeRootDir((files.path / c.factory->interfaces.objectName).string());
        for (const char* type : {static_cast<const char*>(nullptr), "text"}) {
            engine.clearLog();
            EXPECT_EQ(top->findEntry(nullptr, "absent", type), nullptr);
            EXPECT_EQ(log(), c.logged) << c.factory->interfaces.objectName;
            // A repeated search goes through the nodes already open and opens none beyond the bounds.
            EXPECT_LE(c.factory->archives.size(), c.archives);
        }
    }
    EXPECT_EQ(one->archives.size(), 64u);
}

TEST_F(ResourceTree, DirectoryLinksBackUpTheTreeAreLeftOutOfTheListing) {
    files.write("pawns/robot/dual.avi", "");
    namespace fs = std::filesystem;
    const std::pair<const char*, const char*> links[] = {{".", "pawns/loop"}, {"..", "pawns/robot/up"}, {"../..", "pawns/robot/top"}, {"robot", "pawns/alias"}};
    for (auto [target, link] : links) fs::create_directory_symlink(target, files.path / link);
    EXPECT_EQ(root()->findEntry(nullptr, "absent", nullptr), nullptr);
    Lines expected;  // alias leads to robot, no loop: kept, and robot's links are left out there too
    for (const char* link : {"pawns/loop", "pawns/robot/up", "pawns/robot/top", "pawns/alias/up", "pawns/alias/top"})
        expected.push_back("1 DirArchive: '" + (files.path / link).string() + "' leads back into a directory it lies in; left out\n");
    std::sort(expected.begin(), expected.end());
    Lines logged = log();
    std::sort(logged.begin(), logged.end());
    EXPECT_EQ(logged, expected);
    // The root, pawns, robot and alias, each once.
    EXPECT_EQ(archives.directoriesOpened().size(), 4u);
    EXPECT_NE(root()->findEntry(nullptr, "dual.avi", nullptr), nullptr);
}

TEST_F(ResourceTree, AFailedAllocationOfANodeGivesNullAndIsNotRemembered) {
    files.write("buzz1.wav", kWav);
    root();
    // The listing's one snapshot node is allocation 1; the new node is allocation 2.
    failAllocation(2);
    EXPECT_EQ(root()->find("buzz1.wav/*"), nullptr);
    failAllocation(0);
    EXPECT_EQ(log(), Lines{});
    EXPECT_EQ(root()->children.size(), 0);
    EXPECT_EQ(archives.factory("wav")->creations(), 0);
    EXPECT_NE(root()->find("buzz1.wav/*"), nullptr);
}

TEST_F(ResourceTree, AFailedAdapterAllocationClosesTheHostStream) {
    files.write("scorefontphase", "3");
    ResourceEntry* entry = root()->find("scorefontphase");
    ASSERT_NE(entry, nullptr);
    const std::int64_t before = allocationStats().allocations;
    rootArchive()->close(rootArchive()->open(entry, root()->infoOf(entry)));
    failAllocation(allocationStats().allocations - before + 1);
    char buffer[4] = {};
    EXPECT_EQ(root()->read(entry, buffer, 3), 0);
    failAllocation(0);
    EXPECT_EQ(rootArchive()->openStreamCount(), 0u);
    EXPECT_EQ(root()->read(entry, buffer, 3), 1);
}

}  // namespace
