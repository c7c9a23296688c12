#include <gtest/gtest.h>

#include "core/allocator.h"
#include "host/core/host_engine.h"
#include "host/core/host_font.h"
#include "host/core/memory_bitmap.h"
#include "host/core/surface.h"

using namespace hostengine;

TEST(HostSurface, LocksOnlyRowRangesInsideTheSurfaceAndCountsStrayUnlocks) {
    Surface surface(8, 6);
    struct Case {
        std::int32_t first, last;
        bool granted;
    };
    const Case cases[] = {{0, 5, true}, {2, 2, true}, {5, 5, true}, {-1, 3, false}, {3, 6, false}, {4, 3, false}, {6, 6, false}};
    for (const Case& c : cases) {
        PixelRows* rows = surface.lockRows(c.first, c.last);
        EXPECT_EQ(rows != nullptr, c.granted) << c.first << ".." << c.last;
        if (!rows) continue;
        EXPECT_EQ(rows->pixels, static_cast<void*>(surface.row(c.first)));
        surface.unlockRows(rows);
    }
    EXPECT_EQ(surface.locks().outstanding(), 0);
    EXPECT_EQ(surface.locks().refused(), 4);
    // A lock left open shows; so do unlocks of records never handed out, or handed back twice.
    PixelRows* open = surface.lockRows(0, 1);
    PixelRows* twice = surface.lockRows(1, 3);
    surface.unlockRows(twice);
    surface.unlockRows(twice);
    PixelRows foreign{surface.row(0), 16, surface.pitch()};
    surface.unlockRows(&foreign);
    EXPECT_EQ(surface.locks().outstanding(), 1);
    EXPECT_EQ(surface.locks().strayUnlocks(), 2);
    surface.unlockRows(open);
    // The failure switch refuses every lock.
    surface.locks().setFailing(true);
    EXPECT_EQ(surface.lockRows(0, 3), nullptr);
}

TEST(HostSurface, ConvertsBetweenEightAndFiveBitComponents) {
    EXPECT_EQ(rgb555(255, 255, 255), 0x7FFF);
    EXPECT_EQ(rgb555(7, 8, 300), 0x0000 | (1 << 5) | 31);
    EXPECT_EQ(rgb555(-5, 0, 0), 0);
    const std::pair<std::uint32_t, std::uint8_t> expansions[] = {{0, 0}, {1, 8}, {16, 132}, {30, 247}, {31, 255}};
    for (auto [five, eight] : expansions) EXPECT_EQ(expand5(five), eight) << five;

    Surface surface(2, 1, 12);  // padded rows must not leak into the RGB rows
    surface.setPixel(0, 0, 0x7C00 | 16);
    surface.setPixel(1, 0, 0xFFFF);  // bit 15 is never stored
    EXPECT_TRUE(surface.highBitClear());
    EXPECT_EQ(surface.toRgb24(), (std::vector<std::uint8_t>{255, 0, 132, 255, 255, 255}));
}

TEST(HostSurface, DrawableAreaStaysOnTheSurface) {
    Surface surface(10, 8);
    Canvas canvas = makeCanvas(surface);
    struct Case {
        Rect clip;
        Point origin;
        Rect expected;
    };
    const Case cases[] = {
        {Rect(-100, -100, 1000, 1000), Point(0, 0), Rect(0, 0, 10, 8)},
        {Rect(0, 0, 100, 100), Point(4, 3), Rect(0, 0, 6, 5)},
        {Rect(-10, -10, 100, 100), Point(-2, -1), Rect(2, 1, 10, 8)},
        {Rect(20, 0, 5, 5), Point(0, 0), Rect(20, 0, 0, 5)},
        {Rect(0, 0, 10, 8), Point(INT32_MIN, 0), Rect(0, 0, 0, 0)},
    };
    for (const Case& c : cases) {
        canvas.clip = c.clip;
        canvas.origin = c.origin;
        Rect area = drawableArea(canvas);
        EXPECT_EQ(area.width, c.expected.width);
        EXPECT_EQ(area.height, c.expected.height);
        if (area.width > 0 && area.height > 0) {
            EXPECT_EQ(area.x, c.expected.x);
            EXPECT_EQ(area.y, c.expected.y);
        }
    }
}

TEST(HostSurface, CoverageBlendsInTheColourThroughTheContextOrigin) {
    Surface surface(6, 4);
    surface.fill(0);
    Canvas canvas = makeCanvas(surface);
    canvas.origin = Point(2, 1);
    CoverageMask mask(Rect(0, 0, 3, 1));
    mask.values = {255, 128, 0};
    drawCoverage(canvas, mask, mask.area, 0x7FFF);
    EXPECT_EQ(surface.pixel(2, 1), 0x7FFF);
    // 31 x 128 / 255, rounded: 16 in each component.
    EXPECT_EQ(surface.pixel(3, 1), (16 << 10) | (16 << 5) | 16);
    EXPECT_EQ(surface.pixel(4, 1), 0);
    EXPECT_EQ(surface.locks().outstanding(), 0);

    surface.locks().setFailing(true);
    surface.fill(0);
    drawCoverage(canvas, mask, mask.area, 0x7FFF);
    EXPECT_EQ(surface.pixel(2, 1), 0);
}

TEST(HostSurface, OutlineGrowsCoverageByADisc) {
    CoverageMask mask(Rect(10, 10, 7, 7));
    mask.raise(13, 13, 200);
    mask.raise(100, 100, 255);  // outside: dropped
    CoverageMask grown = dilate(mask, 2);
    auto at = [&](int x, int y) { return grown.values[static_cast<std::size_t>(y - 10) * 7 + (x - 10)]; };
    EXPECT_EQ(at(15, 14), 200);
    EXPECT_EQ(at(11, 12), 200);
    EXPECT_EQ(at(15, 15), 0);
    EXPECT_EQ(at(16, 13), 0);
}

TEST(HostMemoryBitmap, LocksRowsOfItsDepthAndLeavesNothingBehind) {
    HostEngine engine;
    const std::int64_t before = allocationStats().live;
    {
        MemoryBitmap alpha(5, 3, 8);
        EXPECT_EQ(alpha.handle()->find<IBitmap>("ibitmap"), &alpha);
        alpha.setPixel(4, 2, 200);
        PixelRows* rows = alpha.lockRows(1, 2);
        ASSERT_NE(rows, nullptr);
        EXPECT_EQ(static_cast<std::uint8_t*>(rows->pixels)[rows->pitch + 4], 200);
        EXPECT_EQ(alpha.lockRows(2, 3), nullptr);
        alpha.unlockRows(rows);
        alpha.locks().setFailing(true);
        EXPECT_EQ(alpha.lockRows(0, 1), nullptr);
        EXPECT_THROW(MemoryBitmap(5, 3, 24), std::invalid_argument);
    }
    EXPECT_EQ(allocationStats().live, before);
    EXPECT_EQ(engine.findInterface(nullptr, "IBitmap"), 0u);
}
