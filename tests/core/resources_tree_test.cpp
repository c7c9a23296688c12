// The resource tree driven through the reference host's archives over real files.
#include <gtest/gtest.h>

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

namespace {

// The smallest data the WAV archive takes: a RIFF header naming WAVE, and some sound.
std::string wavBytes() { return std::string("RIFF\x0c\x00\x00\x00WAVEdata", 16) + std::string(4, '\0'); }

const char* kSequenceIni = "[color]\nwait01 = 25@100\nbuzz01=125@30\n";

// An archive that contains itself: every listing holds `branches` containers, "deeper", of its own
// kind, so it is nested as deep as anyone cares to look (and, with two, grows as a directory with two
// links up the tree does).
class EndlessArchive : public HostObject, public IArchive {
public:
    EndlessArchive(TypeRegistry* types, int branches) : HostObject(nullptr), entries_(static_cast<std::size_t>(branches)) {
        for (ResourceEntry& entry : entries_) {
            entry.typeId = types->typeIdOf("archive/endless");
            entry.container = 1;
            entry.locator = "endless://deeper";
            entry.name = "deeper";
        }
        info_.words[0] = entries_[0].typeId;
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

class EndlessFactory : public HostObject, public IArchiveFactory {
public:
    EndlessFactory(TypeRegistry* types, int branches = 1) : HostObject("endless"), types_(types), branches_(branches) {
        interfaces.add("IArchiveFactory", entryValueOf<IArchiveFactory>(this));
    }
    InterfaceTable* create(ResourceEntry*, ResourceInfo*, InterfaceTable*) override {
        archives.push_back(std::make_unique<EndlessArchive>(types_, branches_));
        return archives.back()->handle();
    }
    std::vector<std::unique_ptr<EndlessArchive>> archives;

private:
    TypeRegistry* types_;
    int branches_;
};

// A factory whose objects offer no "IArchive".
class BareFactory : public HostObject, public IArchiveFactory {
public:
    BareFactory() : HostObject("bare") { interfaces.add("IArchiveFactory", entryValueOf<IArchiveFactory>(this)); }
    InterfaceTable* create(ResourceEntry*, ResourceInfo*, InterfaceTable*) override { return object_.handle(); }

private:
    HostObject object_{nullptr};
};

class ResourceTree : public ::testing::Test {
protected:
    ResourceDir* root() {
        if (!root_) root_ = archives.makeRootDir(files.path.string());
        return root_;
    }
    int logged(const std::string& text, int level) {
        int count = 0;
        for (const LogLine& line : engine.logLines()) count += line.text == text && line.level == level;
        return count;
    }
    int factoryCalls(const char* kind) { return archives.factory(kind)->creations(); }
    std::string ownerOf(const ResourceEntry* entry) { return entry ? entry->owner->name() : "<none>"; }

    videotest::TempDir files;
    HostEngine engine;
    HostArchives archives{engine};

private:
    ResourceDir* root_ = nullptr;
};

TEST_F(ResourceTree, MissingPartsOfAPathAreLoggedAsTheyReachedTheirNode) {
    files.write("buzz1.wav", wavBytes());
    files.write("sequence.ini", kSequenceIni);
    std::string longName(100000, 'n');
    struct Case {
        std::string path;
        std::string logged;
    } cases[] = {
        {"nothing.txt", "nothing.txt"},
        {"buzz1.wav/nothing", "nothing"},
        {"sequence.ini/colour/wait01", "colour/wait01"},
        {"sequence.ini/color/wait99", "wait99"},
        {"sequence.ini/", ""},
        {"sequence.ini//wait01", "/wait01"},
        {"/sequence.ini", "/sequence.ini"},
        {"", ""},
        {"buzz1.wa", "buzz1.wa"},
        {"buzz1.wavx/*", "buzz1.wavx/*"},
        {"**", "**"},
        {longName + "/x", longName + "/x"},
    };
    for (const Case& c : cases) {
        engine.clearLog();
        EXPECT_EQ(root()->find(c.path.c_str()), nullptr) << c.path.substr(0, 40);
        ASSERT_EQ(engine.logLines().size(), 1u) << c.path.substr(0, 40);
        EXPECT_EQ(logged("missing resource:<<" + c.logged + ">>\n", 1), 1) << c.path.substr(0, 40);
    }
}

TEST_F(ResourceTree, APathOfThousandsOfComponentsIsWalkedWithoutRecursion) {
    EndlessFactory endless(engine.typeRegistry());
    archives.mapExtension(".endless", "archive/endless", true);
    files.write("start.endless", "");
    std::string path = "start.endless";
    for (int i = 0; i < 2000; ++i) path += "/deeper";
    ASSERT_NE(root()->find(path.c_str()), nullptr);
    EXPECT_EQ(endless.archives.size(), 2000u);
    EXPECT_TRUE(engine.logLines().empty());
}

TEST_F(ResourceTree, AKindWithoutFactoryIsLoggedOnceAndItsNodeIsNotRetried) {
    archives.mapExtension(".pak", "archive/pak", true);
    files.write("things.pak", "whatever");
    EXPECT_EQ(root()->find("things.pak/inner"), nullptr);
    EXPECT_EQ(logged("No ArchiveFactory for pak.\n", 3), 1);
    engine.clearLog();
    EXPECT_EQ(root()->find("THINGS.PAK/inner"), nullptr);
    ASSERT_EQ(engine.logLines().size(), 1u);
    EXPECT_EQ(logged("missing resource:<<inner>>\n", 1), 1);
    EXPECT_EQ(root()->children.size(), 1);
}

TEST_F(ResourceTree, BrokenArchivesAreLoggedWithTheirKindAndTheHostNamesTheFile) {
    BareFactory bare;
    archives.mapExtension(".bare", "archive/bare", true);
    files.write("empty.wav", "");
    files.write("text.wav", "RIFX is not a wave file");
    files.write("thing.bare", "");
    struct Case {
        const char* path;
        const char* file;  // named by the host's own line, which comes first
        const char* failure;
        const char* missing;
    } cases[] = {
        {"empty.wav/*", "empty.wav", "ArchiveFactory wav returned NULL.\n", "missing resource:<<*>>\n"},
        {"text.wav/sound", "text.wav", "ArchiveFactory wav returned NULL.\n", "missing resource:<<sound>>\n"},
        {"thing.bare/x", nullptr, "Archive bare has no interface.\n", "missing resource:<<x>>\n"},
    };
    for (const Case& c : cases) {
        engine.clearLog();
        EXPECT_EQ(root()->find(c.path), nullptr) << c.path;
        std::vector<std::string> expected;
        if (c.file) expected.push_back("WavArchiveFactory: '" + (files.path / c.file).string() + "' is not a RIFF WAVE file\n");
        expected.insert(expected.end(), {c.failure, c.missing});
        std::vector<std::string> lines;
        for (const LogLine& line : engine.logLines()) lines.push_back(line.text);
        EXPECT_EQ(lines, expected) << c.path;
        EXPECT_EQ(logged(c.failure, 3), 1) << c.path;
    }
}

TEST_F(ResourceTree, TheWildcardTakesTheFirstEntryOrTheFirstOpenedChild) {
    files.write("a.ini", "[s]\nkey=from a\n");
    files.write("b.ini", "[s]\nkey=from b\n");
    auto valueAt = [&](ResourceDir* top, const char* path) {
        char buffer[32] = {};
        ResourceEntry* entry = top->find(path);
        if (entry) top->read(entry, buffer, sizeof buffer - 1);
        return std::string(buffer);
    };
    // Nothing open yet: the wildcard opens the first listed entry.
    EXPECT_EQ(valueAt(archives.makeRootDir(files.path.string()), "*/s/*"), "from a");
    // b.ini opened first is the first child, so a wildcard followed by more path goes there.
    EXPECT_EQ(valueAt(root(), "b.ini/s/key"), "from b");
    EXPECT_EQ(valueAt(root(), "*/s/key"), "from b");
    EXPECT_EQ(valueAt(root(), "*/*/*"), "from b");
}

TEST_F(ResourceTree, FindEntrySearchesOwnListingThenOpenedChildrenThenContainers) {
    // Sorted listing: SCOREFONTPHASE (a directory: same name, other type), alpha/, beta/, scorefontphase.
    files.write("SCOREFONTPHASE/scorefontphase", "3");
    files.write("alpha/scorefontphase", "2");
    files.write("beta/scorefontphase", "4");
    files.write("scorefontphase", "1");
    ResourceDir* top = root();
    ASSERT_NE(top->subDir(top->find("beta")), nullptr);

    std::vector<std::string> owners;
    for (ResourceEntry* at = nullptr; (at = top->findEntry(at, "scorefontphase", "text"));) owners.push_back(ownerOf(at));
    EXPECT_EQ(owners, (std::vector<std::string>{"<unknown>", "beta", "SCOREFONTPHASE", "alpha"}));

    ResourceEntry* own = top->findEntry(nullptr, "scorefontphase", "text");
    ResourceEntry* anyType = top->findEntry(nullptr, "ScoreFontPhase", nullptr);
    ASSERT_NE(anyType, nullptr);
    EXPECT_EQ(std::string(engine.typeRegistry()->typeNameOf(anyType->typeId)), "archive/dir");
    // An `after` that the filters reject is never passed, so nothing follows it.
    EXPECT_EQ(top->findEntry(anyType, "scorefontphase", "text"), nullptr);
    EXPECT_EQ(top->findEntry(own, "alpha", nullptr), nullptr);
    EXPECT_EQ(top->findEntry(nullptr, "scorefontphase", "video/avi"), nullptr);
    EXPECT_TRUE(engine.logLines().empty());
}

TEST_F(ResourceTree, SubDirGivesTheNodeOfAnEntryWhereverItIsAsked) {
    files.write("pawn1/sequence.ini", kSequenceIni);
    ResourceEntry* pawn = root()->findEntry(nullptr, "pawn1", nullptr);
    ResourceDir* pawnDir = root()->subDir(pawn);
    ASSERT_NE(pawnDir, nullptr);
    EXPECT_EQ(root()->subDir(pawn), pawnDir);
    ResourceEntry* color = pawnDir->find("sequence.ini/color");
    ASSERT_NE(color, nullptr);
    // Asked of the root, the section's node is still its owner's child.
    ResourceDir* table = root()->subDir(color);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->parent, color->owner);
    EXPECT_EQ(pawnDir->subDir(color), table);
    EXPECT_EQ(root()->subDir(nullptr), nullptr);
}

TEST_F(ResourceTree, EntryListStartsOverAfterItsEnd) {
    files.write("first", "1");
    files.write("second", "2");
    EntryList list(root());
    ResourceEntry* a = list.next();
    ASSERT_NE(a, nullptr);
    EXPECT_STREQ(list.next()->name, "second");
    EXPECT_EQ(list.next(), nullptr);
    EXPECT_EQ(list.next(), a);
    list.clear();
    EXPECT_EQ(list.next(), nullptr);
    EXPECT_EQ(EntryList(nullptr).next(), nullptr);
}

TEST_F(ResourceTree, ReadStopsAtTheCallersLimit) {
    files.write("scorefontphase", "17 points\n");
    ResourceEntry* entry = root()->findEntry(nullptr, "scorefontphase", "text");
    ASSERT_NE(entry, nullptr);
    Archive* archive = dynamic_cast<Archive*>(root()->archive);
    struct Case {
        bool buffer;
        std::int32_t size;
        std::int32_t count;
        const char* text;
        int opened;  // streams opened for the read
    } cases[] = {
        {true, 0, 0, "", 0},          {false, 15, 0, "", 0},         {true, -1, 0, "", 0},
        {true, 5, 5, "17 po", 1},     {true, 15, 10, "17 points\n", 1},
    };
    for (const Case& c : cases) {
        char buffer[16] = {};
        int before = archive->streamsOpened();
        EXPECT_EQ(root()->read(entry, c.buffer ? buffer : nullptr, c.size), c.count) << c.size;
        EXPECT_STREQ(buffer, c.text) << c.size;
        EXPECT_EQ(archive->streamsOpened() - before, c.opened) << c.size;
        EXPECT_EQ(archive->openStreamCount(), 0u);
    }
    char buffer[4] = {};
    EXPECT_EQ(root()->read(nullptr, buffer, 3), 0);
}

TEST_F(ResourceTree, EntriesOfANodeWithoutArchiveReadNothing) {
    files.write("scorefontphase", "3");
    ResourceEntry* entry = root()->find("scorefontphase");
    ASSERT_NE(entry, nullptr);
    struct EmptyNode final : ResourceDir {
        EmptyNode() : ResourceDir(static_cast<IArchive*>(nullptr), nullptr) {}
    } empty;
    char buffer[8] = {};
    for (ResourceDir* owner : {static_cast<ResourceDir*>(&empty), static_cast<ResourceDir*>(nullptr)}) {
        entry->owner = owner;
        EXPECT_EQ(root()->read(entry, buffer, 7), 0);
        EXPECT_EQ(root()->infoOf(entry), nullptr);
    }
    EXPECT_EQ(root()->subDir(entry), nullptr);
    EXPECT_EQ(empty.openStream(entry, nullptr), nullptr);
    EXPECT_EQ(empty.find("anything"), nullptr);
    EXPECT_EQ(empty.findEntry(nullptr, nullptr, nullptr), nullptr);
}

TEST_F(ResourceTree, SearchesStopAtTheDepthBoundOfAnEndlessArchive) {
    EndlessFactory endless(engine.typeRegistry());
    archives.mapExtension(".endless", "archive/endless", true);
    files.write("start.endless", "");
    const std::string cut = "ResourceDir::findEntry: search cut at depth 64\n";
    EXPECT_EQ(root()->findEntry(nullptr, "absent", nullptr), nullptr);
    EXPECT_EQ(logged(cut, 1), 1);
    EXPECT_EQ(engine.logLines().size(), 1u);
    // The root's container is depth 1; nodes are opened down to depth 64 and no further.
    EXPECT_EQ(endless.archives.size(), 64u);
    // A repeated search goes through the nodes already open and opens none beyond the bound.
    EXPECT_EQ(root()->findEntry(nullptr, "absent", "text"), nullptr);
    EXPECT_EQ(logged(cut, 1), 2);
    EXPECT_EQ(endless.archives.size(), 64u);
}

TEST_F(ResourceTree, SearchesOfATreeThatBranchesIntoItselfStopAtTheWorkBound) {
    EndlessFactory endless(engine.typeRegistry(), 2);
    archives.mapExtension(".endless", "archive/endless", true);
    files.write("start.endless", "");
    const std::string cut = "ResourceDir::findEntry: search cut after 16384 nodes and entries\n";
    for (int search = 1; search <= 2; ++search) {
        EXPECT_EQ(root()->findEntry(nullptr, "absent", nullptr), nullptr);
        EXPECT_EQ(logged(cut, 1), search);
        // Every node opened costs the search its own listing and more: far fewer than the bound.
        EXPECT_LT(endless.archives.size(), 6000u);
    }
    // Besides: the first path down reaches the depth bound, once in each search.
    EXPECT_EQ(engine.countLogContaining("search cut at depth"), 2);
    EXPECT_EQ(engine.logLines().size(), 4u);
}

TEST_F(ResourceTree, DirectoryLinksBackUpTheTreeAreLeftOutOfTheListing) {
    files.write("pawns/robot/dual.avi", "");
    namespace fs = std::filesystem;
    fs::create_directory_symlink(".", files.path / "pawns" / "loop");
    fs::create_directory_symlink("..", files.path / "pawns" / "robot" / "up");
    fs::create_directory_symlink("../..", files.path / "pawns" / "robot" / "top");
    fs::create_directory_symlink("robot", files.path / "pawns" / "alias");  // no loop: kept
    EXPECT_EQ(root()->findEntry(nullptr, "absent", nullptr), nullptr);
    EXPECT_EQ(engine.countLogContaining("search cut"), 0);
    for (const char* link : {"pawns/loop", "pawns/robot/up", "pawns/robot/top"})
        EXPECT_EQ(engine.countLog("DirArchive: '" + (files.path / link).string() + "' leads back into a directory it lies in; left out\n"), 1) << link;
    // The root, pawns, robot and alias, each once.
    EXPECT_EQ(archives.directoriesOpened().size(), 4u);
    EXPECT_NE(root()->findEntry(nullptr, "dual.avi", nullptr), nullptr);
}

TEST_F(ResourceTree, AFailedAllocationOfANodeGivesNullAndIsNotRemembered) {
    files.write("buzz1.wav", wavBytes());
    ResourceDir* top = root();
    // The listing's one snapshot node is allocation 1; the new node is allocation 2.
    failAllocation(2);
    EXPECT_EQ(top->find("buzz1.wav/*"), nullptr);
    failAllocation(0);
    EXPECT_TRUE(engine.logLines().empty());
    EXPECT_EQ(root()->children.size(), 0);
    EXPECT_EQ(factoryCalls("wav"), 0);
    EXPECT_NE(root()->find("buzz1.wav/*"), nullptr);
}

TEST_F(ResourceTree, AFailedAdapterAllocationClosesTheHostStream) {
    files.write("scorefontphase", "3");
    ResourceEntry* entry = root()->find("scorefontphase");
    ASSERT_NE(entry, nullptr);
    Archive* archive = dynamic_cast<Archive*>(root()->archive);
    // What the host stream itself takes from the shared allocator, measured on one open.
    std::int64_t before = allocationStats().allocations;
    archive->close(archive->open(entry, root()->infoOf(entry)));
    std::int64_t hostStreamAllocations = allocationStats().allocations - before;

    failAllocation(hostStreamAllocations + 1);
    char buffer[4] = {};
    EXPECT_EQ(root()->read(entry, buffer, 3), 0);
    failAllocation(0);
    EXPECT_EQ(archive->openStreamCount(), 0u);
    EXPECT_EQ(root()->read(entry, buffer, 3), 1);
}

}  // namespace
