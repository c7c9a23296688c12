#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
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

// Full opacity splits each component by the integer quotient c x a / 255, none leaves the destination
// whole; scales outside 0..1 (or no number) never carry into the next component.
TEST(BlendTables, SplitEachComponentByIntegerQuotientWithoutCarry) {
    auto tables = std::make_unique<BlendTables>();
    for (double opacity : {1.0, 0.0, 1.5, -0.5, 1e300, -1e300, std::numeric_limits<double>::quiet_NaN()}) {
        tables->setOpacity(opacity);
        for (std::uint32_t c = 0; c < 32; ++c)
            for (std::uint32_t a = 0; a < 256; ++a) {
                const std::size_t i = c * 256 + a;
                const std::uint32_t m = tables->srcBlue[i];
                if (opacity == 1.0 || opacity == 0.0) { ASSERT_EQ(m, opacity == 1.0 ? c * a / 255 : 0) << opacity << " " << c << " " << a; }
                ASSERT_EQ(tables->srcRed[i], m << 10) << opacity;
                ASSERT_EQ(tables->srcGreen[i], m << 5);
                ASSERT_EQ(tables->dstRed[i], (c - m) << 10);
                ASSERT_EQ(tables->dstGreen[i], (c - m) << 5);
                ASSERT_EQ(tables->dstBlue[i], c - m);
            }
    }
}

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

// An 8 x 6 picture, blended and copied (without bit 15), drawn as placed: every surface pixel inside
// picture and clip shows the source pixel at the same offset, every other one the background; a
// picture the clip misses is not even locked.
TEST(BlendedDraw, ClippedPicturesShowTheSourcePixelAtTheSameOffset) {
    struct Placement {
        const char* what;
        Point position;  // of the picture, in context coordinates
        Rect clip;       // in context coordinates
        Point origin;    // of the context on the surface
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
    };
    for (bool withAlpha : {true, false})
        for (const Placement& placement : placements) {
            SCOPED_TRACE(testing::Message() << placement.what << (withAlpha ? ", blended" : ", copied"));
            Picture picture(8, 6, withAlpha);
            picture.paintDistinct();
            MemorySurface surface(20, 15);
            surface.fill16(kBackground);
            Canvas canvas = canvasOver(surface);
            canvas.clip = placement.clip;
            canvas.origin = placement.origin;
            picture.dual->setPosition(placement.position.x, placement.position.y);
            picture.dual->draw(&canvas);

            const Rect shown = Rect(placement.position.x, placement.position.y, 8, 6).intersect(placement.clip);
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
            if (shown.width <= 0 || shown.height <= 0) {
                EXPECT_TRUE(surface.lockCalls.empty() && picture.colour.lockCalls.empty() && picture.alpha.lockCalls.empty());
            }
        }
}

TEST(BlendedDraw, PicturesLargerThanTheCoordinateMapAreCutAt512) {
    for (Point size : {Point(600, 3), Point(3, 600)}) {
        Picture picture(size.x, size.y);
        picture.colour.fill16(rgb(31, 0, 0));
        MemorySurface surface(size.x + 10, size.y + 10);
        surface.fill16(kBackground);
        Canvas canvas = canvasOver(surface);
        picture.dual->draw(&canvas);
        for (std::int32_t y = 0; y < size.y; ++y)
            for (std::int32_t x = 0; x < size.x; ++x) ASSERT_EQ(surface.pixel16(x, y), (x < 512 && y < 512) ? rgb(31, 0, 0) : kBackground) << x << "," << y;
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

TEST(BlendedDraw, LocksTheClippedRowsOfTheContextAndTheWholeSourcePictures) {
    Picture picture(8, 6);
    MemorySurface surface(20, 15);
    Canvas canvas = canvasOver(surface);
    canvas.origin = Point(2, 1);
    canvas.clip = Rect(0, 3, 18, 14);
    picture.dual->setPosition(5, 1);
    picture.dual->draw(&canvas);
    using Rows = std::vector<std::pair<std::int32_t, std::int32_t>>;
    EXPECT_EQ(surface.lockCalls, (Rows{{4, 7}}));  // context rows 3..6, moved down by the origin
    EXPECT_EQ(picture.colour.lockCalls, (Rows{{0, 5}}));
    EXPECT_EQ(picture.alpha.lockCalls, (Rows{{0, 5}}));
}
