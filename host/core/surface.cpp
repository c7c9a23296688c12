#include "host/core/surface.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace hostengine {

std::uint16_t rgb555(std::int32_t red, std::int32_t green, std::int32_t blue) {
    auto five = [](std::int32_t component) { return static_cast<std::uint16_t>(std::clamp(component, 0, 255) >> 3); };
    return static_cast<std::uint16_t>((five(red) << 10) | (five(green) << 5) | five(blue));
}

std::uint16_t rgb555(const Colour& colour) { return rgb555(colour.red, colour.green, colour.blue); }

// ---------------------------------------------------------------------------------------------------
// Row locks

PixelRows* RowLocks::take(void* pixels, std::int32_t bitsPerPixel, std::int32_t pitch) {
    if (failing_) {
        ++refused_;
        return nullptr;
    }
    open_.push_back(std::make_unique<PixelRows>(PixelRows{pixels, bitsPerPixel, pitch}));
    ++taken_;
    return open_.back().get();
}

bool RowLocks::give(PixelRows* rows) {
    auto found = std::find_if(open_.begin(), open_.end(), [rows](const auto& open) { return open.get() == rows; });
    if (found == open_.end()) {
        ++stray_;
        return false;
    }
    open_.erase(found);
    return true;
}

// ---------------------------------------------------------------------------------------------------
// Surface

Surface::Surface(std::int32_t width, std::int32_t height, std::int32_t pitch) {
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) throw std::invalid_argument("surface size out of range");
    std::int32_t packed = (width * 2 + 3) & ~3;
    if (pitch == 0) pitch = packed;
    if (pitch < width * 2 || pitch % 2 != 0) throw std::invalid_argument("surface pitch too small or odd");
    info_ = BitmapInfo{width, height, 16};
    pitch_ = pitch;
    bytes_.assign(static_cast<std::size_t>(pitch) * static_cast<std::size_t>(height), 0);
}

PixelRows* Surface::lockRows(std::int32_t firstRow, std::int32_t lastRow) {
    if (firstRow < 0 || lastRow >= info_.height || firstRow > lastRow) {
        locks_.countRefusal();
        return nullptr;
    }
    return locks_.take(bytes_.data() + static_cast<std::size_t>(firstRow) * static_cast<std::size_t>(pitch_), 16, pitch_);
}

void Surface::unlockRows(PixelRows* rows) {
    if (rows) locks_.give(rows);
}

std::uint16_t* Surface::row(std::int32_t y) {
    return reinterpret_cast<std::uint16_t*>(bytes_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(pitch_));
}

const std::uint16_t* Surface::row(std::int32_t y) const {
    return reinterpret_cast<const std::uint16_t*>(bytes_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(pitch_));
}

std::uint16_t Surface::pixel(std::int32_t x, std::int32_t y) const {
    if (x < 0 || y < 0 || x >= info_.width || y >= info_.height) return 0;
    return row(y)[x];
}

void Surface::setPixel(std::int32_t x, std::int32_t y, std::uint16_t value) {
    if (x < 0 || y < 0 || x >= info_.width || y >= info_.height) return;
    row(y)[x] = value & 0x7fff;
}

void Surface::fill(std::uint16_t value) { fillRect(Rect(0, 0, info_.width, info_.height), value); }

void Surface::fillRect(const Rect& area, std::uint16_t value) {
    Rect r = area.intersect(Rect(0, 0, info_.width, info_.height));
    for (std::int32_t y = r.y; y < r.y + r.height; ++y) std::fill_n(row(y) + r.x, r.width, static_cast<std::uint16_t>(value & 0x7fff));
}

bool Surface::highBitClear() const {
    for (std::int32_t y = 0; y < info_.height; ++y)
        for (std::int32_t x = 0; x < info_.width; ++x)
            if (row(y)[x] & 0x8000) return false;
    return true;
}

std::vector<std::uint8_t> Surface::toRgb24() const {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(info_.width) * static_cast<std::size_t>(info_.height) * 3);
    std::uint8_t* out = rgb.data();
    for (std::int32_t y = 0; y < info_.height; ++y) {
        const std::uint16_t* in = row(y);
        for (std::int32_t x = 0; x < info_.width; ++x) {
            *out++ = expand5(in[x] >> 10);
            *out++ = expand5(in[x] >> 5);
            *out++ = expand5(in[x]);
        }
    }
    return rgb;
}

// ---------------------------------------------------------------------------------------------------
// Contexts

Canvas makeCanvas(Surface& surface) {
    Canvas canvas;
    canvas.surface = &surface;
    canvas.clip = Rect(0, 0, surface.width(), surface.height());
    canvas.origin = Point(0, 0);
    return canvas;
}

Rect drawableArea(const Canvas& canvas) {
    if (!canvas.surface) return Rect();
    const auto* ours = dynamic_cast<const Surface*>(canvas.surface);
    if (!ours) return canvas.clip;
    const BitmapInfo* info = ours->info();
    if (info->width <= 0 || info->height <= 0) return Rect();
    // The surface in context coordinates; 64-bit so that far-out origins cannot wrap.
    std::int64_t left = -std::int64_t{canvas.origin.x};
    std::int64_t top = -std::int64_t{canvas.origin.y};
    if (left < INT32_MIN || left > INT32_MAX || top < INT32_MIN || top > INT32_MAX) return Rect();
    return canvas.clip.intersect(Rect(static_cast<std::int32_t>(left), static_cast<std::int32_t>(top), info->width, info->height));
}

bool clipInsideSurface(const Canvas& canvas, std::int32_t surfaceWidth, std::int32_t surfaceHeight) {
    const Rect& clip = canvas.clip;
    if (clip.width <= 0 || clip.height <= 0) return true;
    const std::int64_t left = std::int64_t{clip.x} + canvas.origin.x;
    const std::int64_t top = std::int64_t{clip.y} + canvas.origin.y;
    return left >= 0 && top >= 0 && left + clip.width <= surfaceWidth && top + clip.height <= surfaceHeight;
}

}  // namespace hostengine
