#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "media/blend.h"
#include "media/dual_video.h"
#include "tests/support/host_doubles.h"

using namespace doubles;

namespace {

std::uint16_t rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return static_cast<std::uint16_t>(((r & 31) << 10) | ((g & 31) << 5) | (b & 31));
}

constexpr std::uint16_t kBackground = 0x1234;

// A colour-and-alpha video on the "avifile" factory, showing one frame of the given size, opaque.
struct Picture {
    Picture(std::int32_t width, std::int32_t height, bool withAlpha = true)
        : video(1, Point(width, height)), colour(width, height, 16), alpha(width, height, 8) {
        factory.video = &video;
        video.bitmaps.push_back(&colour.table);
        if (withAlpha) video.bitmaps.push_back(&alpha.table);
        dual = create<DualVideo>(&entry);
        alpha.fill8(255);
    }
    ~Picture() { dual->deletingDestructor(1); }

    // Each pixel a different colour (bit 15 set too, which no draw may copy).
    void paintDistinct() {
        for (std::int32_t y = 0; y < colour.height(); ++y)
            for (std::int32_t x = 0; x < colour.width(); ++x) colour.setPixel16(x, y, static_cast<std::uint16_t>(0x8000 | rgb(x, y, x + 3 * y)));
    }
    int outstanding() { return colour.outstanding() + alpha.outstanding(); }

    hostengine::HostEngine host;
    FakeVideoFactory factory;
    FakeVideo video;
    MemoryBitmap colour;
    MemoryBitmap alpha;
    ResourceEntry entry{0, 0, "file://dual.avi", 0, "dual.avi", nullptr};
    DualVideo* dual = nullptr;
};

// FNV-1a over the six tables, to compare builds bit for bit.
std::uint64_t tableHash(const BlendTables& t) {
    std::uint64_t hash = 1469598103934665603ull;
    for (const std::uint16_t* table : {t.srcRed, t.srcGreen, t.srcBlue, t.dstRed, t.dstGreen, t.dstBlue})
        for (int i = 0; i < BlendTables::kEntries; ++i) hash = (hash ^ table[i]) * 1099511628211ull;
    return hash;
}

}  // namespace

TEST(BlendTables, SameTablesOnEveryTarget) {
    // Hashes of the native build's tables: the 32-bit build must produce the very same entries.
    const std::pair<double, std::uint64_t> cases[] = {
        {1.0, 0x5a9e4c316d014cfbull}, {0.5, 0x41b11b8cf28bd6bfull}, {0.3, 0x8ab7f3585fb214d7ull},
        {0.06561279296875, 0x558391355addc143ull}, {0.999, 0xae71e3aebe9ae7ddull},
    };
    auto tables = std::make_unique<BlendTables>();
    for (const auto& [opacity, hash] : cases) {
        tables->setOpacity(opacity);
        EXPECT_EQ(tableHash(*tables), hash) << opacity;
    }
}

// A picture (8 x 6 unless told), blended and copied (without bit 15), drawn as placed: every surface
// pixel inside picture and clip shows the source pixel at the same offset, every other one the
// background. A blend is cut where the coordinate map ends, at 512; a copy is not.
TEST(BlendedDraw, ClippedPicturesShowTheSourcePixelAtTheSameOffset) {
    struct Placement {
        const char* what;
        Point position;  // of the picture, in context coordinates
        Rect clip;       // in context coordinates
        Point origin;    // of the context on the surface
        Point size = {8, 6};
    };
    const Placement placements[] = {
        {"inside", {3, 4}, {0, 0, 20, 15}, {0, 0}},
        {"cut at the left", {-3, 2}, {0, 0, 20, 15}, {0, 0}},
        {"cut at the top", {5, -4}, {0, 0, 20, 15}, {0, 0}},
        {"cut at the right", {16, 1}, {0, 0, 20, 15}, {0, 0}},
        {"cut at the bottom", {2, 12}, {0, 0, 20, 15}, {0, 0}},
        {"cut on all sides by a small clip", {2, 3}, {4, 5, 3, 2}, {0, 0}},
        {"cut left and top by the clip", {1, 1}, {3, 4, 17, 11}, {0, 0}},
        {"context moved on the surface", {-2, -1}, {-1, 0, 10, 8}, {4, 3}},
        {"right of the clip", {10, 0}, {0, 0, 10, 10}, {0, 0}},
        {"below the clip", {0, 10}, {0, 0, 10, 10}, {0, 0}},
        {"left of the clip", {-8, 2}, {0, 0, 10, 10}, {0, 0}},
        {"above the clip", {3, -6}, {0, 0, 10, 10}, {0, 0}},
        {"far away", {200, 200}, {0, 0, 10, 10}, {0, 0}},
        {"wider than the coordinate map", {0, 0}, {0, 0, 612, 12}, {0, 0}, {600, 3}},
        {"taller than the coordinate map", {0, 0}, {0, 0, 15, 609}, {0, 0}, {3, 600}},
    };
    for (bool withAlpha : {true, false})
        for (const Placement& placement : placements) {
            SCOPED_TRACE(testing::Message() << placement.what << (withAlpha ? ", blended" : ", copied"));
            const Point size = placement.size;
            Picture picture(size.x, size.y, withAlpha);
            picture.paintDistinct();
            MemorySurface surface(size.x + 12, size.y + 9);
            surface.fill16(kBackground);
            Canvas canvas = canvasOver(surface);
            canvas.clip = placement.clip;
            canvas.origin = placement.origin;
            picture.dual->setPosition(placement.position.x, placement.position.y);
            picture.dual->draw(&canvas);

            const std::int32_t limit = withAlpha ? 512 : size.x + size.y;
            const Rect drawn(placement.position.x, placement.position.y, std::min(size.x, limit), std::min(size.y, limit));
            const Rect shown = drawn.intersect(placement.clip);
            for (std::int32_t sy = 0; sy < surface.height(); ++sy)
                for (std::int32_t sx = 0; sx < surface.width(); ++sx) {
                    const std::int32_t x = sx - placement.origin.x, y = sy - placement.origin.y;  // context coordinates
                    const bool inside = x >= shown.x && x < shown.x + shown.width && y >= shown.y && y < shown.y + shown.height;
                    const std::uint16_t expected =
                        inside ? static_cast<std::uint16_t>(picture.colour.pixel16(x - placement.position.x, y - placement.position.y) & 0x7fff)
                               : kBackground;
                    ASSERT_EQ(surface.pixel16(sx, sy), expected) << "at " << sx << "," << sy;
                }
            EXPECT_EQ(surface.outstanding() + picture.outstanding(), 0);
            // The surface rows shown and the whole source pictures are locked, nothing when nothing shows.
            const bool seen = shown.width > 0 && shown.height > 0;
            using Rows = std::vector<std::pair<std::int32_t, std::int32_t>>;
            const std::int32_t top = shown.y + placement.origin.y;
            EXPECT_EQ(surface.lockCalls, (seen ? Rows{{top, top + shown.height - 1}} : Rows{}));
            EXPECT_EQ(picture.colour.lockCalls, (seen ? Rows{{0, size.y - 1}} : Rows{}));
            EXPECT_EQ(picture.alpha.lockCalls, (seen && withAlpha ? Rows{{0, size.y - 1}} : Rows{}));
        }
}

TEST(BlendedDraw, ARefusedLockDrawsNothingAndReturnsWhatWasLocked) {
    enum Failing { Surface, Colour, Alpha };
    for (bool withAlpha : {true, false})
        for (Failing failing : {Surface, Colour, Alpha}) {
            if (!withAlpha && failing == Alpha) continue;
            SCOPED_TRACE(testing::Message() << "alpha " << withAlpha << ", failing " << failing);
            Picture picture(4, 4, withAlpha);
            picture.paintDistinct();
            MemorySurface surface(8, 8);
            surface.fill16(kBackground);
            Canvas canvas = canvasOver(surface);
            surface.failing = failing == Surface;
            picture.colour.failing = failing == Colour;
            picture.alpha.failing = failing == Alpha;
            picture.dual->draw(&canvas);
            for (std::int32_t y = 0; y < 8; ++y)
                for (std::int32_t x = 0; x < 8; ++x) ASSERT_EQ(surface.pixel16(x, y), kBackground);
            EXPECT_EQ(surface.outstanding() + picture.outstanding(), 0);
            EXPECT_EQ(surface.strayUnlocks + picture.colour.strayUnlocks + picture.alpha.strayUnlocks, 0);
        }
}
