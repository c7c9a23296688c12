#include <gtest/gtest.h>

#include "host/core/host_font.h"
#include "host/core/memory_bitmap.h"
#include "host/core/surface.h"

using namespace hostengine;

TEST(HostSurface, LocksOnlyRowRangesInsideTheSurfaceAndCountsStrayUnlocks) {
    Surface surface(8, 6);
    const std::pair<std::int32_t, std::int32_t> granted[] = {{0, 5}, {2, 2}, {5, 5}}, refused[] = {{-1, 3}, {3, 6}, {4, 3}, {6, 6}};
    for (auto [first, last] : granted) {
        PixelRows* rows = surface.lockRows(first, last);
        ASSERT_NE(rows, nullptr) << first << ".." << last;
        EXPECT_EQ(rows->pixels, static_cast<void*>(surface.row(first)));
        surface.unlockRows(rows);
    }
    for (auto [first, last] : refused) EXPECT_EQ(surface.lockRows(first, last), nullptr) << first << ".." << last;
    EXPECT_EQ(surface.locks().refused(), 4);
    // A lock left open shows; so do unlocks of records never handed out, or handed back twice.
    PixelRows* open = surface.lockRows(0, 1);
    PixelRows* twice = surface.lockRows(1, 3);
    PixelRows foreign{surface.row(0), 16, surface.pitch()};
    for (PixelRows* rows : {twice, twice, &foreign}) surface.unlockRows(rows);
    EXPECT_EQ(std::pair(surface.locks().outstanding(), surface.locks().strayUnlocks()), std::pair(1, 2));
    surface.unlockRows(open);
    // A memory bitmap locks rows of its own depth, within its height.
    MemoryBitmap alpha(5, 3, 8);
    alpha.setPixel(4, 2, 200);
    PixelRows* rows = alpha.lockRows(1, 2);
    ASSERT_NE(rows, nullptr);
    EXPECT_EQ(std::pair(static_cast<int>(static_cast<std::uint8_t*>(rows->pixels)[rows->pitch + 4]), alpha.lockRows(2, 3)), std::pair(200, static_cast<PixelRows*>(nullptr)));
    alpha.unlockRows(rows);
}

TEST(HostSurface, KeepsFiveBitComponentsAndExpandsThemToEight) {
    EXPECT_EQ(std::vector<std::uint16_t>({rgb555(7, 8, 300), rgb555(-5, 0, 0)}), (std::vector<std::uint16_t>{(1 << 5) | 31, 0}));
    Surface surface(2, 1, 12);  // padded rows must not leak into the RGB rows
    surface.setPixel(0, 0, 0x7C00 | 16);
    surface.setPixel(1, 0, 0xFFFF);  // bit 15 is never stored
    EXPECT_TRUE(surface.highBitClear());
    EXPECT_EQ(surface.toRgb24(), (std::vector<std::uint8_t>{255, 0, 132, 255, 255, 255}));
}

TEST(HostSurface, DrawableAreaStaysOnTheSurfaceAndCoverageBlendsThroughTheOrigin) {
    Surface surface(10, 8);
    Canvas canvas = makeCanvas(surface);
    const struct {
        Rect clip;
        Point origin;
        Rect expected;  // its place matters only when it is not empty
    } cases[] = {
        {Rect(-100, -100, 1000, 1000), Point(0, 0), Rect(0, 0, 10, 8)}, {Rect(0, 0, 100, 100), Point(4, 3), Rect(0, 0, 6, 5)},
        {Rect(-10, -10, 100, 100), Point(-2, -1), Rect(2, 1, 10, 8)},   {Rect(20, 0, 5, 5), Point(0, 0), Rect(0, 0, 0, 5)},
        {Rect(0, 0, 10, 8), Point(INT32_MIN, 0), Rect(0, 0, 0, 0)},
    };
    for (const auto& c : cases) {
        canvas.clip = c.clip;
        canvas.origin = c.origin;
        const Rect area = drawableArea(canvas);
        const bool empty = area.width <= 0 || area.height <= 0;
        EXPECT_EQ(std::vector<std::int32_t>({empty ? 0 : area.x, empty ? 0 : area.y, area.width, area.height}),
                  (std::vector<std::int32_t>{c.expected.x, c.expected.y, c.expected.width, c.expected.height}));
    }
    surface.fill(0);
    canvas.clip = Rect(0, 0, 10, 8);
    canvas.origin = Point(2, 1);
    CoverageMask mask(Rect(0, 0, 3, 1));
    mask.values = {255, 128, 0};
    drawCoverage(canvas, mask, mask.area, 0x7FFF);
    // 31 x 128 / 255, rounded: 16 in each component.
    EXPECT_EQ(std::vector<std::uint32_t>({surface.pixel(2, 1), surface.pixel(3, 1), surface.pixel(4, 1)}),
              (std::vector<std::uint32_t>{0x7FFF, (16 << 10) | (16 << 5) | 16, 0}));
    EXPECT_EQ(surface.locks().outstanding(), 0);
}

TEST(HostSurface, OutlineGrowsCoverageByADiscWithItsRimRoundedOutwards) {
    CoverageMask mask(Rect(10, 10, 7, 7));
    mask.raise(13, 13, 200);
    mask.raise(100, 100, 255);  // outside: dropped
    const CoverageMask grown = dilate(mask, 2);
    auto at = [&](int x, int y) { return grown.values[static_cast<std::size_t>(y - 10) * 7 + (x - 10)]; };
    EXPECT_EQ(std::vector<int>({at(15, 14), at(11, 12), at(15, 15), at(16, 13)}), (std::vector<int>{200, 200, 0, 0}));
}
