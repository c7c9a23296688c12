#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <ostream>
#include <random>
#include <vector>

#include "core/allocator.h"
#include "tests/support/host_doubles.h"
#include "host/core/host_engine.h"
#include "media/blend.h"
#include "media/blend_fast.h"
#include "media/dual_video.h"

// Names kernels in failure messages.
void PrintTo(BlendKernel kernel, std::ostream* out) { *out << blendKernelName(kernel); }

namespace {

// Rows of pixels in a heap block of their own that ends exactly where the last row does, so the
// sanitizer sees any access past it; the first row starts `offset` bytes past a 64-byte boundary.
class Plane {
public:
    Plane(std::int32_t rowBytes, std::int32_t rows, std::int32_t pitch, std::int32_t offset)
        : pitch_(pitch),
          offset_(offset),
          size_(static_cast<std::size_t>(offset) + static_cast<std::size_t>(pitch) * (rows - 1) + rowBytes),
          block_(static_cast<std::uint8_t*>(::operator new(size_, std::align_val_t{64}))) {}
    ~Plane() { ::operator delete(block_, std::align_val_t{64}); }
    Plane(const Plane&) = delete;
    Plane& operator=(const Plane&) = delete;

    std::uint8_t* row(std::int32_t y) { return block_ + offset_ + static_cast<std::size_t>(y) * pitch_; }
    std::uint16_t* row16(std::int32_t y) { return reinterpret_cast<std::uint16_t*>(row(y)); }
    PixelRows rowsFrom(std::int32_t y, std::int32_t bitsPerPixel) { return PixelRows{row(y), bitsPerPixel, pitch_}; }
    std::vector<std::uint8_t> bytes() const { return std::vector<std::uint8_t>(block_, block_ + size_); }
    void assign(const std::vector<std::uint8_t>& bytes) { std::memcpy(block_, bytes.data(), size_); }
    std::size_t size() const { return size_; }
    std::uint8_t* data() { return block_; }

private:
    std::int32_t pitch_;
    std::int32_t offset_;
    std::size_t size_;
    std::uint8_t* block_;
};

// The six unit-scale tables, as DualVideo holds them after construction.
struct UnitTables {
    UnitTables(double scale = 1.0) { buildBlendTables(set(), scale); }
    BlendTableSet set() { return BlendTableSet{srcRed, srcGreen, srcBlue, dstRed, dstGreen, dstBlue}; }
    std::uint16_t srcRed[BlendTables::kEntries];
    std::uint16_t srcGreen[BlendTables::kEntries];
    std::uint16_t srcBlue[BlendTables::kEntries];
    std::uint16_t dstRed[BlendTables::kEntries];
    std::uint16_t dstGreen[BlendTables::kEntries];
    std::uint16_t dstBlue[BlendTables::kEntries];
};

struct IdentityMap {
    IdentityMap() {
        for (std::int32_t i = 0; i < 512; ++i) entries[i] = i;
    }
    std::int32_t entries[512];
};

// Forces a kernel for the length of a test.
class ForcedKernel {
public:
    explicit ForcedKernel(BlendKernel kernel) : ok(overrideBlendKernel(kernel)) {}
    ~ForcedKernel() { clearBlendKernelOverride(); }
    const bool ok;
};

// One blended draw on one arrangement of pictures, made twice: by the reference and by a kernel.
struct Scene {
    std::int32_t width, height;  // the frame
    std::int32_t surfaceWidth, surfaceHeight;
    Point position;
    Rect clip;
    std::int32_t colourPitchExtra, alphaPitchExtra, surfacePitchExtra;  // bytes beyond the row
    std::int32_t colourOffset, alphaOffset, surfaceOffset;              // bytes past a 64-byte boundary
};

// Alpha in runs, as pictures have it: transparent, opaque and soft stretches of random lengths, so
// that whole vectors of each kind occur as well as every mixture.
void paintAlphaRuns(std::uint8_t* row, std::int32_t count, std::mt19937& random) {
    std::int32_t x = 0;
    while (x < count) {
        const std::int32_t run = std::min<std::int32_t>(count - x, 1 + static_cast<std::int32_t>(random() % 48));
        const unsigned kind = random() % 4;
        for (std::int32_t i = 0; i < run; ++i, ++x)
            row[x] = kind == 0 ? 0 : kind == 1 ? 255 : static_cast<std::uint8_t>(random());
    }
}

// Draws the scene with the reference and with `kernel`; true when both leave the same bytes
// everywhere in the surface's block, padding and all.
::testing::AssertionResult drawsAlike(const Scene& scene, BlendKernel kernel, std::mt19937& random,
                                      double alphaScale = 1.0, double zoom = 1.0) {
    Plane colour(scene.width * 2, scene.height, scene.width * 2 + scene.colourPitchExtra, scene.colourOffset);
    Plane alpha(scene.width, scene.height, scene.width + scene.alphaPitchExtra, scene.alphaOffset);
    Plane surface(scene.surfaceWidth * 2, scene.surfaceHeight, scene.surfaceWidth * 2 + scene.surfacePitchExtra,
                  scene.surfaceOffset);
    for (std::uint8_t* p = colour.data(); p != colour.data() + colour.size(); ++p) *p = static_cast<std::uint8_t>(random());
    for (std::uint8_t* p = surface.data(); p != surface.data() + surface.size(); ++p) *p = static_cast<std::uint8_t>(random());
    for (std::int32_t y = 0; y < scene.height; ++y) paintAlphaRuns(alpha.row(y), scene.width, random);
    const std::vector<std::uint8_t> before = surface.bytes();

    // The geometry DualVideo works out before it draws.
    const std::int32_t drawnWidth = std::min(512, static_cast<std::int32_t>(scene.width * zoom));
    const std::int32_t drawnHeight = std::min(512, static_cast<std::int32_t>(scene.height * zoom));
    const Rect drawn = Rect(scene.position.x, scene.position.y, drawnWidth, drawnHeight).intersect(scene.clip);
    if (drawn.width <= 0 || drawn.height <= 0) return ::testing::AssertionSuccess();
    const std::int32_t skipX = drawn.x - scene.position.x;
    const std::int32_t skipY = drawn.y - scene.position.y;
    UnitTables tables(alphaScale);
    std::int32_t map[512];
    for (std::int32_t i = 0; i < 512; ++i) map[i] = static_cast<std::int32_t>(i / zoom);
    const PixelRows colourRows = colour.rowsFrom(0, 16);
    const PixelRows alphaRows = alpha.rowsFrom(0, 8);
    const PixelRows destination = surface.rowsFrom(drawn.y, 16);

    blendReference(tables.set(), map, colourRows, alphaRows, destination, drawn, skipX, skipY);
    const std::vector<std::uint8_t> expected = surface.bytes();
    surface.assign(before);
    {
        ForcedKernel forced(kernel);
        if (!forced.ok) return ::testing::AssertionFailure() << "kernel not available";
        blendDraw(tables.set(), alphaScale, map, zoom, colourRows, alphaRows, destination, drawn, skipX, skipY);
    }
    const std::vector<std::uint8_t> actual = surface.bytes();
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (expected[i] != actual[i])
            return ::testing::AssertionFailure()
                   << "byte " << i << " differs: " << int(actual[i]) << " instead of " << int(expected[i]) << "; frame "
                   << scene.width << "x" << scene.height << " at " << scene.position.x << "," << scene.position.y
                   << ", drawn " << drawn.x << "," << drawn.y << " " << drawn.width << "x" << drawn.height
                   << ", offsets " << scene.colourOffset << "/" << scene.alphaOffset << "/" << scene.surfaceOffset;
    }
    return ::testing::AssertionSuccess();
}

class KernelTest : public ::testing::TestWithParam<BlendKernel> {
protected:
    void SetUp() override {
        if (!blendKernelAvailable(GetParam())) GTEST_SKIP() << blendKernelName(GetParam()) << " not on this processor";
    }
};

std::string kernelName(const ::testing::TestParamInfo<BlendKernel>& info) { return blendKernelName(info.param); }

}  // namespace

INSTANTIATE_TEST_SUITE_P(EachKernel, KernelTest,
                         ::testing::Values(BlendKernel::Sse2, BlendKernel::Avx2, BlendKernel::Avx512), kernelName);

TEST_P(KernelTest, MatchesTheTablesForEveryComponentAndAlpha) {
    // Rows 2a and 2a + 1 hold, at alpha a, every pair (s, d) of 5-bit values in each component, with
    // bit 15 set on half the pixels of both pictures.
    constexpr std::int32_t kWidth = 512, kRows = 512;
    Plane colour(kWidth * 2, kRows, kWidth * 2, 0), alpha(kWidth, kRows, kWidth, 0);
    Plane surface(kWidth * 2, kRows, kWidth * 2, 0), expected(kWidth * 2, kRows, kWidth * 2, 0);
    for (std::int32_t y = 0; y < kRows; ++y) {
        for (std::int32_t x = 0; x < kWidth; ++x) {
            const std::uint32_t k = (y % 2) * kWidth + x, s = k / 32, d = k % 32;
            colour.row16(y)[x] = static_cast<std::uint16_t>((k & 1) << 15 | s << 10 | ((s + 11) % 32) << 5 | (31 - s));
            surface.row16(y)[x] = static_cast<std::uint16_t>((k & 2) << 14 | d << 10 | ((d + 5) % 32) << 5 | (d ^ 21));
            alpha.row(y)[x] = static_cast<std::uint8_t>(y / 2);
        }
    }
    expected.assign(surface.bytes());
    UnitTables tables;
    IdentityMap map;
    const Rect drawn(0, 0, kWidth, kRows);
    blendReference(tables.set(), map.entries, colour.rowsFrom(0, 16), alpha.rowsFrom(0, 8), expected.rowsFrom(0, 16),
                   drawn, 0, 0);
    ForcedKernel forced(GetParam());
    ASSERT_TRUE(forced.ok);
    blendDraw(tables.set(), 1.0, map.entries, 1.0, colour.rowsFrom(0, 16), alpha.rowsFrom(0, 8),
              surface.rowsFrom(0, 16), drawn, 0, 0);
    for (std::int32_t y = 0; y < kRows; ++y)
        for (std::int32_t x = 0; x < kWidth; ++x)
            ASSERT_EQ(surface.row16(y)[x], expected.row16(y)[x]) << "alpha " << y / 2 << ", pixel " << x;
}

TEST_P(KernelTest, MatchesTheReferenceAtEveryRowAlignmentAndWidth) {
    // Widths 1..97 reach every remainder of every vector size; each width meets eight starts of its
    // rows within a cache line, and over all widths every start 0..63 meets every remainder of 8.
    // 16-bit rows start on even bytes, as a pixel array does.
    std::mt19937 random(7);
    for (std::int32_t width = 1; width <= 97; ++width) {
        for (std::int32_t offset = width % 8; offset < 64; offset += 8) {
            Scene scene{width, 3, width + 8, 3, Point(4, 0), Rect(0, 0, width + 8, 3),
                        2 * static_cast<std::int32_t>(random() % 5), static_cast<std::int32_t>(random() % 9),
                        0, (offset * 2 + 2 * width) % 64, offset, (offset * 2) % 64};
            ASSERT_TRUE(drawsAlike(scene, GetParam(), random));
        }
    }
}

TEST_P(KernelTest, MatchesTheReferenceOverRandomFramesPositionsAndClips) {
    std::mt19937 random(1234);
    auto below = [&random](std::int32_t n) { return static_cast<std::int32_t>(random() % static_cast<std::uint32_t>(n)); };
    for (int round = 0; round < 300; ++round) {
        Scene scene{};
        const bool large = round % 25 == 0;
        scene.width = 1 + below(large ? 520 : 160);
        scene.height = 1 + below(large ? 40 : 90);
        scene.surfaceWidth = 1 + below(large ? 700 : 220);
        scene.surfaceHeight = 1 + below(120);
        // Positions reach past every edge, so pictures are cut at the left and top as well.
        scene.position = Point(below(scene.surfaceWidth + scene.width) - scene.width,
                               below(scene.surfaceHeight + scene.height) - scene.height);
        const std::int32_t clipX = below(scene.surfaceWidth), clipY = below(scene.surfaceHeight);
        scene.clip = Rect(clipX, clipY, 1 + below(scene.surfaceWidth - clipX), 1 + below(scene.surfaceHeight - clipY));
        scene.colourPitchExtra = 2 * below(40);
        scene.alphaPitchExtra = below(70);
        scene.surfacePitchExtra = 2 * below(40);
        scene.colourOffset = 2 * below(32);
        scene.alphaOffset = below(64);
        scene.surfaceOffset = 2 * below(32);
        ASSERT_TRUE(drawsAlike(scene, GetParam(), random)) << "round " << round;
    }
}

TEST_P(KernelTest, CopiesOpaquelyLikeTheReference) {
    std::mt19937 random(99);
    for (std::int32_t width = 1; width <= 75; ++width) {
        const std::int32_t offset = 2 * (width % 32);
        Plane colour(width * 2 + 6, 4, width * 2 + 10, offset), surface(width * 2 + 20, 3, width * 2 + 20, (offset + 6) % 64);
        for (std::uint8_t* p = colour.data(); p != colour.data() + colour.size(); ++p) *p = static_cast<std::uint8_t>(random());
        for (std::uint8_t* p = surface.data(); p != surface.data() + surface.size(); ++p) *p = static_cast<std::uint8_t>(random());
        const std::vector<std::uint8_t> before = surface.bytes();
        const Rect drawn(5, 1, width, 2);  // one row above it untouched; source cut by 3 columns and 1 row
        copyOpaque(colour.rowsFrom(0, 16), surface.rowsFrom(1, 16), drawn, 3, 1);
        const std::vector<std::uint8_t> expected = surface.bytes();
        surface.assign(before);
        {
            ForcedKernel forced(GetParam());
            ASSERT_TRUE(forced.ok);
            copyDraw(colour.rowsFrom(0, 16), surface.rowsFrom(1, 16), drawn, 3, 1);
        }
        ASSERT_EQ(surface.bytes(), expected) << "width " << width;
    }
}

TEST_P(KernelTest, OtherScalesAndZoomsKeepTheTables) {
    // Only the unit-scale tables and the identity map have a kernel; anything else must still be
    // drawn by the look-ups, whatever kernel is chosen.
    std::mt19937 random(5);
    const Scene scene{90, 40, 300, 100, Point(10, 20), Rect(0, 0, 300, 100), 0, 0, 0, 0, 0, 0};
    for (const auto& [scale, zoom] : {std::pair{0.5, 1.0}, std::pair{1.0, 2.0}, std::pair{0.25, 0.5}})
        EXPECT_TRUE(drawsAlike(scene, GetParam(), random, scale, zoom)) << scale << " " << zoom;
}

TEST_P(KernelTest, BuildsTheTablesOfTheReferenceForAnyScale) {
    // A blinking picture rebuilds its tables twice a frame with opacities anywhere in 0..1; scales
    // outside it, and those that are no number, must be clamped exactly as the reference does.
    std::vector<double> scales = {1.0, 0.0, -0.0, 0.5, 0.37, 0.999, 1e-300, 4.9e-324, 0.06561279296875,
                                  -0.5, 1.5, 1e300, -1e300, std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()};
    std::mt19937 random(17);
    for (int i = 0; i < 200; ++i) scales.push_back(std::uniform_real_distribution<double>(0.0, 1.0)(random));
    UnitTables expected, actual;
    for (double scale : scales) {
        buildBlendTables(expected.set(), scale);
        {
            ForcedKernel forced(GetParam());
            ASSERT_TRUE(forced.ok);
            buildBlendTablesFast(actual.set(), scale);
        }
        ASSERT_EQ(std::memcmp(&expected, &actual, sizeof expected), 0) << "scale " << scale;
    }
}

TEST(BlendDispatch, ChoosesTheWidestKernelUnlessForced) {
    const BlendKernel widest = chosenBlendKernel();
    EXPECT_TRUE(blendKernelAvailable(widest));
    for (BlendKernel wider = static_cast<BlendKernel>(static_cast<std::int32_t>(widest) + 1);
         static_cast<std::int32_t>(wider) <= static_cast<std::int32_t>(BlendKernel::Avx512);
         wider = static_cast<BlendKernel>(static_cast<std::int32_t>(wider) + 1)) {
        EXPECT_FALSE(blendKernelAvailable(wider)) << blendKernelName(wider);
        EXPECT_FALSE(overrideBlendKernel(wider));
        EXPECT_EQ(chosenBlendKernel(), widest);
    }
    for (BlendKernel kernel : {BlendKernel::Reference, BlendKernel::Sse2, BlendKernel::Avx2, BlendKernel::Avx512}) {
        if (!blendKernelAvailable(kernel)) continue;
        ForcedKernel forced(kernel);
        EXPECT_TRUE(forced.ok);
        EXPECT_EQ(chosenBlendKernel(), kernel);
    }
    EXPECT_EQ(chosenBlendKernel(), widest);
#if defined(__x86_64__)
    EXPECT_TRUE(blendKernelAvailable(BlendKernel::Sse2));  // part of every 64-bit x86 processor
#endif
}

TEST(BlendDispatch, UnitPixelIsTheTableArithmetic) {
    // The kernels finish short rows pixel by pixel with this; it must be the tables too.
    UnitTables tables;
    for (std::uint32_t a = 1; a < 256; ++a)
        for (std::uint32_t s = 0; s < 32; ++s)
            for (std::uint32_t d = 0; d < 32; ++d) {
                const auto sp = static_cast<std::uint16_t>(0x8000 | s << 10 | (31 - s) << 5 | (s ^ 9));
                const auto dp = static_cast<std::uint16_t>(0x8000 | d << 10 | (d ^ 17) << 5 | (31 - d));
                ASSERT_EQ(blendUnitPixel(sp, dp, a), blendPixel(tables.set(), sp, dp, static_cast<std::uint8_t>(a)));
            }
    EXPECT_EQ(blendUnitPixel(0x7fff, 0x8123, 0), 0x8123);
}

namespace {

// A DualVideo on a fake "avifile" video that shows one frame of random pixels, alpha in runs.
struct DualPicture {
    DualPicture(std::int32_t width, std::int32_t height, bool withAlpha, std::mt19937& random)
        : video(1, Point(width, height)), colour(width, height, 16), alpha(width, height, 8) {
        factory.video = &video;
        video.bitmaps.push_back(&colour.table);
        if (withAlpha) video.bitmaps.push_back(&alpha.table);
        entry.locator = "file://dual.avi";
        for (std::int32_t y = 0; y < height; ++y) {
            for (std::int32_t x = 0; x < width; ++x) colour.setPixel16(x, y, static_cast<std::uint16_t>(random()));
            paintAlphaRuns(alpha.row(y), width, random);
        }
        dual = create<DualVideo>(&entry);
    }
    ~DualPicture() { dual->deletingDestructor(1); }

    hostengine::HostEngine host;
    doubles::FakeVideoFactory factory;
    doubles::FakeVideo video;
    doubles::MemoryBitmap colour;
    doubles::MemoryBitmap alpha;
    ResourceEntry entry{};
    DualVideo* dual = nullptr;
};

}  // namespace

TEST(BlendDispatch, DualVideoDrawsAlikeWithEveryKernel) {
    // A pawn-sized picture cut by the context's clip on the left and at the bottom, blended and
    // copied, at the unit scale the module sets and at another; every kernel must leave the surface
    // the reference leaves.
    std::mt19937 random(31);
    for (const bool withAlpha : {true, false}) {
        for (const double scale : {1.0, 0.5}) {
            DualPicture picture(150, 200, withAlpha, random);
            ASSERT_NE(picture.dual, nullptr);
            picture.dual->setAlphaScale(scale);
            picture.dual->setPosition(-7, 45);
            doubles::MemorySurface background(200, 240);
            for (std::int32_t y = 0; y < 240; ++y)
                for (std::int32_t x = 0; x < 200; ++x) background.setPixel16(x, y, static_cast<std::uint16_t>(random()));
            std::vector<std::uint16_t> expected;
            for (BlendKernel kernel : {BlendKernel::Reference, BlendKernel::Sse2, BlendKernel::Avx2, BlendKernel::Avx512}) {
                if (!blendKernelAvailable(kernel)) continue;
                doubles::MemorySurface surface(200, 240);
                for (std::int32_t y = 0; y < 240; ++y)
                    for (std::int32_t x = 0; x < 200; ++x) surface.setPixel16(x, y, background.pixel16(x, y));
                Canvas canvas = doubles::canvasOver(surface);
                canvas.clip = Rect(0, 0, 200, 230);
                {
                    ForcedKernel forced(kernel);
                    picture.dual->draw(&canvas);
                }
                EXPECT_EQ(surface.outstanding(), 0);
                std::vector<std::uint16_t> pixels;
                for (std::int32_t y = 0; y < 240; ++y)
                    for (std::int32_t x = 0; x < 200; ++x) pixels.push_back(surface.pixel16(x, y));
                if (kernel == BlendKernel::Reference) expected = pixels;
                else EXPECT_EQ(pixels, expected) << blendKernelName(kernel) << (withAlpha ? " blend" : " copy") << " at " << scale;
            }
        }
    }
}
