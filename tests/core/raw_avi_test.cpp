#include <gtest/gtest.h>

#include "core/allocator.h"
#include "host/core/raw_avi.h"
#include "tests/core/video_pattern.h"

using namespace hostengine;
using namespace videotest;

namespace {

void put32(std::vector<char>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

}  // namespace

TEST(RawAvi, WrittenFramesReadBackAsRgb555AndAlphaInBothRowOrders) {
    TempDir dir;
    HostEngine engine;
    RawAviVideoFactory factory;
    for (bool bottomUp : {true, false}) {
        std::string path = dir.file(bottomUp ? "up.avi" : "down.avi");
        ASSERT_TRUE(writeRawAvi(path, 7, 5, 12, patterns(7, 5, 4), bottomUp));
        std::string error;
        auto reader = RawAviReader::open(path, error);
        ASSERT_TRUE(reader) << error;
        EXPECT_EQ(reader->bottomUp(), bottomUp);
        EXPECT_EQ(reader->rate(), 12u);
        EXPECT_EQ(reader->scale(), 1u);

        InterfaceTable* handle = factory.open(path.c_str());
        ASSERT_NE(handle, nullptr) << factory.lastError();
        IVideo* video = handle->find<IVideo>("IVideo");
        ASSERT_NE(video, nullptr);
        EXPECT_EQ(video->frameCount(), 4);
        EXPECT_EQ(video->size().x, 7);
        EXPECT_EQ(video->size().y, 5);
        EXPECT_EQ(video->bitmapCount(), 2);
        EXPECT_EQ(video->bitmap(2), nullptr);
        EXPECT_EQ(video->bitmap(-1), nullptr);
        for (int f : {0, 3, 1, 2}) {
            EXPECT_EQ(video->seek(f), 1);
            expectShows(video, 7, 5, f);
        }
        factory.close(handle);
    }
    EXPECT_EQ(factory.openVideos(), 0u);
}

TEST(RawAvi, SeekAndNextMoveToExactFramesAndStopAtTheEnds) {
    TempDir dir;
    HostEngine engine;
    RawAviVideoFactory factory;
    std::string path = dir.file("steps.avi");
    ASSERT_TRUE(writeRawAvi(path, 4, 3, 12, patterns(4, 3, 5)));
    InterfaceTable* handle = factory.open(path.c_str());
    ASSERT_NE(handle, nullptr);
    IVideo* video = handle->find<IVideo>("IVideo");
    HostVideo* host = factory.videoOf(handle);
    expectShows(video, 4, 3, 0);
    struct Step {
        const char* operation;
        int argument;
        int result;
        int frameAfter;
    };
    const Step steps[] = {
        {"next", 0, 1, 1}, {"next", 0, 1, 2}, {"seek", 4, 1, 4}, {"next", 0, 0, 4}, {"next", 0, 0, 4},
        {"seek", 5, 0, 4}, {"seek", -1, 0, 4}, {"seek", 0, 1, 0}, {"seek", 0, 1, 0}, {"next", 0, 1, 1},
    };
    for (const Step& step : steps) {
        int result = std::string(step.operation) == "next" ? video->next() : video->seek(step.argument);
        EXPECT_EQ(result, step.result) << step.operation << " " << step.argument;
        EXPECT_EQ(host->currentFrame(), step.frameAfter);
        expectShows(video, 4, 3, step.frameAfter);
    }
    factory.close(handle);
}

TEST(RawAvi, RefusesMissingTruncatedAndForeignFiles) {
    TempDir dir;
    HostEngine engine;
    RawAviVideoFactory factory;
    std::string good = dir.file("good.avi");
    ASSERT_TRUE(writeRawAvi(good, 4, 2, 12, patterns(4, 2, 2)));
    const std::vector<char> bytes = bytesOf(good);

    struct Case {
        const char* name;
        std::function<void(std::vector<char>&)> change;
    };
    const Case cases[] = {
        {"empty", [](auto& b) { b.clear(); }},
        {"text", [](auto& b) { b.assign({'h', 'e', 'l', 'l', 'o'}); }},
        {"wave, not video", [](auto& b) { b[8] = 'W', b[9] = 'A', b[10] = 'V', b[11] = 'E'; }},
        {"cut in the last frame", [](auto& b) { b.resize(b.size() - 40 - 10); }},  // past the index
        {"riff longer than the file", [](auto& b) { put32(b, 4, 0x7FFFFFFF); }},
        {"compressed", [](auto& b) { put32(b, 172 + 16, 0x31637664); }},
        {"16 bits per pixel", [](auto& b) { b[172 + 14] = 16; }},
        {"width beyond 8192", [](auto& b) { put32(b, 172 + 4, 9000); }},
        {"height beyond 8192", [](auto& b) { put32(b, 172 + 8, static_cast<std::uint32_t>(-9000)); }},
        {"zero width", [](auto& b) { put32(b, 172 + 4, 0); }},
        {"frame chunk shorter than a picture", [](auto& b) { put32(b, 224 + 4, 8); }},
        {"list size beyond its parent", [](auto& b) { put32(b, 16, 0x10000); }},
        {"no frames", [](auto& b) {
             b.resize(224);
             put32(b, 4, 224 - 8);
             put32(b, 216, 4);
         }},
    };
    for (const Case& c : cases) {
        std::vector<char> changed = bytes;
        c.change(changed);
        std::string path = dir.file("bad.avi");
        writeBytes(path, changed);
        EXPECT_EQ(factory.open(path.c_str()), nullptr) << c.name;
        EXPECT_FALSE(factory.lastError().empty()) << c.name;
    }
    EXPECT_EQ(factory.open(dir.file("missing.avi").c_str()), nullptr);
    EXPECT_EQ(factory.open(dir.path.string().c_str()), nullptr);
    EXPECT_EQ(factory.open(""), nullptr);
    EXPECT_EQ(factory.open(nullptr), nullptr);
    // Every prefix of the file is refused, whatever field it ends in.
    for (std::size_t length = 0; length < bytes.size(); length += 3) {
        std::string path = dir.file("prefix.avi");
        writeBytes(path, std::vector<char>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length)));
        EXPECT_EQ(factory.open(path.c_str()), nullptr) << length;
    }
    EXPECT_EQ(factory.openVideos(), 0u);
    factory.close(nullptr);
    InterfaceTable stranger;
    factory.close(&stranger);
}

TEST(RawAvi, FactoryIsFoundAsAvifileAndClosingReleasesEverything) {
    TempDir dir;
    HostEngine engine;
    const std::int64_t before = allocationStats().live;
    {
        auto factory = registerRawAviVideoFactory(engine);
        EXPECT_EQ(interfaceFrom<IVideoFactory>(engine.findInterface("avifile", "IVideoFactory")), static_cast<IVideoFactory*>(factory.get()));
        // Wider than the module's blend map draws: still opened, the module clips.
        std::string path = dir.file("v.avi");
        ASSERT_TRUE(writeRawAvi(path, 600, 2, 12, patterns(600, 2, 2)));
        InterfaceTable* first = factory->open(path.c_str());
        InterfaceTable* second = factory->open(path.c_str());
        ASSERT_TRUE(first && second);
        EXPECT_NE(first, second);
        expectShows(first->find<IVideo>("IVideo"), 600, 2, 0);
        EXPECT_NE(engine.findInterface(nullptr, "IVideo"), 0u);
        factory->close(first);
        EXPECT_EQ(factory->openVideos(), 1u);
        // The second stays open: the factory closes it when it goes.
    }
    EXPECT_EQ(engine.findInterface(nullptr, "IVideo"), 0u);
    EXPECT_EQ(engine.findInterface(nullptr, "IBitmap"), 0u);
    EXPECT_EQ(engine.findInterface("avifile", "IVideoFactory"), 0u);
    EXPECT_EQ(allocationStats().live, before);
}
