#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "host/core/frame_cache.h"
#include "host/core/host_video.h"
#include "host/core/memory_bitmap.h"

using namespace hostengine;

namespace {

// Frame pictures of 10 colour and 5 alpha bytes: colour all `value`, alpha all value + 1.
struct FakeFrame {
    std::vector<std::uint8_t> colour, alpha;
    explicit FakeFrame(int value = 0) : colour(10, static_cast<std::uint8_t>(value)), alpha(5, static_cast<std::uint8_t>(value + 1)) {}
    FrameCache::Pictures pictures() { return FrameCache::Pictures{colour.data(), colour.size(), alpha.data(), alpha.size()}; }
};

// 30 frames of 3 x 2 counting how often each was decoded; frame f is all (f * 7) in colour, f in alpha.
struct CountingSource : FrameSource {
    std::int32_t width() const override { return 3; }
    std::int32_t height() const override { return 2; }
    std::int32_t frameCount() const override { return 30; }
    bool readFrame(std::int32_t index, std::uint8_t* bgra) override {
        ++reads[static_cast<std::size_t>(index)];
        for (int i = 0; i < 24; ++i) bgra[i] = static_cast<std::uint8_t>(i % 4 == 3 ? index : index * 7);
        return true;
    }
    std::vector<int> reads = std::vector<int>(30);
};

}  // namespace

TEST(HostFrameCache, EvictsTheLeastRecentlyUsedFrameToStayWithinItsLimit) {
    const int videoA = 0, videoB = 0;  // two objects: the cache tells videos apart by address
    FrameCache cache(45);              // three frames of 15 bytes
    for (int f = 0; f < 3; ++f) cache.store(&videoA, f, FakeFrame(f).pictures());
    FakeFrame out;
    ASSERT_TRUE(cache.fetch(&videoA, 0, out.pictures()));  // 0 is now the most recent: 1 goes next
    cache.store(&videoB, 9, FakeFrame(9).pictures());
    EXPECT_EQ(std::vector<bool>({cache.contains(&videoA, 0), cache.contains(&videoA, 1), cache.contains(&videoA, 2), cache.contains(&videoB, 9)}),
              (std::vector<bool>{true, false, true, true}));
    EXPECT_EQ(cache.bytesHeld(), 45u);
    ASSERT_TRUE(cache.fetch(&videoB, 9, out.pictures()));
    EXPECT_EQ(std::pair(out.colour, out.alpha), std::pair(FakeFrame(9).colour, FakeFrame(9).alpha));
    // A frame of another size is not handed out as this one.
    std::vector<std::uint8_t> small(4);
    EXPECT_FALSE(cache.fetch(&videoB, 9, FrameCache::Pictures{small.data(), 2, small.data() + 2, 2}));
    cache.forget(&videoA);
    EXPECT_EQ(cache.framesHeld(), 1u);
    cache.setLimit(14);  // smaller than one frame: nothing fits, nothing is kept
    cache.store(&videoA, 0, FakeFrame().pictures());
    EXPECT_EQ(std::pair(cache.bytesHeld(), cache.framesHeld()), (std::pair<std::size_t, std::size_t>(0, 0)));
}

TEST(HostFrameCache, VideoDecodesEachFrameOnceShowsItFromTheCacheAndReadsAhead) {
    for (const int readAhead : {-1, 0, 4}) {  // -1: no cache
        FrameCache cache;
        auto source = std::make_unique<CountingSource>();
        CountingSource* counts = source.get();
        std::unique_ptr<HostVideo> video = HostVideo::create(std::move(source), FrameKeeping{readAhead < 0 ? nullptr : &cache, std::max(readAhead, 0)});
        ASSERT_NE(video, nullptr);
        const std::vector<int> path = readAhead > 0 ? std::vector<int>{26, 27, 28, 29} : std::vector<int>{1, 2, 3, 1, 29, 2, 3, 0, 29};
        for (int f : path) {
            ASSERT_EQ(video->seek(f), 1);
            // A moving video has the frames after it read into the cache: with frame 0, shown on opening, five.
            video->waitForReadAhead();
            if (readAhead > 0) { EXPECT_EQ(cache.framesHeld(), 5u) << f; }
            EXPECT_EQ(video->colour().pixel(2, 1), static_cast<std::uint32_t>((((f * 7) >> 3) * 0x421) & 0x7fff)) << f;
            EXPECT_EQ(video->alpha().pixel(2, 1), static_cast<std::uint32_t>(f));
        }
        for (int f : path) EXPECT_EQ(counts->reads[static_cast<std::size_t>(f)], readAhead < 0 ? 2 : 1) << f;
        video.reset();
        EXPECT_EQ(cache.framesHeld(), 0u);  // a closed video's frames go with it
    }
}
