// The resource tree driven through the reference host's archives over real files: directories, INI
// files and their sections, WAV files, and archives of the tests' own that never end.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <tuple>
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

// 1000 bytes of 22050 Hz stereo 16-bit, after a chunk before "fmt " that the reader has to step over,
// odd-sized so that its padding counts.
const std::string kWave = std::string("RIFF\x16\x04\0\0WAVELIST\x01\0\0\0x\0fmt \x10\0\0\0\x01\0\x02\0\x22\x56\0\0\x88\x58\x01\0\x04\0\x10\0data\xe8\x03\0\0", 54) +
                          std::string(1000, 'w');

// Archives of the tests' own kind that contain themselves: each lists `branches` containers "deeper"
// of that kind, so it is nested as deep as anyone looks (and, with two, grows as a directory with two
// links up the tree does).
struct EndlessArchive : HostObject, IArchive {
    std::vector<ResourceEntry> entries;
    ResourceInfo info{};
    EndlessArchive(std::uint32_t typeId, int branches)
        : HostObject(nullptr), entries(static_cast<std::size_t>(branches), ResourceEntry{typeId, 1, "endless://deeper", 0, "deeper", nullptr}) {
        info.words[0] = typeId;
        interfaces.add("IArchive", entryValueOf<IArchive>(this));
    }
    ResourceEntry* nextEntry(ResourceEntry* previous) override {
        const std::size_t next = previous ? static_cast<std::size_t>(previous - entries.data()) + 1 : 0;
        return next < entries.size() ? &entries[next] : nullptr;
    }
    ResourceInfo* infoOf(ResourceEntry*) override { return &info; }
    InterfaceTable* open(ResourceEntry*, ResourceInfo*) override { return nullptr; }
    void close(InterfaceTable*) override {}
};

struct EndlessFactory : HostObject, IArchiveFactory {
    std::uint32_t typeId;
    int branches;
    std::vector<std::unique_ptr<EndlessArchive>> archives;
    EndlessFactory(const char* kind, std::uint32_t type, int count) : HostObject(kind), typeId(type), branches(count) {
        interfaces.add("IArchiveFactory", entryValueOf<IArchiveFactory>(this));
    }
    InterfaceTable* create(ResourceEntry*, ResourceInfo*, InterfaceTable*) override {
        return archives.emplace_back(std::make_unique<EndlessArchive>(typeId, branches))->handle();
    }
};

class ResourceTree : public ::testing::Test {
protected:
    ResourceDir* root() {
        if (!root_) root_ = archives.makeRootDir(files.path().string());
        return root_;
    }
    // The log as "level text" lines, so one comparison checks what was said, how loudly and how often.
    Lines log() {
        Lines lines;
        for (const LogLine& line : engine.logLines()) lines.push_back(std::to_string(line.level) + " " + line.text);
        return lines;
    }
    static Lines listing(ResourceDir* node) {
        Lines names;
        EntryList list(node);
        while (ResourceEntry* entry = list.next()) names.push_back(entry->name);
        return names;
    }
    // The whole stream of the entry at `path`, read in chunks.
    std::string text(const std::string& path) {
        ResourceEntry* entry = root()->find(path.c_str());
        StreamAdapter* stream = entry ? entry->owner->openStream(entry, entry->owner->infoOf(entry)) : nullptr;
        if (!stream) return "<missing>";
        std::string bytes;
        char chunk[100];
        for (std::int32_t n; (n = stream->read(chunk, sizeof chunk)) > 0;) bytes.append(chunk, static_cast<std::size_t>(n));
        entry->owner->closeStream(stream);
        return bytes;
    }
    std::vector<std::uint32_t> words(const char* path) {
        ResourceEntry* entry = root()->find(path);
        const std::uint32_t* words = entry ? entry->owner->infoOf(entry)->words : nullptr;
        return words ? std::vector<std::uint32_t>(words, words + 4) : std::vector<std::uint32_t>{};
    }
    // A factory of endless archives of `kind`, and a file of that kind in the directory `kind`.
    std::unique_ptr<EndlessFactory> endless(const char* kind, int branches) {
        const std::string type = std::string("archive/") + kind;
        archives.mapExtension(std::string(".") + kind, type, true);
        files.write(std::string(kind) + "/start." + kind, "");
        return std::make_unique<EndlessFactory>(kind, engine.typeRegistry()->typeIdOf(type.c_str()), branches);
    }
    Archive* rootArchive() { return dynamic_cast<Archive*>(root()->archive); }

    videotest::TempDir files;
    HostEngine engine;
    HostArchives archives{engine};
    ResourceDir* root_ = nullptr;
};

TEST_F(ResourceTree, ADirectoryListsSortedEntriesTypedByExtensionAndOnlyDirectoriesAreRoots) {
    for (auto [name, bytes] : {std::pair{"A.INI", "[s]\n"}, {"b.txt", "bee"}, {"c.Wav", "RIFF"}, {"d.avi", ""}, {"noext", "12345"}, {"sub/inner", ""}}) files.write(name, bytes);
    Lines described;  // name, type, container, bytes; and whether the record and locator agree
    for (EntryList list(root()); ResourceEntry* entry = list.next();) {
        const std::uint32_t* words = root()->infoOf(entry)->words;
        const bool agree = words[0] == entry->typeId && words[2] == 0 && entry->locator == "file://" + files.file(entry->name);
        described.push_back(std::string(entry->name) + " " + engine.typeRegistry()->typeNameOf(entry->typeId) + " " + std::to_string(entry->container) + " " +
                            std::to_string(words[1]) + (agree ? "" : " disagree"));
    }
    EXPECT_EQ(described, (Lines{"A.INI archive/ini 1 4", "b.txt text 0 3", "c.Wav archive/wav 1 4", "d.avi video/avi 0 0", "noext text 0 5", "sub archive/dir 1 0"}));
    for (const std::string& notADirectory : {files.file("b.txt"), files.file("absent"), std::string()})
        EXPECT_EQ(archives.makeRootDir(notADirectory), nullptr) << notADirectory;
    EXPECT_EQ(listing(archives.makeRootDir(files.file("sub") + "/")), Lines{"inner"});
}

TEST_F(ResourceTree, MissingPartsOfAPathAreLoggedAsTheyReachedTheirNode) {
    files.write("buzz1.wav", kWave);
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

TEST_F(ResourceTree, LongNamesAndPathsOfThousandsOfComponentsAreFound) {
    auto factory = endless("endless", 1);
    const std::string name(250, 'q'), section(3000, 's'), key(5000, 'k');
    files.write(name + ".ini", "[" + section + "]\n" + key + "=" + std::string(9000, 'v') + "\n");
    const std::string path = name + ".ini/" + section + "/" + key;
    EXPECT_EQ(text(path), std::string(9000, 'v'));
    char small[16] = {};
    EXPECT_EQ(root()->read(root()->find(path.c_str()), small, 15), 15);
    EXPECT_EQ(std::string(small), std::string(15, 'v'));
    // Walked without recursion, however deep.
    std::string deep = "endless/start.endless";
    for (int i = 0; i < 2000; ++i) deep += "/deeper";
    ASSERT_NE(root()->find(deep.c_str()), nullptr);
    EXPECT_EQ(factory->archives.size(), 2000u);
    EXPECT_EQ(log(), Lines{});
}

// An archive object without "IArchive" is the host-fault tests' case.
TEST_F(ResourceTree, BrokenArchivesAreLoggedWithTheirKindAndTheirNodesAreNotRetried) {
    archives.mapExtension(".pak", "archive/pak", true);
    for (auto [name, bytes] : {std::pair{"empty.wav", ""}, {"text.wav", "RIFX is not a wave file"}, {"things.pak", "whatever"}}) files.write(name, bytes);
    auto notWave = [&](const char* name) { return "3 WavArchiveFactory: '" + files.file(name) + "' is not a RIFF WAVE file\n"; };
    const struct {
        const char* path;
        Lines logged;
    } cases[] = {
        {"empty.wav/*", {notWave("empty.wav"), "3 ArchiveFactory wav returned NULL.\n", "1 missing resource:<<*>>\n"}},
        {"text.wav/sound", {notWave("text.wav"), "3 ArchiveFactory wav returned NULL.\n", "1 missing resource:<<sound>>\n"}},
        {"things.pak/inner", {"3 No ArchiveFactory for pak.\n", "1 missing resource:<<inner>>\n"}},
        {"THINGS.PAK/inner", {"1 missing resource:<<inner>>\n"}},  // the failed node is remembered
    };
    for (const auto& c : cases) {
        engine.clearLog();
        EXPECT_EQ(root()->find(c.path), nullptr) << c.path;
        EXPECT_EQ(log(), c.logged) << c.path;
    }
    EXPECT_EQ(root()->children.size(), 3);
}

TEST_F(ResourceTree, WildcardsAndSearchesFollowListingThenOpenedChildrenThenContainers) {
    // Sorted listing: SCOREFONTPHASE (a directory: same name, other type), alpha/, beta/, scorefontphase.
    for (const char* file : {"SCOREFONTPHASE/scorefontphase", "alpha/scorefontphase", "beta/scorefontphase", "scorefontphase"}) files.write(file, file);
    // Nothing open yet: the wildcard opens the first listed entry; once beta is open it is the first child.
    ResourceEntry* first = archives.makeRootDir(files.path().string())->find("*/*");
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->owner->name(), "SCOREFONTPHASE");
    ResourceDir* beta = root()->subDir(root()->find("beta"));
    ASSERT_NE(beta, nullptr);
    EXPECT_EQ(root()->subDir(root()->find("beta")), beta);
    EXPECT_EQ(text("*/scorefontphase"), "beta/scorefontphase");
    Lines owners;
    for (ResourceEntry* at = nullptr; (at = root()->findEntry(at, "scorefontphase", "text"));) owners.push_back(at->owner->name());
    EXPECT_EQ(owners, (Lines{"<unknown>", "beta", "SCOREFONTPHASE", "alpha"}));

    ResourceEntry* own = root()->findEntry(nullptr, "scorefontphase", "text");
    ResourceEntry* anyType = root()->findEntry(nullptr, "ScoreFontPhase", nullptr);
    ASSERT_NE(anyType, nullptr);
    EXPECT_STREQ(engine.typeRegistry()->typeNameOf(anyType->typeId), "archive/dir");
    // An `after` that the filters reject is never passed, so nothing follows it.
    EXPECT_EQ(std::vector<void*>({root()->findEntry(anyType, "scorefontphase", "text"), root()->findEntry(own, "alpha", nullptr),
                                  root()->findEntry(nullptr, "scorefontphase", "video/avi"), root()->subDir(nullptr)}),
              std::vector<void*>(4, nullptr));
    EXPECT_EQ(log(), Lines{});
    // A listing starts over after its end.
    EntryList list(root());
    std::vector<ResourceEntry*> twice;
    for (int i = 0; i < 10; ++i) twice.push_back(list.next());
    EXPECT_EQ(std::pair(twice[4], twice[5]), std::pair(static_cast<ResourceEntry*>(nullptr), twice[0]));
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
        const std::int32_t count = root()->read(entry, c.buffer ? buffer : nullptr, c.size);
        EXPECT_EQ(std::tuple(count, std::string(buffer), rootArchive()->streamsOpened() - before, rootArchive()->openStreamCount()),
                  std::tuple(c.count, std::string(c.text), c.opened, std::size_t{0})) << c.size;
    }
    char buffer[4] = {};
    EXPECT_EQ(root()->read(nullptr, buffer, 3), 0);
}

TEST_F(ResourceTree, SearchesOfEndlessArchivesStopAtTheirBounds) {
    const std::string depthCut = "1 ResourceDir::findEntry: search cut at depth 64\n";
    const std::string workCut = "1 ResourceDir::findEntry: search cut after 16384 nodes and entries\n";
    // The root's container is depth 1, so one path down opens 64 archives; every node opened costs a
    // search its own listing and more, so a tree branching into itself opens far fewer than the bound.
    auto one = endless("one", 1), two = endless("two", 2);
    const struct {
        EndlessFactory* factory;
        Lines logged;  // per search
        std::size_t archives;
    } cases[] = {{one.get(), {depthCut}, 64}, {two.get(), {depthCut, workCut}, 6000}};
    for (const auto& c : cases) {
        ResourceDir* top = archives.makeRootDir(files.file(c.factory->interfaces.objectName));
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
    const std::pair<const char*, const char*> links[] = {{".", "pawns/loop"}, {"..", "pawns/robot/up"}, {"../..", "pawns/robot/top"}, {"robot", "pawns/alias"}};
    for (auto [target, link] : links) std::filesystem::create_directory_symlink(target, files.path() / link);
    EXPECT_EQ(root()->findEntry(nullptr, "absent", nullptr), nullptr);
    Lines expected;  // alias leads to robot, no loop: kept, and robot's links are left out there too
    for (const char* link : {"pawns/loop", "pawns/robot/up", "pawns/robot/top", "pawns/alias/up", "pawns/alias/top"})
        expected.push_back("1 DirArchive: '" + files.file(link) + "' leads back into a directory it lies in; left out\n");
    Lines logged = log();
    std::sort(expected.begin(), expected.end());
    std::sort(logged.begin(), logged.end());
    EXPECT_EQ(logged, expected);
    EXPECT_EQ(archives.directoriesOpened().size(), 4u);  // the root, pawns, robot and alias, each once
    EXPECT_NE(root()->findEntry(nullptr, "dual.avi", nullptr), nullptr);
}

TEST_F(ResourceTree, AFailedAllocationOfANodeGivesNullAndIsNotRemembered) {
    files.write("buzz1.wav", kWave);
    root();
    failAllocation(2);  // the listing's one snapshot node is allocation 1; the new node is allocation 2
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
    // What the host stream itself takes from the shared allocator, measured on one open.
    const std::int64_t before = allocationStats().allocations;
    rootArchive()->close(rootArchive()->open(entry, root()->infoOf(entry)));
    failAllocation(allocationStats().allocations - before + 1);
    char buffer[4] = {};
    EXPECT_EQ(root()->read(entry, buffer, 3), 0);
    failAllocation(0);
    EXPECT_EQ(rootArchive()->openStreamCount(), 0u);
    EXPECT_EQ(root()->read(entry, buffer, 3), 1);
}

TEST_F(ResourceTree, IniSectionsAndKeysKeepFileOrderAndSkipWhatIsNotIni) {
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 7919) % 256);
    const std::pair<const char*, std::string> bad[] = {{"binary", binary}, {"empty", ""}, {"garbage", "no sections here\n[\n]\n[]\nkey=value\n"}};
    for (const auto& [name, bytes] : bad) files.write(std::string("bad/") + name + ".ini", bytes);
    files.write("sequence.ini",
                "\xEF\xBB\xBF" "orphan=before any section\n# comment\n\n[color]\r\n  wait01 =  25@100  \r\nthis line is garbage\n"
                "=no key\n; wait99=commented out\nbuzz01=125@30 ; kept as written\nlook=a=b\n[broken\nlost=1\n"
                "[ alpha ] trailing words\nwait01=1@1\nbin\x01" "ary=2\n[empty]\n");
    ResourceDir* ini = root()->subDir(root()->find("sequence.ini"));
    ASSERT_NE(ini, nullptr);
    EXPECT_EQ(listing(ini), (Lines{"color", "alpha", "empty"}));
    EXPECT_EQ(listing(ini->subDir(ini->find("color"))), (Lines{"wait01", "buzz01", "look"}));
    EXPECT_EQ(listing(ini->subDir(ini->find("alpha"))), (Lines{"wait01"}));
    EXPECT_EQ(listing(ini->subDir(ini->find("empty"))), Lines{});
    const std::pair<const char*, const char*> values[] = {
        {"color/wait01", "25@100"}, {"COLOR/Buzz01", "125@30 ; kept as written"}, {"color/look", "a=b"}, {"alpha/wait01", "1@1"}};
    for (auto [path, value] : values) EXPECT_EQ(text(std::string("sequence.ini/") + path), value) << path;
    EXPECT_EQ(words("sequence.ini/color/wait01"), (std::vector<std::uint32_t>{engine.typeRegistry()->typeIdOf("text"), 6, 0, 0}));
    for (const auto& [name, bytes] : bad) {
        engine.clearLog();
        EXPECT_EQ(root()->find((std::string("bad/") + name + ".ini/color").c_str()), nullptr) << name;
        EXPECT_EQ(log(), Lines{"1 missing resource:<<color>>\n"}) << name;
    }
}

TEST_F(ResourceTree, TheIniFactoriesRefuseMissingFilesAndEntriesNotTheirOwn) {
    const std::string locator = "file://" + files.write("direct.ini", "[only]\nkey=value\n");
    IArchiveFactory* factory = interfaceFrom<IArchiveFactory>(engine.findInterface("ini", "IArchiveFactory"));
    IArchiveFactory* sections = interfaceFrom<IArchiveFactory>(engine.findInterface("inisection", "IArchiveFactory"));
    ASSERT_TRUE(factory && sections);
    const std::uint32_t ini = engine.typeRegistry()->typeIdOf("archive/ini");
    ResourceEntry entry{ini, 1, locator.c_str(), 0, "direct.ini", nullptr};
    InterfaceTable* handle = factory->create(&entry, nullptr, nullptr);
    ASSERT_NE(handle, nullptr);
    IArchive* archive = handle->find<IArchive>("IArchive");
    ResourceEntry* section = archive->nextEntry(nullptr);
    ASSERT_NE(section, nullptr);
    ResourceEntry stranger = *section;
    ResourceEntry nowhere{ini, 1, "file:///no/such/file.ini", 0, "file.ini", nullptr};
    EXPECT_EQ(std::vector<void*>({archive->nextEntry(&stranger), archive->infoOf(&stranger), archive->open(&stranger, nullptr),
                                  factory->create(&nowhere, nullptr, nullptr), sections->create(section, nullptr, nullptr)}),
              std::vector<void*>(5, nullptr));
}

TEST_F(ResourceTree, AWavEntryDeliversTheWholeFileAndDescribesIt) {
    const std::string bare("RIFF\x04\x00\x00\x00WAVE", 12);
    files.write("buzz1.wav", kWave);
    files.write("bare.wav", bare);  // no format chunk: still holds its sound
    const std::uint32_t wavType = engine.typeRegistry()->typeIdOf("sound/wav");
    for (StreamMode mode : {StreamMode::Direct, StreamMode::Asynchronous}) {
        archives.setStreamMode(mode);
        EXPECT_STREQ(root()->find("buzz1.wav/*")->name, "sound");
        EXPECT_EQ(words("buzz1.wav/sound"), (std::vector<std::uint32_t>{wavType, static_cast<std::uint32_t>(kWave.size()), 22050u, 2u | (16u << 16)}));
        EXPECT_EQ(text("buzz1.wav/sound"), kWave);
    }
    EXPECT_EQ(words("bare.wav/sound"), (std::vector<std::uint32_t>{wavType, 12, 0, 0}));
    EXPECT_EQ(text("bare.wav/sound"), bare);
}

}  // namespace
