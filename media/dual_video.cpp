#include "media/dual_video.h"

#include <algorithm>
#include <cstdint>

#include "core/allocator.h"
#include "media/blend.h"
#include "media/blend_fast.h"

namespace {

// Drawn extent of `extent` source pixels at `zoom`, limited to what the coordinate map covers.
std::int32_t drawnExtent(std::int32_t extent, double zoom) {
    const double drawn = extent * zoom;
    if (!(drawn >= 1.0)) return 0;
    if (drawn >= DualVideo::kCoordEntries) return DualVideo::kCoordEntries;
    return static_cast<std::int32_t>(drawn);
}

// The last row of `run`, or false when it does not fit in 32 bits.
bool lastRowOf(const Rect& run, std::int32_t& last) {
    const std::int64_t row = static_cast<std::int64_t>(run.y) + run.height - 1;
    if (row > INT32_MAX) return false;
    last = static_cast<std::int32_t>(row);
    return true;
}

}  // namespace

DualVideo::DualVideo(ResourceEntry* entry_) : Video(entry_, "avifile") {
    interfaces.add("IVisible", entryValueOf<IVisible>(this));
    for (std::int32_t i = 0; i < bitmapCount; ++i) {
        InterfaceTable* bitmapHandle = bitmap(i);
        IBitmap* picture = bitmapHandle ? bitmapHandle->find<IBitmap>("IBitmap") : nullptr;
        const BitmapInfo* pictureInfo = picture ? picture->info() : nullptr;
        if (!pictureInfo) continue;
        // Drawing reads only what every bitmap holds, whatever its depth.
        size.x = std::min(size.x, pictureInfo->width);
        size.y = std::min(size.y, pictureInfo->height);
        if (pictureInfo->bitsPerPixel == 8) alpha = picture;
        else if (pictureInfo->bitsPerPixel == 16) colour = picture;
    }
    setAlphaScale(1.0);
    setZoom(1.0);
}

// The host video goes first, then the registrations, as a video is torn down from its base up.
DualVideo::~DualVideo() {
    close();
    interfaces.teardown();
}

void* DualVideo::deletingDestructor(unsigned flags) {
    this->~DualVideo();
    if (flags & 1) freeBytes(this);
    return this;
}

void DualVideo::setAlphaScale(double scale) {
    alphaScale = scale;
    buildBlendTablesFast(BlendTableSet{srcRed, srcGreen, srcBlue, dstRed, dstGreen, dstBlue}, alphaScale);
}

void DualVideo::setZoom(double newZoom) {
    zoom = newZoom;
    for (std::int32_t i = 0; i < kCoordEntries; ++i) {
        const double source = i / zoom;
        // Only a positive zoom draws anything; the map still holds defined entries for any other.
        coordMap[i] = (source >= 0.0 && source <= INT32_MAX) ? static_cast<std::int32_t>(source) : 0;
    }
}

Rect* DualVideo::bounds(Rect* result) {
    *result = Rect(position.x, position.y, size.x, size.y);
    return result;
}

void DualVideo::setPosition(std::int32_t x, std::int32_t y) { position = Point(x, y); }

void DualVideo::draw(Canvas* canvas) {
    if (!canvas || !colour) return;
    if (alpha) drawBlended(canvas);
    else drawOpaque(canvas);
}

void DualVideo::drawBlended(Canvas* canvas) {
    const std::int32_t w = size.x;
    const std::int32_t h = size.y;
    if (w <= 0 || h <= 0) return;
    Rect drawn = Rect(position.x, position.y, drawnExtent(w, zoom), drawnExtent(h, zoom)).intersect(canvas->clip);
    std::int32_t lastRow = 0;
    if (drawn.width <= 0 || drawn.height <= 0 || !lastRowOf(drawn, lastRow)) return;
    const std::int32_t skipX = drawn.x - position.x;
    const std::int32_t skipY = drawn.y - position.y;

    PixelRows* destination = canvas->lockRows(drawn.y, lastRow);
    if (!destination) return;
    PixelRows* colourRows = colour->lockRows(0, h - 1);
    if (!colourRows) {
        canvas->unlockRows(destination);
        return;
    }
    PixelRows* alphaRows = alpha->lockRows(0, h - 1);
    if (alphaRows) {
        blendDraw(BlendTableSet{srcRed, srcGreen, srcBlue, dstRed, dstGreen, dstBlue}, alphaScale, coordMap, zoom,
                  *colourRows, *alphaRows, *destination, drawn, skipX, skipY);
        alpha->unlockRows(alphaRows);
    }
    colour->unlockRows(colourRows);
    canvas->unlockRows(destination);
}

void DualVideo::drawOpaque(Canvas* canvas) {
    const std::int32_t w = size.x;
    const std::int32_t h = size.y;
    if (w <= 0 || h <= 0) return;
    // Clipped like the blended draw (though unzoomed): a picture partly outside the context's clip
    // would otherwise be written past the rows the context hands out.
    Rect drawn = Rect(position.x, position.y, w, h).intersect(canvas->clip);
    std::int32_t lastRow = 0;
    if (drawn.width <= 0 || drawn.height <= 0 || !lastRowOf(drawn, lastRow)) return;

    PixelRows* destination = canvas->lockRows(drawn.y, lastRow);
    if (!destination) return;
    PixelRows* colourRows = colour->lockRows(0, h - 1);
    if (colourRows) {
        copyDraw(*colourRows, *destination, drawn, drawn.x - position.x, drawn.y - position.y);
        colour->unlockRows(colourRows);
    }
    canvas->unlockRows(destination);
}
