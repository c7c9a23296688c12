#include <gtest/gtest.h>

#include <functional>

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

TEST(RawAvi, WrittenFramesReadBackInBothRowOrdersAndSeekAndNextStopAtTheEnds) {
    TempDir dir;
    HostEngine engine;
    const std::int64_t before = allocationStats().live;
    {
        auto factory = registerRawAviVideoFactory(engine);
        EXPECT_EQ(interfaceFrom<IVideoFactory>(engine.findInterface("avifile", "IVideoFactory")), static_cast<IVideoFactory*>(factory.get()));
        const struct {
            int seekTo;  // -2: next
            int result, frameAfter;
        } steps[] = {{-2, 1, 1}, {4, 1, 4}, {-2, 0, 4}, {5, 0, 4}, {-1, 0, 4}, {0, 1, 0}, {3, 1, 3}, {-2, 1, 4}, {2, 1, 2}};
        // Wider than the module's blend map draws: still opened, the module clips.
        for (auto [width, bottomUp] : {std::pair{7, true}, {7, false}, {600, true}}) {
            const std::string path = dir.file("v" + std::to_string(width) + (bottomUp ? "up.avi" : "down.avi"));
            ASSERT_TRUE(writeRawAvi(path, width, 3, 12, patterns(width, 3, 5), bottomUp));
            InterfaceTable* handle = factory->open(path.c_str());
            ASSERT_NE(handle, nullptr) << factory->lastError();
            IVideo* video = handle->find<IVideo>("IVideo");
            EXPECT_EQ(std::vector<std::intptr_t>({video->frameCount(), reinterpret_cast<std::intptr_t>(video->bitmap(2)), reinterpret_cast<std::intptr_t>(video->bitmap(-1))}),
                      (std::vector<std::intptr_t>{5, 0, 0}));
            for (const auto& step : steps) {
                EXPECT_EQ(step.seekTo == -2 ? video->next() : video->seek(step.seekTo), step.result) << step.seekTo;
                EXPECT_EQ(factory->videoOf(handle)->currentFrame(), step.frameAfter);
                expectShows(video, width, 3, step.frameAfter);
            }
            if (width < 600) factory->close(handle);  // the last is left open: the factory closes it when it goes
        }
        EXPECT_EQ(factory->openVideos(), 1u);
    }
    EXPECT_EQ(engine.findInterface(nullptr, "IVideo"), 0u);
    EXPECT_EQ(engine.findInterface("avifile", "IVideoFactory"), 0u);
    EXPECT_EQ(allocationStats().live, before);
}

TEST(RawAvi, RefusesMissingTruncatedAndForeignFiles) {
    TempDir dir;
    HostEngine engine;
    RawAviVideoFactory factory;
    std::string good = dir.file("good.avi");
    ASSERT_TRUE(writeRawAvi(good, 4, 2, 12, patterns(4, 2, 2)));
    const std::vector<char> bytes = bytesOf(good);
    const std::pair<const char*, std::function<void(std::vector<char>&)>> cases[] = {
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
        {"no frames", [](auto& b) { b.resize(224), put32(b, 4, 224 - 8), put32(b, 216, 4); }},
    };
    const std::string path = dir.file("bad.avi");
    for (const auto& [name, change] : cases) {
        std::vector<char> changed = bytes;
        change(changed);
        writeBytes(path, changed);
        EXPECT_EQ(factory.open(path.c_str()), nullptr) << name;
        EXPECT_FALSE(factory.lastError().empty()) << name;
    }
    const std::string missing = dir.file("missing.avi");
    for (const char* name : {missing.c_str(), dir.path().c_str(), "", static_cast<const char*>(nullptr)}) EXPECT_EQ(factory.open(name), nullptr);
    // Every prefix of the file is refused, whatever field it ends in.
    for (std::size_t length = 0; length < bytes.size(); length += 3) {
        writeBytes(path, std::vector<char>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length)));
        EXPECT_EQ(factory.open(path.c_str()), nullptr) << length;
    }
    EXPECT_EQ(factory.openVideos(), 0u);
    factory.close(nullptr);
    InterfaceTable stranger;
    factory.close(&stranger);
}
