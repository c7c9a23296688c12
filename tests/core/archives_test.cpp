// The reference host's archives over real files: directories, INI files and their sections, WAV files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host/core/archive_base.h"
#include "host/core/archive_ini.h"
#include "host/core/host_engine.h"
#include "host/core/resource_root.h"
#include "resources/entry_list.h"
#include "resources/resource_dir.h"
#include "resources/stream_adapter.h"
#include "tests/core/video_pattern.h"

using namespace hostengine;
using Names = std::vector<std::string>;

namespace {

// 22050 Hz stereo 16-bit, with a chunk before "fmt " that the reader has to step over, odd-sized so
// that its padding counts.
std::string wavBytes(std::size_t dataBytes) {
    std::string out = "RIFF";
    auto put = [&out](std::uint32_t value, int width) {
        for (int i = 0; i < width; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    put(static_cast<std::uint32_t>(46 + dataBytes), 4);
    out += std::string("WAVELIST\x01\0\0\0x\0fmt \x10\0\0\0\x01\0\x02\0", 26);
    for (auto [value, width] : {std::pair{22050u, 4}, {88200u, 4}, {4u, 2}, {16u, 2}, {0x61746164u, 4}}) put(value, width);
    put(static_cast<std::uint32_t>(dataBytes), 4);
    for (std::size_t i = 0; i < dataBytes; ++i) out += static_cast<char>(i * 13 + 1);
    return out;
}

class Archives : public ::testing::Test {
protected:
    ResourceDir* root() {
        if (!root_) root_ = archives.makeRootDir(files.path.string());
        return root_;
    }
    std::string typeName(const ResourceEntry* entry) { return engine.typeRegistry()->typeNameOf(entry->typeId); }
    static Names listing(ResourceDir* node) {
        Names names;
        EntryList list(node);
        while (ResourceEntry* entry = list.next()) names.push_back(entry->name);
        return names;
    }
    std::string text(const std::string& path) {
        ResourceEntry* entry = root()->find(path.c_str());
        if (!entry) return "<missing>";
        StreamAdapter* stream = entry->owner->openStream(entry, entry->owner->infoOf(entry));
        if (!stream) return "<no stream>";
        std::string bytes;
        char chunk[100];
        for (std::int32_t n; (n = stream->read(chunk, sizeof chunk)) > 0;) bytes.append(chunk, static_cast<std::size_t>(n));
        entry->owner->closeStream(stream);
        return bytes;
    }
    const std::uint32_t* words(const char* path) {
        ResourceEntry* entry = root()->find(path);
        return entry ? entry->owner->infoOf(entry)->words : nullptr;
    }

    videotest::TempDir files;
    HostEngine engine;
    HostArchives archives{engine};

private:
    ResourceDir* root_ = nullptr;
};

TEST_F(Archives, ADirectoryListsSortedEntriesTypedByExtension) {
    const struct {
        const char* name;
        const char* type;
        std::uint32_t container, bytes;
    } expected[] = {
        {"A.INI", "archive/ini", 1, 4}, {"b.txt", "text", 0, 3},  {"c.Wav", "archive/wav", 1, 4},
        {"d.avi", "video/avi", 0, 0},   {"noext", "text", 0, 5}, {"sub", "archive/dir", 1, 0},
    };
    for (const auto& e : expected) files.write(e.name + std::string(e.container && !e.bytes ? "/inner" : ""), std::string("[s]\n1").substr(0, e.bytes));
    EntryList list(root());
    for (const auto& e : expected) {
        ResourceEntry* entry = list.next();
        ASSERT_NE(entry, nullptr) << e.name;
        EXPECT_STREQ(entry->name, e.name);
        EXPECT_EQ(typeName(entry), e.type) << e.name;
        EXPECT_EQ(entry->container, e.container) << e.name;
        EXPECT_EQ(std::string(entry->locator), "file://" + (files.path / e.name).string());
        ResourceInfo* info = root()->infoOf(entry);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->words[0], entry->typeId) << e.name;
        EXPECT_EQ(info->words[1], e.bytes) << e.name;
    }
    EXPECT_EQ(list.next(), nullptr);
    EXPECT_EQ(listing(root()->subDir(root()->find("sub"))), Names{"inner"});
    // Roots are made only over directories.
    for (const std::string& notADirectory : {files.file("b.txt"), files.file("absent"), std::string()})
        EXPECT_EQ(archives.makeRootDir(notADirectory), nullptr) << notADirectory;
    EXPECT_EQ(listing(archives.makeRootDir(files.file("sub") + "/")), Names{"inner"});
}

TEST_F(Archives, IniSectionsAndKeysKeepFileOrderAndSkipWhatIsNotIni) {
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
    EXPECT_EQ(listing(ini), (Names{"color", "alpha", "empty"}));
    EXPECT_EQ(listing(ini->subDir(ini->find("color"))), (Names{"wait01", "buzz01", "look"}));
    EXPECT_EQ(listing(ini->subDir(ini->find("empty"))), Names{});
    const std::pair<const char*, const char*> values[] = {
        {"color/wait01", "25@100"}, {"COLOR/Buzz01", "125@30 ; kept as written"}, {"color/look", "a=b"}, {"alpha/wait01", "1@1"}};
    for (auto [path, value] : values) EXPECT_EQ(text(std::string("sequence.ini/") + path), value) << path;
    EXPECT_EQ(typeName(root()->find("sequence.ini/color/wait01")), "text");
    EXPECT_EQ(words("sequence.ini/color/wait01")[1], 6u);

    for (const auto& [name, bytes] : bad) {
        engine.clearLog();
        EXPECT_EQ(root()->find((std::string("bad/") + name + ".ini/color").c_str()), nullptr) << name;
        EXPECT_EQ(engine.countLog("missing resource:<<color>>\n"), 1) << name;
        EXPECT_EQ(engine.logLines().size(), 1u) << name;
    }
}

TEST_F(Archives, TheIniFactoriesRefuseMissingFilesAndEntriesNotTheirOwn) {
    std::string locator = "file://" + files.write("direct.ini", "[only]\nkey=value\n");
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
    EXPECT_EQ(archive->nextEntry(&stranger), nullptr);
    EXPECT_EQ(archive->infoOf(&stranger), nullptr);
    EXPECT_EQ(archive->open(&stranger, nullptr), nullptr);
    ResourceEntry nowhere{ini, 1, "file:///no/such/file.ini", 0, "file.ini", nullptr};
    EXPECT_EQ(factory->create(&nowhere, nullptr, nullptr), nullptr);
    EXPECT_EQ(sections->create(section, nullptr, nullptr), nullptr);
}

TEST_F(Archives, AWavEntryDeliversTheWholeFileAndDescribesIt) {
    const std::string wave = wavBytes(1000), bare("RIFF\x04\x00\x00\x00WAVE", 12);
    files.write("buzz1.wav", wave);
    files.write("bare.wav", bare);  // no format chunk: still holds its sound
    for (StreamMode mode : {StreamMode::Direct, StreamMode::Asynchronous}) {
        HostEngine own;
        HostArchives host(own);
        host.setStreamMode(mode);
        ResourceEntry* sound = host.makeRootDir(files.path.string())->find("buzz1.wav/*");
        ASSERT_NE(sound, nullptr);
        EXPECT_STREQ(sound->name, "sound");
        const std::uint32_t* words = sound->owner->infoOf(sound)->words;
        EXPECT_EQ(std::vector<std::uint32_t>(words, words + 4),
                  (std::vector<std::uint32_t>{own.typeRegistry()->typeIdOf("sound/wav"), static_cast<std::uint32_t>(wave.size()), 22050u, 2u | (16u << 16)}));
    }
    EXPECT_EQ(text("buzz1.wav/sound"), wave);
    EXPECT_EQ(std::vector<std::uint32_t>(words("bare.wav/sound") + 1, words("bare.wav/sound") + 4), (std::vector<std::uint32_t>{12, 0, 0}));
    EXPECT_EQ(text("bare.wav/sound"), bare);
}

TEST_F(Archives, LongNamesAreFoundAndReadLikeShortOnes) {
    const std::string name(250, 'q'), section(3000, 's'), key(5000, 'k');
    files.write(name + ".ini", "[" + section + "]\n" + key + "=" + std::string(9000, 'v') + "\n");
    const std::string path = name + ".ini/" + section + "/" + key;
    EXPECT_EQ(text(path), std::string(9000, 'v'));
    char small[16] = {};
    EXPECT_EQ(root()->read(root()->find(path.c_str()), small, 15), 15);
    EXPECT_EQ(std::string(small), std::string(15, 'v'));
}

}  // namespace
