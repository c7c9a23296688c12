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
class CountingSource : public FrameSource {
public:
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
    EXPECT_EQ(out.colour, FakeFrame(9).colour);
    EXPECT_EQ(out.alpha, FakeFrame(9).alpha);
    // A frame of another size is not handed out as this one.
    std::vector<std::uint8_t> small(4);
    EXPECT_FALSE(cache.fetch(&videoB, 9, FrameCache::Pictures{small.data(), 2, small.data() + 2, 2}));
    cache.forget(&videoA);
    EXPECT_EQ(cache.framesHeld(), 1u);
    cache.setLimit(14);  // smaller than one frame: nothing fits, nothing is kept
    EXPECT_EQ(cache.bytesHeld(), 0u);
    cache.store(&videoA, 0, FakeFrame().pictures());
    EXPECT_EQ(cache.framesHeld(), 0u);
}

TEST(HostFrameCache, VideoDecodesEachFrameOnceAndShowsTheSamePicturesFromTheCache) {
    for (const bool cached : {false, true}) {
        FrameCache cache;
        auto source = std::make_unique<CountingSource>();
        CountingSource* counts = source.get();
        std::unique_ptr<HostVideo> video = HostVideo::create(std::move(source), FrameKeeping{cached ? &cache : nullptr, 0});
        ASSERT_NE(video, nullptr);
        for (int f : {1, 2, 3, 1, 29, 2, 3, 0, 29}) {
            ASSERT_EQ(video->seek(f), 1);
            EXPECT_EQ(video->colour().pixel(2, 1), static_cast<std::uint32_t>((((f * 7) >> 3) * 0x421) & 0x7fff)) << f;
            EXPECT_EQ(video->alpha().pixel(2, 1), static_cast<std::uint32_t>(f));
        }
        EXPECT_EQ(std::pair(counts->reads[2], counts->reads[29]), cached ? std::pair(1, 1) : std::pair(2, 2));
        video.reset();
        EXPECT_EQ(cache.framesHeld(), 0u);  // a closed video's frames go with it
    }
}

TEST(HostFrameCache, ReadsAheadOfAMovingVideoIntoTheCache) {
    FrameCache cache;
    auto source = std::make_unique<CountingSource>();
    CountingSource* counts = source.get();
    std::unique_ptr<HostVideo> video = HostVideo::create(std::move(source), FrameKeeping{&cache, 4});
    ASSERT_EQ(video->seek(26), 1);
    video->waitForReadAhead();
    for (int f = 27; f < 30; ++f) EXPECT_TRUE(cache.contains(video.get(), f)) << f;  // three left before the end
    for (int f = 27; f < 30; ++f) ASSERT_EQ(video->next(), 1);
    video->waitForReadAhead();
    for (int f = 26; f < 30; ++f) EXPECT_EQ(counts->reads[static_cast<std::size_t>(f)], 1) << f;
    EXPECT_EQ(video->alpha().pixel(0, 0), 29u);
}
