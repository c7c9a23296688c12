// The bonus pictures the producer hands out: a colour picture blended through its alpha picture onto
// the drawing context with the picture's own blend tables, so that a pawn that sets the opacity
// changes what the next draw shows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/abi.h"
#include "host/core/memory_bitmap.h"

namespace hostengine {

class ProducerPicture final : public BonusPicture {
public:
    // Both pictures start transparent black; blend tables at opacity 1.0.
    ProducerPicture(std::int32_t width, std::int32_t height);
    ~ProducerPicture() = default;
    ProducerPicture(const ProducerPicture&) = delete;
    ProducerPicture& operator=(const ProducerPicture&) = delete;

    // The first frame of a video opened through `factory` (its 16-bit bitmap as colour, its 8-bit one
    // as alpha; a video without an alpha picture is opaque). Null when the video cannot be opened or
    // offers no colour picture; `error` then says why.
    static std::unique_ptr<ProducerPicture> fromVideo(IVideoFactory* factory, const std::string& path, std::string& error);
    // A generated badge: a disc in a colour of its own per number, the number written on it in a
    // contrasting colour with the host's pixel font, and an alpha edge that fades over about a pixel.
    static std::unique_ptr<ProducerPicture> badge(std::int32_t number);

    static constexpr std::int32_t kBadgeSize = 48;

    // IVisible
    void draw(Canvas* canvas) override;  // clipped to the context's drawable area
    Rect* bounds(Rect* result) override {
        *result = Rect(position_.x, position_.y, colour_.width(), colour_.height());
        return result;
    }
    std::int32_t isHidden() override { return 0; }
    void setPosition(std::int32_t x, std::int32_t y) override { position_ = Point(x, y); }

    MemoryBitmap& colour() { return colour_; }
    MemoryBitmap& alpha() { return alpha_; }
    int draws() const { return draws_; }
    double lastDrawOpacity() const { return lastDrawOpacity_; }  // the opacity the last draw blended with

private:
    MemoryBitmap colour_;
    MemoryBitmap alpha_;
    std::vector<std::int32_t> coordMap_;  // the identity: the picture is never zoomed
    Point position_;
    int draws_ = 0;
    double lastDrawOpacity_ = 1.0;
};

}  // namespace hostengine
