// The host's drawing surface: RGB555 pixels in memory, handed to the module through a Canvas.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/abi.h"

namespace hostengine {

// 8-bit components to the 5-bit pixel format (bit 15 stays clear); components outside 0..255 clamp.
std::uint16_t rgb555(std::int32_t red, std::int32_t green, std::int32_t blue);
std::uint16_t rgb555(const Colour& colour);

// A 5-bit component back to 8 bits, filling the low bits from the high ones so 31 becomes 255.
inline std::uint8_t expand5(std::uint32_t component) {
    component &= 31;
    return static_cast<std::uint8_t>((component << 3) | (component >> 2));
}

// Bookkeeping of row locks, shared by surfaces and memory bitmaps: every lock handed out must come
// back exactly once, and tests can make locking fail.
class RowLocks {
public:
    // A new record for rows starting at `pixels`; null when failing is switched on.
    PixelRows* take(void* pixels, std::int32_t bitsPerPixel, std::int32_t pitch);
    // True when `rows` was handed out and not yet returned; it is then forgotten.
    bool give(PixelRows* rows);

    int outstanding() const { return static_cast<int>(open_.size()); }
    int taken() const { return taken_; }          // locks handed out so far
    int refused() const { return refused_; }      // lockRows calls that yielded null
    int strayUnlocks() const { return stray_; }   // unlocks of records never handed out (or twice)
    void setFailing(bool failing) { failing_ = failing; }
    bool failing() const { return failing_; }
    void countRefusal() { ++refused_; }
    void countStray() { ++stray_; }

private:
    std::vector<std::unique_ptr<PixelRows>> open_;
    int taken_ = 0;
    int refused_ = 0;
    int stray_ = 0;
    bool failing_ = false;
};

class Surface : public ISurface {
public:
    // `pitch` 0 picks width * 2 rounded up to 4 bytes, as screen surfaces lay rows out.
    Surface(std::int32_t width, std::int32_t height, std::int32_t pitch = 0);

    // ISurface
    void unusedSlot0() override {}
    const BitmapInfo* info() const { return &info_; }
    void setColour(Colour colour) override { colour_ = colour; }
    // Rows firstRow..lastRow, which must lie inside the surface and be in order; null otherwise.
    PixelRows* lockRows(std::int32_t firstRow, std::int32_t lastRow) override;
    void unlockRows(PixelRows* rows) override;

    std::int32_t width() const { return info_.width; }
    std::int32_t height() const { return info_.height; }
    std::int32_t pitch() const { return pitch_; }
    Colour colour() const { return colour_; }

    std::uint16_t pixel(std::int32_t x, std::int32_t y) const;    // 0 outside
    void setPixel(std::int32_t x, std::int32_t y, std::uint16_t value);  // ignored outside; bit 15 cleared
    void fill(std::uint16_t value);
    void fillRect(const Rect& area, std::uint16_t value);          // clipped to the surface
    void fillWithColour() { fill(rgb555(colour_)); }
    std::uint16_t* row(std::int32_t y);
    const std::uint16_t* row(std::int32_t y) const;
    // True when no pixel has bit 15 set: the module must never write it.
    bool highBitClear() const;

    // 24-bit RGB, rows top-down without padding, for image and video encoders.
    std::vector<std::uint8_t> toRgb24() const;

    RowLocks& locks() { return locks_; }
    const RowLocks& locks() const { return locks_; }

private:
    BitmapInfo info_;
    std::int32_t pitch_;
    std::vector<std::uint8_t> bytes_;
    Colour colour_;
    RowLocks locks_;
};

// A drawing context over the whole surface: clip = the surface, origin (0, 0), no font.
Canvas makeCanvas(Surface& surface);

// The part of the context that may be drawn, in context coordinates: its clip rectangle, cut to the
// surface when the surface is one of ours (the contract gives no way to ask another surface its size).
Rect drawableArea(const Canvas& canvas);

// The host's side of the contract: a context's clip rectangle, moved by its origin, lies inside its
// surface, since the module draws wherever the clip allows. Empty clips keep the rule trivially.
bool clipInsideSurface(const Canvas& canvas, std::int32_t surfaceWidth, std::int32_t surfaceHeight);

}  // namespace hostengine
