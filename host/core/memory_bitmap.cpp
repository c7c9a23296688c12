#include "host/core/memory_bitmap.h"

#include <stdexcept>

namespace hostengine {

MemoryBitmap::MemoryBitmap(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel) {
    if (bitsPerPixel != 8 && bitsPerPixel != 16) throw std::invalid_argument("bitmaps hold 8 or 16 bits per pixel");
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) throw std::invalid_argument("bitmap size out of range");
    info_ = BitmapInfo{width, height, bitsPerPixel};
    pitch_ = (width * (bitsPerPixel / 8) + 3) & ~3;
    bytes_.assign(static_cast<std::size_t>(pitch_) * static_cast<std::size_t>(height), 0);
    interfaces.add("IBitmap", entryValueOf<IBitmap>(this));
}

MemoryBitmap::~MemoryBitmap() { interfaces.teardown(); }

PixelRows* MemoryBitmap::lockRows(std::int32_t firstRow, std::int32_t lastRow) {
    if (firstRow < 0 || lastRow >= info_.height || firstRow > lastRow) {
        locks_.countRefusal();
        return nullptr;
    }
    return locks_.take(row(firstRow), info_.bitsPerPixel, pitch_);
}

void MemoryBitmap::unlockRows(PixelRows* rows) {
    if (rows) locks_.give(rows);
}

std::uint32_t MemoryBitmap::pixel(std::int32_t x, std::int32_t y) const {
    if (x < 0 || y < 0 || x >= info_.width || y >= info_.height) return 0;
    return info_.bitsPerPixel == 16 ? row16(y)[x] : row(y)[x];
}

void MemoryBitmap::setPixel(std::int32_t x, std::int32_t y, std::uint32_t value) {
    if (x < 0 || y < 0 || x >= info_.width || y >= info_.height) return;
    if (info_.bitsPerPixel == 16)
        row16(y)[x] = static_cast<std::uint16_t>(value & 0x7fff);
    else
        row(y)[x] = static_cast<std::uint8_t>(value);
}

}  // namespace hostengine
