#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <ostream>
#include <random>
#include <vector>

#include "media/blend.h"
#include "media/blend_fast.h"
#include "media/dual_video.h"
#include "tests/support/host_doubles.h"

// Names kernels in failure messages.
void PrintTo(BlendKernel kernel, std::ostream* out) { *out << blendKernelName(kernel); }

namespace {

// Rows of pixels in a heap block of their own that ends exactly where the last row does, so the
// sanitizer sees any access past it; the first row starts `offset` bytes past a 64-byte boundary.
// Made with random bytes.
class Plane {
public:
    Plane(std::int32_t rowBytes, std::int32_t rows, std::int32_t pitch, std::int32_t offset, std::mt19937& random)
        : pitch_(pitch), offset_(offset), bytes_(static_cast<std::size_t>(offset) + static_cast<std::size_t>(pitch) * (rows - 1) + rowBytes),
          block_(static_cast<std::uint8_t*>(::operator new(bytes_, std::align_val_t{64}))) {
        std::generate(block_, block_ + bytes_, [&random] { return static_cast<std::uint8_t>(random()); });
    }
    ~Plane() { ::operator delete(block_, std::align_val_t{64}); }
    Plane(const Plane&) = delete;
    Plane& operator=(const Plane&) = delete;

    std::uint8_t* row(std::int32_t y) { return block_ + offset_ + static_cast<std::size_t>(y) * pitch_; }
    std::uint16_t* row16(std::int32_t y) { return reinterpret_cast<std::uint16_t*>(row(y)); }
    PixelRows rowsFrom(std::int32_t y, std::int32_t bitsPerPixel) { return PixelRows{row(y), bitsPerPixel, pitch_}; }
    std::vector<std::uint8_t> bytes() const { return std::vector<std::uint8_t>(block_, block_ + bytes_); }
    void assign(const std::vector<std::uint8_t>& bytes) { std::memcpy(block_, bytes.data(), bytes_); }

private:
    std::int32_t pitch_;
    std::int32_t offset_;
    std::size_t bytes_;
    std::uint8_t* block_;
};

// The six tables at one scale, as DualVideo holds them.
struct Tables {
    explicit Tables(double scale = 1.0) { buildBlendTables(set(), scale); }
    BlendTableSet set() { return BlendTableSet{entries[0], entries[1], entries[2], entries[3], entries[4], entries[5]}; }
    std::uint16_t entries[6][BlendTables::kEntries];
};

// Forces a kernel for the length of a scope.
struct ForcedKernel {
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
    for (std::int32_t x = 0; x < count;) {
        const std::int32_t run = std::min<std::int32_t>(count - x, 1 + static_cast<std::int32_t>(random() % 48));
        const unsigned kind = random() % 4;
        for (std::int32_t i = 0; i < run; ++i, ++x) row[x] = kind == 0 ? 0 : kind == 1 ? 255 : static_cast<std::uint8_t>(random());
    }
}

// Draws the scene (blended, or copied when `opaque`) with the reference and with `kernel`; true when
// both leave the same bytes everywhere in the surface's block, padding and all.
::testing::AssertionResult drawsAlike(const Scene& scene, BlendKernel kernel, std::mt19937& random, double alphaScale = 1.0,
                                      double zoom = 1.0, bool opaque = false) {
    Plane colour(scene.width * 2, scene.height, scene.width * 2 + scene.colourPitchExtra, scene.colourOffset, random);
    Plane alpha(scene.width, scene.height, scene.width + scene.alphaPitchExtra, scene.alphaOffset, random);
    Plane surface(scene.surfaceWidth * 2, scene.surfaceHeight, scene.surfaceWidth * 2 + scene.surfacePitchExtra, scene.surfaceOffset, random);
    for (std::int32_t y = 0; y < scene.height; ++y) paintAlphaRuns(alpha.row(y), scene.width, random);
    const std::vector<std::uint8_t> before = surface.bytes();

    // The geometry DualVideo works out before it draws.
    const Rect drawn = Rect(scene.position.x, scene.position.y, std::min(512, static_cast<std::int32_t>(scene.width * zoom)),
                            std::min(512, static_cast<std::int32_t>(scene.height * zoom)))
                           .intersect(scene.clip);
    if (drawn.width <= 0 || drawn.height <= 0) return ::testing::AssertionSuccess();
    const std::int32_t skipX = drawn.x - scene.position.x, skipY = drawn.y - scene.position.y;
    Tables tables(alphaScale);
    std::int32_t map[512];
    for (std::int32_t i = 0; i < 512; ++i) map[i] = static_cast<std::int32_t>(i / zoom);
    const PixelRows colourRows = colour.rowsFrom(0, 16), alphaRows = alpha.rowsFrom(0, 8), destination = surface.rowsFrom(drawn.y, 16);

    if (opaque) copyOpaque(colourRows, destination, drawn, skipX, skipY);
    else blendReference(tables.set(), map, colourRows, alphaRows, destination, drawn, skipX, skipY);
    const std::vector<std::uint8_t> expected = surface.bytes();
    surface.assign(before);
    {
        ForcedKernel forced(kernel);
        if (!forced.ok) return ::testing::AssertionFailure() << "kernel not available";
        if (opaque) copyDraw(colourRows, destination, drawn, skipX, skipY);
        else blendDraw(tables.set(), alphaScale, map, zoom, colourRows, alphaRows, destination, drawn, skipX, skipY);
    }
    const std::vector<std::uint8_t> actual = surface.bytes();
    const auto differs = std::mismatch(expected.begin(), expected.end(), actual.begin());
    if (differs.first == expected.end()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "byte " << differs.first - expected.begin() << " differs; frame " << scene.width << "x"
                                         << scene.height << ", drawn " << drawn.x << "," << drawn.y << " " << drawn.width << "x"
                                         << drawn.height << ", offsets " << scene.colourOffset << "/" << scene.alphaOffset << "/"
                                         << scene.surfaceOffset;
}

class KernelTest : public ::testing::TestWithParam<BlendKernel> {
protected:
    void SetUp() override {
        if (!blendKernelAvailable(GetParam())) GTEST_SKIP() << blendKernelName(GetParam()) << " not on this processor";
    }
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(EachKernel, KernelTest, ::testing::Values(BlendKernel::Sse2, BlendKernel::Avx2, BlendKernel::Avx512),
                         [](const ::testing::TestParamInfo<BlendKernel>& info) { return std::string(blendKernelName(info.param)); });

TEST_P(KernelTest, MatchesTheTablesForEveryComponentAndAlpha) {
    // Rows 2a and 2a + 1 hold, at alpha a, every pair (s, d) of 5-bit values in each component, with
    // bit 15 set on half the pixels of both pictures.
    constexpr std::int32_t kWidth = 512, kRows = 512;
    std::mt19937 random(3);
    Plane colour(kWidth * 2, kRows, kWidth * 2, 0, random), alpha(kWidth, kRows, kWidth, 0, random);
    Plane surface(kWidth * 2, kRows, kWidth * 2, 0, random), expected(kWidth * 2, kRows, kWidth * 2, 0, random);
    for (std::int32_t y = 0; y < kRows; ++y) {
        for (std::int32_t x = 0; x < kWidth; ++x) {
            const std::uint32_t k = (y % 2) * kWidth + x, s = k / 32, d = k % 32;
            colour.row16(y)[x] = static_cast<std::uint16_t>((k & 1) << 15 | s << 10 | ((s + 11) % 32) << 5 | (31 - s));
            surface.row16(y)[x] = static_cast<std::uint16_t>((k & 2) << 14 | d << 10 | ((d + 5) % 32) << 5 | (d ^ 21));
            alpha.row(y)[x] = static_cast<std::uint8_t>(y / 2);
        }
    }
    expected.assign(surface.bytes());
    Tables tables;
    std::int32_t identity[512];
    for (std::int32_t i = 0; i < 512; ++i) identity[i] = i;
    const Rect drawn(0, 0, kWidth, kRows);
    blendReference(tables.set(), identity, colour.rowsFrom(0, 16), alpha.rowsFrom(0, 8), expected.rowsFrom(0, 16), drawn, 0, 0);
    ForcedKernel forced(GetParam());
    ASSERT_TRUE(forced.ok);
    blendDraw(tables.set(), 1.0, identity, 1.0, colour.rowsFrom(0, 16), alpha.rowsFrom(0, 8), surface.rowsFrom(0, 16), drawn, 0, 0);
    for (std::int32_t y = 0; y < kRows; ++y)
        for (std::int32_t x = 0; x < kWidth; ++x) ASSERT_EQ(surface.row16(y)[x], expected.row16(y)[x]) << "alpha " << y / 2 << ", pixel " << x;
}

TEST_P(KernelTest, MatchesTheReferenceAtEveryRowAlignmentAndWidth) {
    // Widths 1..97 reach every remainder of every vector size; each width meets eight starts of its
    // rows within a cache line, and over all widths every start 0..63 meets every remainder of 8.
    // 16-bit rows start on even bytes, as a pixel array does.
    std::mt19937 random(7);
    for (std::int32_t width = 1; width <= 97; ++width)
        for (std::int32_t offset = width % 8; offset < 64; offset += 8) {
            const Scene scene{width, 3, width + 8, 3, Point(4, 0), Rect(0, 0, width + 8, 3), 2 * static_cast<std::int32_t>(random() % 5),
                              static_cast<std::int32_t>(random() % 9), 0, (offset * 2 + 2 * width) % 64, offset, (offset * 2) % 64};
            ASSERT_TRUE(drawsAlike(scene, GetParam(), random));
        }
}

TEST_P(KernelTest, MatchesTheReferenceOverRandomFramesPositionsClipsScalesAndZooms) {
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
        scene.position = Point(below(scene.surfaceWidth + scene.width) - scene.width, below(scene.surfaceHeight + scene.height) - scene.height);
        const std::int32_t clipX = below(scene.surfaceWidth), clipY = below(scene.surfaceHeight);
        scene.clip = Rect(clipX, clipY, 1 + below(scene.surfaceWidth - clipX), 1 + below(scene.surfaceHeight - clipY));
        scene.colourPitchExtra = 2 * below(40), scene.alphaPitchExtra = below(70), scene.surfacePitchExtra = 2 * below(40);
        scene.colourOffset = 2 * below(32), scene.alphaOffset = below(64), scene.surfaceOffset = 2 * below(32);
        ASSERT_TRUE(drawsAlike(scene, GetParam(), random)) << "round " << round;
    }
    // Only the unit-scale tables and the identity map have a kernel; anything else must still be
    // drawn by the look-ups, whatever kernel is chosen.
    const Scene scene{90, 40, 300, 100, Point(10, 20), Rect(0, 0, 300, 100), 0, 0, 0, 0, 0, 0};
    for (const auto& [scale, zoom] : {std::pair{0.5, 1.0}, std::pair{1.0, 2.0}, std::pair{0.25, 0.5}})
        EXPECT_TRUE(drawsAlike(scene, GetParam(), random, scale, zoom)) << scale << " " << zoom;
}

TEST_P(KernelTest, CopiesOpaquelyLikeTheReference) {
    // Every width to 75 at every even start; one row above the picture untouched, the source cut by 3
    // columns and 1 row.
    std::mt19937 random(99);
    for (std::int32_t width = 1; width <= 75; ++width) {
        const std::int32_t offset = 2 * (width % 32);
        const Scene scene{width + 3, 4, width + 10, 3, Point(2, 0), Rect(5, 1, width, 2), 4, 0, 0, offset, 0, (offset + 6) % 64};
        ASSERT_TRUE(drawsAlike(scene, GetParam(), random, 1.0, 1.0, true)) << "width " << width;
    }
}

TEST_P(KernelTest, BuildsTheTablesOfTheReferenceForAnyScale) {
    // A blinking picture rebuilds its tables twice a frame with opacities anywhere in 0..1; scales
    // outside it, and those that are no number, must be clamped exactly as the reference does.
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    std::vector<double> scales = {1.0, 0.0, -0.0, 0.5, 0.37, 0.999, 1e-300, 4.9e-324, 0.06561279296875, -0.5, 1.5, 1e300, -1e300,
                                  kInfinity, -kInfinity, std::numeric_limits<double>::quiet_NaN()};
    std::mt19937 random(17);
    for (int i = 0; i < 200; ++i) scales.push_back(std::uniform_real_distribution<double>(0.0, 1.0)(random));
    Tables expected, actual;
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
    for (BlendKernel kernel : {BlendKernel::Reference, BlendKernel::Sse2, BlendKernel::Avx2, BlendKernel::Avx512}) {
        // Every kernel up to the widest is there; one wider is neither offered nor taken when forced.
        const bool available = blendKernelAvailable(kernel);
        EXPECT_EQ(available, kernel <= widest) << blendKernelName(kernel);
        ForcedKernel forced(kernel);
        EXPECT_EQ(forced.ok, available);
        EXPECT_EQ(chosenBlendKernel(), available ? kernel : widest);
    }
    EXPECT_EQ(chosenBlendKernel(), widest);
#if defined(__x86_64__)
    EXPECT_TRUE(blendKernelAvailable(BlendKernel::Sse2));  // part of every 64-bit x86 processor
#endif
}

TEST(BlendDispatch, UnitPixelIsTheTableArithmetic) {
    // The kernels finish short rows pixel by pixel with this; it must be the tables too.
    Tables tables;
    for (std::uint32_t a = 1; a < 256; ++a)
        for (std::uint32_t s = 0; s < 32; ++s)
            for (std::uint32_t d = 0; d < 32; ++d) {
                const auto sp = static_cast<std::uint16_t>(0x8000 | s << 10 | (31 - s) << 5 | (s ^ 9));
                const auto dp = static_cast<std::uint16_t>(0x8000 | d << 10 | (d ^ 17) << 5 | (31 - d));
                ASSERT_EQ(blendUnitPixel(sp, dp, a), blendPixel(tables.set(), sp, dp, static_cast<std::uint8_t>(a)));
            }
    EXPECT_EQ(blendUnitPixel(0x7fff, 0x8123, 0), 0x8123);
}

TEST(BlendDispatch, DualVideoDrawsAlikeWithEveryKernel) {
    // A pawn-sized picture cut by the context's clip on the left and at the bottom, blended and
    // copied, at the unit scale the module sets and at another; every kernel must leave the surface
    // the reference leaves.
    std::mt19937 random(31);
    hostengine::HostEngine host;
    doubles::FakeVideoFactory factory;
    for (const bool withAlpha : {true, false})
        for (const double scale : {1.0, 0.5}) {
            doubles::FakeVideo video(1, Point(150, 200));
            doubles::MemoryBitmap colour(150, 200, 16), alpha(150, 200, 8);
            colour.fillRandom(static_cast<std::uint32_t>(random()));
            for (std::int32_t y = 0; y < 200; ++y) paintAlphaRuns(alpha.row(y), 150, random);
            video.bitmaps = {&colour.table};
            if (withAlpha) video.bitmaps.push_back(&alpha.table);
            factory.video = &video;
            ResourceEntry entry{0, 0, "file://dual.avi", 0, "dual.avi", nullptr};
            DualVideo* dual = create<DualVideo>(&entry);
            dual->setAlphaScale(scale);
            dual->setPosition(-7, 45);
            std::vector<std::uint16_t> expected;
            for (BlendKernel kernel : {BlendKernel::Reference, BlendKernel::Sse2, BlendKernel::Avx2, BlendKernel::Avx512}) {
                if (!blendKernelAvailable(kernel)) continue;
                doubles::MemorySurface surface(200, 240);
                surface.fillRandom(5);
                Canvas canvas = doubles::canvasOver(surface);
                canvas.clip = Rect(0, 0, 200, 230);
                {
                    ForcedKernel forced(kernel);
                    dual->draw(&canvas);
                }
                EXPECT_EQ(surface.outstanding(), 0);
                std::vector<std::uint16_t> pixels;
                for (std::int32_t y = 0; y < 240; ++y)
                    for (std::int32_t x = 0; x < 200; ++x) pixels.push_back(surface.pixel16(x, y));
                if (kernel == BlendKernel::Reference) expected = pixels;
                else EXPECT_EQ(pixels, expected) << blendKernelName(kernel) << (withAlpha ? " blend" : " copy") << " at " << scale;
            }
            dual->deletingDestructor(1);
        }
}
