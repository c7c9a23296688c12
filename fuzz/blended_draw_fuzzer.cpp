// The blended draw and the opaque copy: a DualVideo over a host video whose frame size, bitmaps
// (sizes, depths, pitches, bottom-up rows, handles without "IBitmap") the input picks, drawn at any
// position onto a surface of any size and pitch through a context with any origin and any clip
// rectangle a host may hand out (one kept on its surface), now and then with rows that cannot be
// locked, with another zoom or alpha scale. No pixel outside the picture's place on the surface may
// change, and every lock must be given back.
//
// Run: build/fuzz/fuzz/blended_draw_fuzzer fuzz/corpus/blended_draw -max_total_time=600
#include <algorithm>

#include "fuzz/fuzz_host.h"
#include "host/core/surface.h"
#include "media/dual_video.h"

using namespace fuzzhost;

namespace {

std::unique_ptr<MemoryBitmap> bitmapFrom(FuzzInput& in, std::int32_t bitsPerPixel) {
    const std::int32_t width = in.range(0, 40);
    const std::int32_t height = in.range(0, 40);
    // Rows of 16-bit pixels start on even addresses, as on every host; the padding is the host's choice.
    const std::int32_t padding = bitsPerPixel == 8 ? in.range(0, 9) : 2 * in.range(0, 4);
    const std::int32_t pitch = MemoryBitmap::pitchFor(width, bitsPerPixel, padding, in.below(4) == 0);
    auto bitmap = std::make_unique<MemoryBitmap>(width, height, bitsPerPixel, pitch);
    bitmap->fillRandom(in.u32());
    return bitmap;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return runInput(data, size, [](FuzzInput& in) {
        FakeVideoFactory videos;
        const std::int32_t frames = in.range(0, 3);
        FakeVideo video(frames, pointIn(in, -4, 48));
        std::vector<std::unique_ptr<MemoryBitmap>> bitmaps;
        const std::uint32_t count = in.below(5);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t kind = in.below(8);
            if (kind == 7) {
                video.bitmaps.push_back(nullptr);  // a bitmap index the host has nothing for
                continue;
            }
            bitmaps.push_back(bitmapFrom(in, kind < 3 ? 16 : kind < 6 ? 8 : 32));
            video.bitmaps.push_back(&bitmaps.back()->table);
        }
        videos.video = &video;

        ResourceEntry entry{typeId("video"), 0, "mem://dual.avi", 0, "dual.avi", nullptr};
        DualVideo* picture = create<DualVideo>(&entry);
        for (int draw = 0; picture && draw < 6 && !in.empty(); ++draw) {
            const std::int32_t width = in.range(0, 64);
            const std::int32_t height = in.range(0, 64);
            const std::int32_t padding = in.range(0, 5) * 2;
            MemorySurface surface(width, height, MemoryBitmap::pitchFor(width, 16, padding, in.below(4) == 0));
            surface.fillRandom(in.u32());
            Canvas canvas = canvasOver(surface);
            canvas.origin = in.below(3) == 0 ? pointIn(in, -20, 20) : Point();
            canvas.clip = in.below(3) == 0 ? anyRect(in) : rectIn(in, -8, 70, -8, 80);
            // The host keeps its clip on the surface (the module trusts it): whatever the input
            // asks for is cut there, as every host must.
            canvas.clip = canvas.clip.intersect(Rect(-canvas.origin.x, -canvas.origin.y, width, height));
            require(hostengine::clipInsideSurface(canvas, width, height), "the fuzz host's clip left its surface");
            surface.failing = in.below(16) == 0;
            for (auto& bitmap : bitmaps) bitmap->failing = in.below(16) == 0;
            if (in.below(8) == 0) picture->setZoom(in.below(4) == 0 ? static_cast<double>(in.value()) : in.range(1, 40) / 10.0);
            if (in.below(8) == 0) picture->setAlphaScale(in.range(-4, 14) / 10.0);
            const Point position = pointIn(in, -60, 80);
            picture->visible()->setPosition(position.x, position.y);

            std::vector<std::uint16_t> old;
            for (std::int32_t y = 0; y < height; ++y)
                for (std::int32_t x = 0; x < width; ++x) old.push_back(surface.pixel16(x, y));

            picture->visible()->draw(&canvas);

            // Where the picture may have drawn, in context coordinates: its rectangle (as zoomed,
            // when blended; the opaque copy does not zoom) inside the clip. The clip lies on the
            // surface, so none of this arithmetic can overflow.
            const Rect placed = boundsOf(picture->visible());
            const double zoom = picture->alpha ? picture->zoom : 1.0;
            auto zoomed = [zoom](std::int32_t length) { return static_cast<std::int32_t>(std::min(512.0, std::max(0.0, length * zoom))); };
            const Rect allowed = Rect(placed.x, placed.y, zoomed(placed.width), zoomed(placed.height)).intersect(canvas.clip);
            std::size_t index = 0;
            for (std::int32_t y = 0; y < height; ++y)
                for (std::int32_t x = 0; x < width; ++x, ++index) {
                    const Point at(x - canvas.origin.x, y - canvas.origin.y);
                    const bool inside = at.x >= allowed.x && at.x < allowed.x + allowed.width && at.y >= allowed.y &&
                                        at.y < allowed.y + allowed.height;
                    require(inside || surface.pixel16(x, y) == old[index], "a pixel outside the picture changed");
                }
            surface.failing = false;
            require(surface.outstanding() == 0, "surface rows left locked");
            for (auto& bitmap : bitmaps) {
                require(bitmap->outstanding() == 0, "bitmap rows left locked");
                bitmap->failing = false;
            }
        }
        if (picture) picture->deletingDestructor(1);
        require(video.outOfRange == 0, "a bitmap asked for outside the video");
    });
}
