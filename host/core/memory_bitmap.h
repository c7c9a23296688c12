// A bitmap in host memory, handed to the module as a handle whose table holds "IBitmap". Videos show
// their frames through two of them (colour and alpha); producers hand out pictures the same way.
#pragma once

#include <cstdint>
#include <vector>

#include "core/abi.h"
#include "host/core/surface.h"

namespace hostengine {

class MemoryBitmap : public IBitmap {
public:
    // 16 bits per pixel (RGB555) or 8 (alpha); rows are padded to 4 bytes as device bitmaps are.
    MemoryBitmap(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel);
    ~MemoryBitmap();
    MemoryBitmap(const MemoryBitmap&) = delete;
    MemoryBitmap& operator=(const MemoryBitmap&) = delete;

    // IBitmap
    void unusedSlot0() override {}
    const BitmapInfo* info() override { return &info_; }
    // Rows firstRow..lastRow, inside the bitmap and in order; null otherwise.
    PixelRows* lockRows(std::int32_t firstRow, std::int32_t lastRow) override;
    void unlockRows(PixelRows* rows) override;

    InterfaceTable* handle() { return &interfaces; }

    std::int32_t width() const { return info_.width; }
    std::int32_t height() const { return info_.height; }
    std::int32_t bitsPerPixel() const { return info_.bitsPerPixel; }
    std::int32_t pitch() const { return pitch_; }
    std::uint8_t* row(std::int32_t y) { return bytes_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(pitch_); }
    const std::uint8_t* row(std::int32_t y) const {
        return bytes_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(pitch_);
    }
    std::uint16_t* row16(std::int32_t y) { return reinterpret_cast<std::uint16_t*>(row(y)); }
    const std::uint16_t* row16(std::int32_t y) const { return reinterpret_cast<const std::uint16_t*>(row(y)); }
    // The pixel value (RGB555 or alpha byte); 0 outside.
    std::uint32_t pixel(std::int32_t x, std::int32_t y) const;
    void setPixel(std::int32_t x, std::int32_t y, std::uint32_t value);  // ignored outside

    RowLocks& locks() { return locks_; }
    const RowLocks& locks() const { return locks_; }

    InterfaceTable interfaces;  // "IBitmap"

private:
    BitmapInfo info_;
    std::int32_t pitch_;
    std::vector<std::uint8_t> bytes_;
    RowLocks locks_;
};

}  // namespace hostengine
