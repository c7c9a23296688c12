// The evening's media: a 640 x 480 RGB555 surface, videos whose frames are drawn procedurally (a
// 16-bit colour and an 8-bit alpha bitmap each), a sound factory whose sounds end on the host clock,
// a font that notes what it is asked to draw, and the producer with its font source, penguin and bonus
// pictures.
#pragma once

#include "core/abi.h"

namespace evening {

constexpr std::int32_t kScreenWidth = 640;
constexpr std::int32_t kScreenHeight = 480;

class EveningSurface : public ISurface {
public:
    void unusedSlot0() override;
    void setColour(Colour colour) override;
    PixelRows* lockRows(std::int32_t firstRow, std::int32_t lastRow) override;
    void unlockRows(PixelRows* rows) override;

    void clear(std::uint32_t frame);   // a backdrop that changes with the frame
    std::uint32_t checksum() const;
    std::uint16_t pixels[kScreenWidth * kScreenHeight];
    std::int32_t locked = 0;
    PixelRows rows{};
};

// A figure's video: `frames` frames of `width` x `height`; `shape` picks the figure drawn.
struct VideoLook {
    const char* path;
    std::int32_t width;
    std::int32_t height;
    std::int32_t frames;
    std::uint32_t shape;
};

void offerMediaFactories(const VideoLook* looks, std::int32_t count);
EveningSurface& surface();
Canvas* canvas();  // over surface(), clip = the whole surface, with the font of the producer's source
std::int32_t soundsPlaying();
std::int32_t openVideos();
void offerProducer(const VideoLook& penguin);

}  // namespace evening
