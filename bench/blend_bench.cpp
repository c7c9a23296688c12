// The blended draw and the opaque copy: the module's table reference and each of its kernels, the
// same composite through pixman's general compositor, and memcpy of the destination bytes as the
// ceiling memory sets. Throughput counts only the pixels actually drawn (after clipping).
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "bench/bench.h"
#include "host/core/memory_bitmap.h"
#include "host/core/surface.h"
#include "media/blend.h"
#include "media/blend_fast.h"

namespace pawnbench {

namespace {

constexpr std::int32_t kSurfaceWidth = 640;
constexpr std::int32_t kSurfaceHeight = 480;

// A figure as a pawn video has it: an opaque body, a soft rim and transparent surroundings. The
// alpha is a ramp over an uneven blob whose thresholds are the quartiles of the distance from its
// middle, so that a quarter of the frame is transparent, a quarter opaque and the rest soft.
struct Figure {
    Figure(std::int32_t width, std::int32_t height) : colour(width, height, 16), alpha(width, height, 8) {
        std::mt19937 random(width * 7919 + height);
        std::vector<double> distance(static_cast<std::size_t>(width) * height);
        for (std::int32_t y = 0; y < height; ++y)
            for (std::int32_t x = 0; x < width; ++x) {
                const double dx = (x + 0.5 - width / 2.0) / (width / 2.0), dy = (y + 0.5 - height / 2.0) / (height / 2.0);
                const double wobble = 1.0 + 0.12 * std::sin(5.0 * std::atan2(dy, dx));
                distance[static_cast<std::size_t>(y) * width + x] = std::sqrt(dx * dx + dy * dy) * wobble;
            }
        std::vector<double> sorted = distance;
        std::sort(sorted.begin(), sorted.end());
        const double inner = sorted[sorted.size() / 4], outer = sorted[sorted.size() * 3 / 4];
        for (std::int32_t y = 0; y < height; ++y)
            for (std::int32_t x = 0; x < width; ++x) {
                const double d = distance[static_cast<std::size_t>(y) * width + x];
                std::uint32_t a = 0;
                if (d < inner) a = 255;
                else if (d < outer) a = 1 + static_cast<std::uint32_t>(253.0 * (outer - d) / (outer - inner));
                alpha.setPixel(x, y, a);
                const std::uint32_t shade = (x * 31 / width) ^ (y * 31 / height);
                colour.setPixel(x, y, (shade << 10) | ((31 - shade) << 5) | (random() & 31));
            }
    }
    hostengine::MemoryBitmap colour;
    hostengine::MemoryBitmap alpha;
};

// A 640 x 480 surface with something on it.
struct Screen {
    Screen() : surface(kSurfaceWidth, kSurfaceHeight) {
        for (std::int32_t y = 0; y < kSurfaceHeight; ++y)
            for (std::int32_t x = 0; x < kSurfaceWidth; ++x)
                surface.setPixel(x, y, static_cast<std::uint16_t>(((y / 15) << 10) | ((x / 21) << 5) | ((x + y) & 31)));
    }
    hostengine::Surface surface;
};

// One draw: a figure at a position, the context's clip, and what DualVideo works out from them.
struct Scene {
    Scene(std::int32_t width, std::int32_t height, Point at, Rect clip_)
        : figure(std::make_shared<Figure>(width, height)), position(at), clip(clip_) {
        drawn = Rect(position.x, position.y, std::min(width, 512), std::min(height, 512)).intersect(clip);
        skipX = drawn.x - position.x;
        skipY = drawn.y - position.y;
        for (std::int32_t i = 0; i < 512; ++i) map[i] = i;
        buildBlendTables(tables(), 1.0);
    }
    BlendTableSet tables() { return BlendTableSet{srcRed, srcGreen, srcBlue, dstRed, dstGreen, dstBlue}; }
    PixelRows colourRows() const { return PixelRows{figure->colour.row(0), 16, figure->colour.pitch()}; }
    PixelRows alphaRows() const { return PixelRows{figure->alpha.row(0), 8, figure->alpha.pitch()}; }
    PixelRows destinationRows(Screen& screen) const {
        return PixelRows{screen.surface.row(drawn.y), 16, screen.surface.pitch()};
    }
    long long pixels() const { return static_cast<long long>(drawn.width) * drawn.height; }

    std::shared_ptr<Figure> figure;
    Point position;
    Rect clip;
    Rect drawn;
    std::int32_t skipX = 0, skipY = 0;
    std::int32_t map[512];
    std::uint16_t srcRed[BlendTables::kEntries], srcGreen[BlendTables::kEntries], srcBlue[BlendTables::kEntries];
    std::uint16_t dstRed[BlendTables::kEntries], dstGreen[BlendTables::kEntries], dstBlue[BlendTables::kEntries];
};

void countPixels(benchmark::State& state, long long pixels) {
    state.SetItemsProcessed(state.iterations() * pixels);
}

void blendWith(benchmark::State& state, Scene& scene, BlendKernel kernel) {
    Screen screen;
    if (!overrideBlendKernel(kernel)) {
        state.SkipWithError("kernel not available");
        return;
    }
    const PixelRows colour = scene.colourRows(), alpha = scene.alphaRows(), destination = scene.destinationRows(screen);
    for (auto _ : state) {
        blendDraw(scene.tables(), 1.0, scene.map, 1.0, colour, alpha, destination, scene.drawn, scene.skipX, scene.skipY);
        benchmark::ClobberMemory();
    }
    clearBlendKernelOverride();
    countPixels(state, scene.pixels());
}

void copyWith(benchmark::State& state, Scene& scene, BlendKernel kernel) {
    Screen screen;
    if (!overrideBlendKernel(kernel)) {
        state.SkipWithError("kernel not available");
        return;
    }
    const PixelRows colour = scene.colourRows(), destination = scene.destinationRows(screen);
    for (auto _ : state) {
        copyDraw(colour, destination, scene.drawn, scene.skipX, scene.skipY);
        benchmark::ClobberMemory();
    }
    clearBlendKernelOverride();
    countPixels(state, scene.pixels());
}

// The same pixels through pixman: an x1r5g5b5 source (opaque) OVER an x1r5g5b5 destination through
// an a8 mask, which is the blended draw's operation. pixman has no special path for it and takes its
// general one.
struct PixmanImages {
    PixmanImages(const Scene& scene, Screen& screen) {
        Figure& figure = *scene.figure;
        source = pixman_image_create_bits(PIXMAN_x1r5g5b5, figure.colour.width(), figure.colour.height(),
                                          reinterpret_cast<std::uint32_t*>(figure.colour.row(0)), figure.colour.pitch());
        mask = pixman_image_create_bits(PIXMAN_a8, figure.alpha.width(), figure.alpha.height(),
                                        reinterpret_cast<std::uint32_t*>(figure.alpha.row(0)), figure.alpha.pitch());
        destination = pixman_image_create_bits(PIXMAN_x1r5g5b5, kSurfaceWidth, kSurfaceHeight,
                                               reinterpret_cast<std::uint32_t*>(screen.surface.row(0)), screen.surface.pitch());
    }
    ~PixmanImages() {
        pixman_image_unref(source);
        pixman_image_unref(mask);
        pixman_image_unref(destination);
    }
    void composite(const Scene& scene) {
        pixman_image_composite32(PIXMAN_OP_OVER, source, mask, destination, scene.skipX, scene.skipY, scene.skipX,
                                 scene.skipY, scene.drawn.x, scene.drawn.y, scene.drawn.width, scene.drawn.height);
    }
    pixman_image_t* source = nullptr;
    pixman_image_t* mask = nullptr;
    pixman_image_t* destination = nullptr;
};

void blendWithPixman(benchmark::State& state, Scene& scene) {
    Screen screen;
    PixmanImages images(scene, screen);
    for (auto _ : state) {
        images.composite(scene);
        benchmark::ClobberMemory();
    }
    countPixels(state, scene.pixels());
}

// The ceiling: copying the destination bytes the draw writes, in one block.
void copyWithMemcpy(benchmark::State& state, Scene& scene) {
    const std::size_t bytes = static_cast<std::size_t>(scene.pixels()) * 2;
    std::vector<std::uint8_t> from(bytes, 1), to(bytes, 2);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
    }
    countPixels(state, scene.pixels());
}

// Shares of transparent, opaque and soft pixels among those drawn.
std::string alphaShares(const Scene& scene) {
    long long counts[3] = {0, 0, 0};
    for (std::int32_t y = 0; y < scene.drawn.height; ++y)
        for (std::int32_t x = 0; x < scene.drawn.width; ++x) {
            const std::uint32_t a = scene.figure->alpha.pixel(scene.skipX + x, scene.skipY + y);
            ++counts[a == 0 ? 0 : a == 255 ? 1 : 2];
        }
    char text[96];
    const double total = static_cast<double>(scene.pixels());
    std::snprintf(text, sizeof text, "%.0f%% transparent, %.0f%% opaque, %.0f%% soft", 100.0 * counts[0] / total,
                  100.0 * counts[1] / total, 100.0 * counts[2] / total);
    return text;
}

// pixman rounds differently (it works in 8 bits per component), so its pixels may differ from the
// module's by a step; a larger difference would mean the composite is not the same operation.
int pixmanDifference(Scene& scene) {
    Screen ours, theirs;
    blendReference(scene.tables(), scene.map, scene.colourRows(), scene.alphaRows(), scene.destinationRows(ours),
                   scene.drawn, scene.skipX, scene.skipY);
    PixmanImages images(scene, theirs);
    images.composite(scene);
    int largest = 0;
    for (std::int32_t y = 0; y < kSurfaceHeight; ++y)
        for (std::int32_t x = 0; x < kSurfaceWidth; ++x) {
            const std::uint16_t a = ours.surface.pixel(x, y), b = theirs.surface.pixel(x, y);
            for (int shift : {0, 5, 10})
                largest = std::max(largest, std::abs(static_cast<int>((a >> shift) & 31) - static_cast<int>((b >> shift) & 31)));
        }
    return largest;
}

std::vector<std::shared_ptr<Scene>>& scenes() {
    static std::vector<std::shared_ptr<Scene>> kept;
    return kept;
}

}  // namespace

void registerBlendBenchmarks(std::vector<Case>& blendCases, std::vector<Case>& copyCases) {
    struct Layout {
        const char* name;
        const char* where;
        std::int32_t width, height;
        Point at;
        Rect clip;
    };
    const Layout layouts[] = {
        {"512x512", "512 x 512 frame at (64, 0) on 640 x 480, cut by the surface to 480 rows", 512, 512, Point(64, 0),
         Rect(0, 0, kSurfaceWidth, kSurfaceHeight)},
        {"150x200", "150 x 200 pawn at (245, 280), whole", 150, 200, Point(245, 280), Rect(0, 0, kSurfaceWidth, kSurfaceHeight)},
        {"clipped", "512 x 512 frame at (64, 0), clip (192, 128, 256, 256): a quarter cut off each side", 512, 512,
         Point(64, 0), Rect(192, 128, 256, 256)},
    };
    const BlendKernel kernels[] = {BlendKernel::Reference, BlendKernel::Sse2, BlendKernel::Avx2, BlendKernel::Avx512};
    for (const Layout& layout : layouts) {
        auto scene = std::make_shared<Scene>(layout.width, layout.height, layout.at, layout.clip);
        scenes().push_back(scene);
        char heading[256];
        std::snprintf(heading, sizeof heading, "%s: %lld px drawn (%s); pixman differs by at most %d per component",
                      layout.where, scene->pixels(), alphaShares(*scene).c_str(), pixmanDifference(*scene));
        blendCases.push_back(Case{std::string("blend/") + layout.name, heading, scene->pixels()});
        for (BlendKernel kernel : kernels)
            if (blendKernelAvailable(kernel))
                benchmark::RegisterBenchmark((blendCases.back().name + "/" + blendKernelName(kernel)).c_str(),
                                             [scene, kernel](benchmark::State& state) { blendWith(state, *scene, kernel); });
        benchmark::RegisterBenchmark((blendCases.back().name + "/pixman").c_str(),
                                     [scene](benchmark::State& state) { blendWithPixman(state, *scene); });
        benchmark::RegisterBenchmark((blendCases.back().name + "/memcpy").c_str(),
                                     [scene](benchmark::State& state) { copyWithMemcpy(state, *scene); });
    }
    for (const Layout& layout : {layouts[0], layouts[1]}) {
        auto scene = std::make_shared<Scene>(layout.width, layout.height, layout.at, layout.clip);
        scenes().push_back(scene);
        char heading[256];
        std::snprintf(heading, sizeof heading, "%s: %lld px copied", layout.where, scene->pixels());
        copyCases.push_back(Case{std::string("copy/") + layout.name, heading, scene->pixels()});
        for (BlendKernel kernel : kernels)
            if (blendKernelAvailable(kernel))
                benchmark::RegisterBenchmark((copyCases.back().name + "/" + blendKernelName(kernel)).c_str(),
                                             [scene, kernel](benchmark::State& state) { copyWith(state, *scene, kernel); });
        benchmark::RegisterBenchmark((copyCases.back().name + "/memcpy").c_str(),
                                     [scene](benchmark::State& state) { copyWithMemcpy(state, *scene); });
    }
}

void registerTableBenchmarks() {
    // setAlphaScale and setOpacity rebuild all six tables; a blinking pawn asks its bonus picture for
    // two rebuilds on every drawn frame. The reference build, then each vector build.
    for (BlendKernel kernel : {BlendKernel::Reference, BlendKernel::Sse2, BlendKernel::Avx2}) {
        if (!blendKernelAvailable(kernel)) continue;
        benchmark::RegisterBenchmark((std::string("tables/") + blendKernelName(kernel)).c_str(), [kernel](benchmark::State& state) {
            auto tables = std::make_unique<BlendTables>();
            const BlendTableSet set{tables->srcRed, tables->srcGreen, tables->srcBlue,
                                    tables->dstRed, tables->dstGreen, tables->dstBlue};
            overrideBlendKernel(kernel);
            for (auto _ : state) {
                buildBlendTablesFast(set, 0.37);
                benchmark::ClobberMemory();
            }
            clearBlendKernelOverride();
        });
    }
    benchmark::RegisterBenchmark("tables/setOpacity", [](benchmark::State& state) {
        auto tables = std::make_unique<BlendTables>();
        for (auto _ : state) {
            tables->setOpacity(0.37);
            benchmark::ClobberMemory();
        }
    });
}

}  // namespace pawnbench
