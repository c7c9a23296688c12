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

namespace {

std::string wavBytes(std::uint32_t sampleRate, std::uint16_t channels, std::uint16_t bits, std::size_t dataBytes) {
    auto put = [](std::string& out, std::uint32_t value, int width) {
        for (int i = 0; i < width; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    std::string out = "RIFF";
    put(out, static_cast<std::uint32_t>(4 + 10 + 24 + 8 + dataBytes), 4);
    // A chunk before "fmt " that the reader has to step over, odd-sized so that its padding counts.
    out += std::string("WAVELIST\x01\0\0\0x\0fmt \x10\0\0\0\x01\0", 24);
    put(out, channels, 2);
    put(out, sampleRate, 4);
    put(out, sampleRate * channels * bits / 8, 4);
    put(out, static_cast<std::uint32_t>(channels * bits / 8), 2);
    put(out, bits, 2);
    out += "data";
    put(out, static_cast<std::uint32_t>(dataBytes), 4);
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
    std::vector<std::string> listing(ResourceDir* node) {
        std::vector<std::string> names;
        EntryList list(node);
        while (ResourceEntry* entry = list.next()) names.push_back(entry->name);
        return names;
    }
    std::string text(const char* path) {
        ResourceEntry* entry = root()->find(path);
        if (!entry) return "<missing>";
        char buffer[128] = {};
        root()->read(entry, buffer, 127);
        return buffer;
    }
    static std::string wholeStream(ResourceEntry* entry) {
        StreamAdapter* stream = entry->owner->openStream(entry, entry->owner->infoOf(entry));
        if (!stream) return "<no stream>";
        std::string bytes;
        char chunk[100];
        for (std::int32_t n; (n = stream->read(chunk, sizeof chunk)) > 0;) bytes.append(chunk, static_cast<std::size_t>(n));
        entry->owner->closeStream(stream);
        return bytes;
    }

    videotest::TempDir files;
    HostEngine engine;
    HostArchives archives{engine};

private:
    ResourceDir* root_ = nullptr;
};

TEST_F(Archives, ADirectoryListsSortedEntriesTypedByExtension) {
    files.write("b.txt", "bee");
    files.write("A.INI", "[s]\n");
    files.write("c.Wav", "RIFF");
    files.write("d.avi", "");
    files.write("noext", "12345");
    files.write("sub/inner", "");
    struct Expected {
        const char* name;
        const char* type;
        std::uint32_t container;
        std::uint32_t bytes;
    } expected[] = {
        {"A.INI", "archive/ini", 1, 4},  {"b.txt", "text", 0, 3},   {"c.Wav", "archive/wav", 1, 4},
        {"d.avi", "video/avi", 0, 0},    {"noext", "text", 0, 5},   {"sub", "archive/dir", 1, 0},
    };
    EntryList list(root());
    for (const Expected& e : expected) {
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
    EXPECT_EQ(listing(root()->subDir(root()->find("sub"))), std::vector<std::string>{"inner"});
}

TEST_F(Archives, RootsAreMadeOnlyOverDirectories) {
    std::string file = files.write("plain", "x");
    for (const std::string& notADirectory : {file, files.path.string() + "/absent", std::string()})
        EXPECT_EQ(archives.makeRootDir(notADirectory), nullptr) << notADirectory;
    ResourceDir* top = archives.makeRootDir(files.path.string() + "/");
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(listing(top), std::vector<std::string>{"plain"});
}

TEST_F(Archives, IniSectionsAndKeysKeepFileOrderAndSkipWhatIsNotIni) {
    files.write("sequence.ini",
               "\xEF\xBB\xBF"
               "orphan=before any section\n"
               "# comment\n"
               "\n"
               "[color]\r\n"
               "  wait01 =  25@100  \r\n"
               "this line is garbage\n"
               "=no key\n"
               "; wait99=commented out\n"
               "buzz01=125@30 ; kept as written\n"
               "look=a=b\n"
               "[broken\n"
               "lost=1\n"
               "[ alpha ] trailing words\n"
               "wait01=1@1\n"
               "bin\x01" "ary=2\n"
               "[empty]\n");
    ResourceDir* ini = root()->subDir(root()->find("sequence.ini"));
    ASSERT_NE(ini, nullptr);
    EXPECT_EQ(listing(ini), (std::vector<std::string>{"color", "alpha", "empty"}));
    EXPECT_EQ(listing(ini->subDir(ini->find("color"))), (std::vector<std::string>{"wait01", "buzz01", "look"}));
    EXPECT_EQ(text("sequence.ini/color/wait01"), "25@100");
    EXPECT_EQ(text("sequence.ini/COLOR/Buzz01"), "125@30 ; kept as written");
    EXPECT_EQ(text("sequence.ini/color/look"), "a=b");
    EXPECT_EQ(text("sequence.ini/alpha/wait01"), "1@1");
    EXPECT_EQ(listing(ini->subDir(ini->find("empty"))), std::vector<std::string>{});
    ResourceEntry* key = root()->find("sequence.ini/color/wait01");
    EXPECT_EQ(typeName(key), "text");
    EXPECT_EQ(key->owner->infoOf(key)->words[1], 6u);
}

TEST_F(Archives, BadIniFilesListNothingAndReportTheMissingSection) {
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 7919) % 256);
    files.write("binary.ini", binary);
    files.write("empty.ini", "");
    files.write("garbage.ini", "no sections here\n[\n]\n[]\nkey=value\n");
    for (const char* name : {"binary.ini", "empty.ini", "garbage.ini"}) {
        engine.clearLog();
        EXPECT_EQ(root()->find((std::string(name) + "/color").c_str()), nullptr) << name;
        EXPECT_EQ(engine.countLog("missing resource:<<color>>\n"), 1) << name;
        EXPECT_EQ(engine.logLines().size(), 1u) << name;
    }
}

TEST_F(Archives, TheIniFactoryRefusesMissingFilesAndEntriesNotItsOwn) {
    std::string path = files.write("direct.ini", "[only]\nkey=value\n");
    IArchiveFactory* factory = interfaceFrom<IArchiveFactory>(engine.findInterface("ini", "IArchiveFactory"));
    ASSERT_NE(factory, nullptr);
    const std::uint32_t ini = engine.typeRegistry()->typeIdOf("archive/ini");
    std::string locator = "file://" + path;
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
    IArchiveFactory* sections = interfaceFrom<IArchiveFactory>(engine.findInterface("inisection", "IArchiveFactory"));
    ASSERT_NE(sections, nullptr);
    EXPECT_EQ(sections->create(section, nullptr, nullptr), nullptr);
}

TEST_F(Archives, AWavEntryDeliversTheWholeFileAndDescribesIt) {
    std::string wave = wavBytes(22050, 2, 16, 1000);
    files.write("buzz1.wav", wave);
    for (StreamMode mode : {StreamMode::Direct, StreamMode::Asynchronous}) {
        HostEngine own;
        HostArchives host(own);
        host.setStreamMode(mode);
        ResourceEntry* sound = host.makeRootDir(files.path.string())->find("buzz1.wav/*");
        ASSERT_NE(sound, nullptr);
        EXPECT_STREQ(sound->name, "sound");
        const std::uint32_t* words = sound->owner->infoOf(sound)->words;
        EXPECT_EQ(std::vector<std::uint32_t>(words, words + 4),
                  (std::vector<std::uint32_t>{own.typeRegistry()->typeIdOf("sound/wav"), static_cast<std::uint32_t>(wave.size()),
                                              22050u, 2u | (16u << 16)}));
        EXPECT_EQ(wholeStream(sound), wave);
    }
}

TEST_F(Archives, AWaveWithoutFormatChunkStillHoldsItsSound) {
    std::string bare("RIFF\x04\x00\x00\x00WAVE", 12);
    files.write("bare.wav", bare);
    ResourceEntry* sound = root()->find("bare.wav/sound");
    ASSERT_NE(sound, nullptr);
    const std::uint32_t* words = sound->owner->infoOf(sound)->words;
    EXPECT_EQ(std::vector<std::uint32_t>(words + 1, words + 4), (std::vector<std::uint32_t>{12, 0, 0}));
    EXPECT_EQ(wholeStream(sound), bare);
}

TEST_F(Archives, LongNamesAreFoundAndReadLikeShortOnes) {
    std::string name(250, 'q');
    files.write(name + ".ini", "[" + std::string(3000, 's') + "]\n" + std::string(5000, 'k') + "=" + std::string(9000, 'v') + "\n");
    std::string path = name + ".ini/" + std::string(3000, 's') + "/" + std::string(5000, 'k');
    ResourceEntry* key = root()->find(path.c_str());
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(wholeStream(key), std::string(9000, 'v'));
    char small[16] = {};
    EXPECT_EQ(root()->read(key, small, 15), 15);
    EXPECT_EQ(std::string(small), std::string(15, 'v'));
}

}  // namespace
