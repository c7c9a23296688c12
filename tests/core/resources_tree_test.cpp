// The resource tree driven through the reference host's archives over real files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/allocator.h"
#include "host/core/archive_base.h"
#include "host/core/host_engine.h"
#include "host/core/resource_root.h"
#include "resources/entry_list.h"
#include "resources/resource_dir.h"
#include "resources/stream_adapter.h"

namespace fs = std::filesystem;
using namespace hostengine;

namespace {

// A directory tree made for one test and removed after it.
class TempTree {
public:
    TempTree() {
        std::string pattern = (fs::temp_directory_path() / "pawn-resources-XXXXXX").string();
        root_ = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempTree() {
        std::error_code ignored;
        if (!root_.empty()) fs::remove_all(root_, ignored);
    }
    const std::string& path() const { return root_; }
    void file(const std::string& relative, const std::string& bytes) const {
        fs::path target = fs::path(root_) / relative;
        fs::create_directories(target.parent_path());
        std::ofstream(target, std::ios::binary) << bytes;
    }
    void dir(const std::string& relative) const { fs::create_directories(fs::path(root_) / relative); }

private:
    std::string root_;
};

// The smallest data the WAV archive takes: a RIFF header naming WAVE, and some sound.
std::string wavBytes() { return std::string("RIFF\x0c\x00\x00\x00WAVEdata", 16) + std::string(4, '\0'); }

const char* kSequenceIni =
    "; the pawn's sequences\n"
    "[color]\n"
    "wait01 = 25@100\n"
    "buzz01=125@30\n"
    "[alpha]\n"
    "wait01=1@1\n";

// An archive that contains itself: every listing holds one container, "deeper", of its own kind, so
// it is nested as deep as anyone cares to look.
class EndlessArchive : public HostObject, public IArchive {
public:
    explicit EndlessArchive(TypeRegistry* types) : HostObject(nullptr) {
        entry_.typeId = types->typeIdOf("archive/endless");
        entry_.container = 1;
        entry_.locator = "endless://deeper";
        entry_.name = "deeper";
        info_.words[0] = entry_.typeId;
        interfaces.add("IArchive", entryValueOf<IArchive>(this));
    }
    ResourceEntry* nextEntry(ResourceEntry* previous) override { return previous ? nullptr : &entry_; }
    ResourceInfo* infoOf(ResourceEntry*) override { return &info_; }
    InterfaceTable* open(ResourceEntry*, ResourceInfo*) override { return nullptr; }
    void close(InterfaceTable*) override {}

private:
    ResourceEntry entry_{};
    ResourceInfo info_{};
};

class EndlessFactory : public HostObject, public IArchiveFactory {
public:
    explicit EndlessFactory(TypeRegistry* types) : HostObject("endless"), types_(types) {
        interfaces.add("IArchiveFactory", entryValueOf<IArchiveFactory>(this));
    }
    InterfaceTable* create(ResourceEntry*, ResourceInfo*, InterfaceTable*) override {
        archives.push_back(std::make_unique<EndlessArchive>(types_));
        return archives.back()->handle();
    }
    std::vector<std::unique_ptr<EndlessArchive>> archives;

private:
    TypeRegistry* types_;
};

// A factory whose objects offer no "IArchive".
class BareFactory : public HostObject, public IArchiveFactory {
public:
    BareFactory() : HostObject("bare") { interfaces.add("IArchiveFactory", entryValueOf<IArchiveFactory>(this)); }
    InterfaceTable* create(ResourceEntry*, ResourceInfo*, InterfaceTable*) override { return object_.handle(); }

private:
    HostObject object_{nullptr};
};

// A node with no archive, as the host might make one.
class EmptyNode final : public ResourceDir {
public:
    EmptyNode() : ResourceDir(static_cast<IArchive*>(nullptr), nullptr) {}
};

class ResourceTree : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(files.path().empty()); }
    ResourceDir* root() {
        if (!root_) root_ = archives.makeRootDir(files.path());
        return root_;
    }
    std::string typeName(const ResourceEntry* entry) { return engine.typeRegistry()->typeNameOf(entry->typeId); }
    int logged(const std::string& text, int level) {
        int count = 0;
        for (const LogLine& line : engine.logLines()) count += line.text == text && line.level == level;
        return count;
    }
    int factoryCalls(const char* kind) { return archives.factory(kind)->creations(); }
    Archive* archiveOf(ResourceDir* node) { return dynamic_cast<Archive*>(node->archive); }

    TempTree files;
    HostEngine engine;
    HostArchives archives{engine};

private:
    ResourceDir* root_ = nullptr;
};

TEST_F(ResourceTree, FindsTheSoundInsideAnUpperCaseWavOnceAndReusesItsNode) {
    files.file("BUZZ1.WAV", wavBytes());
    ResourceEntry* sound = root()->find("buzz1.wav/*");
    ASSERT_NE(sound, nullptr);
    EXPECT_STREQ(sound->name, "sound");
    EXPECT_EQ(typeName(sound), "sound/wav");
    EXPECT_EQ(factoryCalls("wav"), 1);
    ASSERT_EQ(root()->children.size(), 1);

    EXPECT_EQ(root()->find("buzz1.wav/*"), sound);
    EXPECT_EQ(archives.creations(), 1);
    EXPECT_EQ(root()->children.size(), 1);
    EXPECT_TRUE(engine.logLines().empty());
}

TEST_F(ResourceTree, MissingPartsOfAPathAreLoggedAsTheyReachedTheirNode) {
    files.file("buzz1.wav", wavBytes());
    files.file("sequence.ini", kSequenceIni);
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
    files.file("start.endless", "");
    std::string path = "start.endless";
    for (int i = 0; i < 2000; ++i) path += "/deeper";
    ResourceEntry* found = root()->find(path.c_str());
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found->name, "deeper");
    EXPECT_EQ(endless.archives.size(), 2000u);
    EXPECT_TRUE(engine.logLines().empty());
}

TEST_F(ResourceTree, AKindWithoutFactoryIsLoggedOnceAndItsNodeIsNotRetried) {
    archives.mapExtension(".pak", "archive/pak", true);
    files.file("things.pak", "whatever");
    EXPECT_EQ(root()->find("things.pak/inner"), nullptr);
    EXPECT_EQ(logged("No ArchiveFactory for pak.\n", 3), 1);
    EXPECT_EQ(logged("missing resource:<<inner>>\n", 1), 1);

    engine.clearLog();
    EXPECT_EQ(root()->find("THINGS.PAK/inner"), nullptr);
    ASSERT_EQ(engine.logLines().size(), 1u);
    EXPECT_EQ(logged("missing resource:<<inner>>\n", 1), 1);
    EXPECT_EQ(root()->children.size(), 1);
}

TEST_F(ResourceTree, BrokenArchivesAreLoggedWithTheirKind) {
    BareFactory bare;
    archives.mapExtension(".bare", "archive/bare", true);
    files.file("empty.wav", "");
    files.file("text.wav", "RIFX is not a wave file");
    files.file("thing.bare", "");
    struct Case {
        const char* path;
        const char* failure;
        const char* missing;
    } cases[] = {
        {"empty.wav/*", "ArchiveFactory wav returned NULL.\n", "missing resource:<<*>>\n"},
        {"text.wav/sound", "ArchiveFactory wav returned NULL.\n", "missing resource:<<sound>>\n"},
        {"thing.bare/x", "Archive bare has no interface.\n", "missing resource:<<x>>\n"},
    };
    for (const Case& c : cases) {
        engine.clearLog();
        EXPECT_EQ(root()->find(c.path), nullptr) << c.path;
        EXPECT_EQ(logged(c.failure, 3), 1) << c.path;
        EXPECT_EQ(logged(c.missing, 1), 1) << c.path;
        EXPECT_EQ(engine.logLines().size(), 2u) << c.path;
    }
}

TEST_F(ResourceTree, TheWildcardTakesTheFirstEntryOrTheFirstOpenedChild) {
    files.file("a.ini", "[s]\nkey=from a\n");
    files.file("b.ini", "[s]\nkey=from b\n");
    auto valueAt = [&](ResourceDir* top, const char* path) {
        char buffer[32] = {};
        ResourceEntry* entry = top->find(path);
        if (entry) top->read(entry, buffer, sizeof buffer - 1);
        return std::string(buffer);
    };
    ResourceEntry* first = root()->find("*");
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->name, "a.ini");
    // Nothing open yet: the wildcard opens the first listed entry.
    EXPECT_EQ(valueAt(archives.makeRootDir(files.path()), "*/s/*"), "from a");
    // b.ini opened first is the first child, so a wildcard followed by more path goes there.
    EXPECT_EQ(valueAt(root(), "b.ini/s/key"), "from b");
    EXPECT_EQ(valueAt(root(), "*/s/key"), "from b");
    EXPECT_EQ(valueAt(root(), "*/*/*"), "from b");
}

TEST_F(ResourceTree, FindEntrySearchesOwnListingThenOpenedChildrenThenContainers) {
    // Sorted listing: SCOREFONTPHASE (a directory: same name, other type), alpha/, scorefontphase.
    files.file("SCOREFONTPHASE/scorefontphase", "3");
    files.file("alpha/scorefontphase", "2");
    files.file("scorefontphase", "1");
    ResourceDir* top = root();

    ResourceEntry* own = top->findEntry(nullptr, "scorefontphase", "text");
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->owner, top);
    EXPECT_STREQ(own->name, "scorefontphase");

    ResourceEntry* second = top->findEntry(own, "scorefontphase", "text");
    ASSERT_NE(second, nullptr);
    EXPECT_STREQ(second->owner->name(), "SCOREFONTPHASE");
    ResourceEntry* third = top->findEntry(second, "scorefontphase", "text");
    ASSERT_NE(third, nullptr);
    EXPECT_STREQ(third->owner->name(), "alpha");
    EXPECT_EQ(top->findEntry(third, "scorefontphase", "text"), nullptr);

    ResourceEntry* anyType = top->findEntry(nullptr, "ScoreFontPhase", nullptr);
    ASSERT_NE(anyType, nullptr);
    EXPECT_EQ(typeName(anyType), "archive/dir");

    // An `after` that the filters reject is never passed, so nothing follows it.
    EXPECT_EQ(top->findEntry(anyType, "scorefontphase", "text"), nullptr);
    EXPECT_EQ(top->findEntry(own, "alpha", nullptr), nullptr);
    EXPECT_EQ(top->findEntry(nullptr, "scorefontphase", "video/avi"), nullptr);
    EXPECT_TRUE(engine.logLines().empty());
}

TEST_F(ResourceTree, ChildrenOpenedEarlierAreSearchedBeforeUnopenedContainers) {
    files.file("a/x", "a");
    files.file("b/x", "b");
    ResourceEntry* b = root()->find("b");
    ASSERT_NE(root()->subDir(b), nullptr);

    ResourceEntry* first = root()->findEntry(nullptr, "x", nullptr);
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->owner->name(), "b");
    ResourceEntry* next = root()->findEntry(first, "x", nullptr);
    ASSERT_NE(next, nullptr);
    EXPECT_STREQ(next->owner->name(), "a");
    EXPECT_EQ(factoryCalls("dir"), 2);
}

TEST_F(ResourceTree, SubDirGivesTheNodeOfAnEntryWhereverItIsAsked) {
    files.file("pawn1/sequence.ini", kSequenceIni);
    ResourceEntry* pawn = root()->findEntry(nullptr, "pawn1", nullptr);
    ASSERT_NE(pawn, nullptr);
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

TEST_F(ResourceTree, SequenceTableListsItsKeysInFileOrderAndReadsThem) {
    files.file("pawn1/sequence.ini", kSequenceIni);
    ResourceDir* pawnDir = root()->subDir(root()->findEntry(nullptr, "pawn1", nullptr));
    ASSERT_NE(pawnDir, nullptr);

    ResourceDir* table = pawnDir->subDir(pawnDir->find("sequence.ini/color"));
    ASSERT_NE(table, nullptr);
    EntryList keys(table);
    std::vector<std::string> seen;
    while (ResourceEntry* key = keys.next()) {
        char value[128] = {};
        table->read(key, value, 127);
        seen.push_back(std::string(key->name) + "=" + value);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"wait01=25@100", "buzz01=125@30"}));
}

TEST_F(ResourceTree, EntryListStartsOverAfterItsEnd) {
    files.file("first", "1");
    files.file("second", "2");
    EntryList list(root());
    ResourceEntry* a = list.next();
    ResourceEntry* b = list.next();
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(a->name, "first");
    EXPECT_STREQ(b->name, "second");
    EXPECT_EQ(list.next(), nullptr);
    EXPECT_EQ(list.next(), a);
    list.clear();
    EXPECT_EQ(list.next(), nullptr);
    EXPECT_EQ(list.next(), nullptr);

    EntryList none(nullptr);
    EXPECT_EQ(none.next(), nullptr);
}

TEST_F(ResourceTree, ReadStopsAtTheCallersLimit) {
    files.file("scorefontphase", "17 points\n");
    ResourceEntry* entry = root()->findEntry(nullptr, "scorefontphase", "text");
    ASSERT_NE(entry, nullptr);
    Archive* archive = archiveOf(root());
    struct Case {
        bool buffer;
        std::int32_t size;
        std::int32_t count;
        const char* text;
        int opened;  // streams opened for the read
    } cases[] = {
        {true, 0, 0, "", 0},
        {false, 15, 0, "", 0},
        {true, -1, 0, "", 0},
        {true, 5, 5, "17 po", 1},
        {true, 10, 10, "17 points\n", 1},
        {true, 15, 10, "17 points\n", 1},
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
    files.file("scorefontphase", "3");
    ResourceEntry* entry = root()->find("scorefontphase");
    ASSERT_NE(entry, nullptr);
    EmptyNode empty;
    entry->owner = &empty;
    char buffer[8] = {};
    EXPECT_EQ(root()->read(entry, buffer, 7), 0);
    EXPECT_EQ(empty.openStream(entry, nullptr), nullptr);
    EXPECT_EQ(root()->infoOf(entry), nullptr);
    EXPECT_EQ(empty.find("anything"), nullptr);
    EXPECT_EQ(empty.findEntry(nullptr, nullptr, nullptr), nullptr);
    EXPECT_STREQ(empty.name(), "<unknown>");

    entry->owner = nullptr;
    EXPECT_EQ(root()->read(entry, buffer, 7), 0);
    EXPECT_EQ(root()->infoOf(entry), nullptr);
    EXPECT_EQ(root()->subDir(entry), nullptr);
}

TEST_F(ResourceTree, SearchesStopAtTheDepthBoundOfAnEndlessArchive) {
    EndlessFactory endless(engine.typeRegistry());
    archives.mapExtension(".endless", "archive/endless", true);
    files.file("start.endless", "");
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

    // Found within the bound, nothing is logged.
    engine.clearLog();
    ResourceEntry* deeper = root()->findEntry(nullptr, "deeper", nullptr);
    ASSERT_NE(deeper, nullptr);
    EXPECT_TRUE(engine.logLines().empty());
}

TEST_F(ResourceTree, DirectoriesNestedBeyondTheBoundAreCut) {
    std::string deep;
    for (int i = 0; i < 80; ++i) deep += "d/";
    files.file(deep + "treasure", "x");
    EXPECT_EQ(root()->findEntry(nullptr, "treasure", nullptr), nullptr);
    EXPECT_EQ(logged("ResourceDir::findEntry: search cut at depth 64\n", 1), 1);
    EXPECT_EQ(factoryCalls("dir"), 64);
    // A path reaches it all the same.
    EXPECT_NE(root()->find((deep + "treasure").c_str()), nullptr);
}

TEST_F(ResourceTree, AFailedAllocationOfANodeGivesNullAndIsNotRemembered) {
    files.file("buzz1.wav", wavBytes());
    ResourceDir* top = root();
    // The listing's one snapshot node is allocation 1; the new node is allocation 2.
    failAllocation(2);
    EXPECT_EQ(top->find("buzz1.wav/*"), nullptr);
    failAllocation(0);
    EXPECT_TRUE(engine.logLines().empty());
    EXPECT_EQ(root()->children.size(), 0);
    EXPECT_EQ(factoryCalls("wav"), 0);
    EXPECT_NE(root()->find("buzz1.wav/*"), nullptr);
    EXPECT_EQ(factoryCalls("wav"), 1);
}

TEST_F(ResourceTree, AFailedAdapterAllocationClosesTheHostStream) {
    files.file("scorefontphase", "3");
    ResourceEntry* entry = root()->find("scorefontphase");
    ASSERT_NE(entry, nullptr);
    Archive* archive = archiveOf(root());
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

TEST_F(ResourceTree, AsynchronousStreamsAreReadThroughTheEmulatedBlockingRead) {
    archives.setStreamMode(StreamMode::Asynchronous);
    files.file("sequence.ini", kSequenceIni);
    files.file("buzz1.wav", wavBytes());
    ResourceEntry* wait = root()->find("sequence.ini/color/wait01");
    ASSERT_NE(wait, nullptr);
    char value[128] = {};
    EXPECT_EQ(root()->read(wait, value, 127), 6);
    EXPECT_STREQ(value, "25@100");
    EXPECT_NE(root()->find("buzz1.wav/*"), nullptr);
    EXPECT_GT(engine.countLog("emulating blocking read\n"), 0);
    EXPECT_EQ(engine.countLog("blocking read emulation already in progress\n"), 0);
    EXPECT_EQ(engine.pendingEvents(), 0u);
}

}  // namespace
