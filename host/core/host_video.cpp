#include "host/core/host_video.h"

#include <cstring>

namespace hostengine {

void splitFrame(const std::uint8_t* bgra, MemoryBitmap& colour, MemoryBitmap& alpha) {
    const std::int32_t width = colour.width();
    for (std::int32_t y = 0; y < colour.height(); ++y) {
        const std::uint8_t* in = bgra + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 4;
        std::uint16_t* rgb = colour.row16(y);
        std::uint8_t* a = alpha.row(y);
        for (std::int32_t x = 0; x < width; ++x, in += 4) {
            rgb[x] = static_cast<std::uint16_t>(((in[2] >> 3) << 10) | ((in[1] >> 3) << 5) | (in[0] >> 3));
            a[x] = in[3];
        }
    }
}

// ---------------------------------------------------------------------------------------------------
// Video

std::unique_ptr<HostVideo> HostVideo::create(std::unique_ptr<FrameSource> source) {
    if (!source) return nullptr;
    std::int32_t width = source->width(), height = source->height();
    if (width <= 0 || height <= 0 || width > kMaxVideoSide || height > kMaxVideoSide || source->frameCount() <= 0) return nullptr;
    std::unique_ptr<HostVideo> video(new HostVideo(std::move(source)));
    if (!video->show(0)) return nullptr;
    return video;
}

HostVideo::HostVideo(std::unique_ptr<FrameSource> source) : source_(std::move(source)) {
    std::int32_t width = source_->width(), height = source_->height();
    colour_ = std::make_unique<MemoryBitmap>(width, height, 16);
    alpha_ = std::make_unique<MemoryBitmap>(width, height, 8);
    frame_.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    interfaces.add("IVideo", entryValueOf<IVideo>(this));
}

HostVideo::~HostVideo() { interfaces.teardown(); }

bool HostVideo::show(std::int32_t frame) {
    if (frame < 0 || frame >= source_->frameCount()) return false;
    if (frame == current_) return true;
    if (!source_->readFrame(frame, frame_.data())) return false;
    splitFrame(frame_.data(), *colour_, *alpha_);
    current_ = frame;
    return true;
}

// The module calls these; nothing may escape into it.
std::int32_t HostVideo::seek(std::int32_t frame) {
    try {
        return show(frame) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

std::int32_t HostVideo::next() {
    try {
        return show(current_ + 1) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

InterfaceTable* HostVideo::bitmap(std::int32_t index) {
    if (index == 0) return colour_->handle();
    if (index == 1) return alpha_->handle();
    return nullptr;
}

// ---------------------------------------------------------------------------------------------------
// Factory

HostVideoFactory::HostVideoFactory(const char* objectName, Opener opener) : HostObject(objectName), opener_(std::move(opener)) {
    interfaces.add("IVideoFactory", entryValueOf<IVideoFactory>(this));
}

HostVideoFactory::~HostVideoFactory() {
    // Videos the module never closed go before the factory's own table.
    videos_.clear();
}

InterfaceTable* HostVideoFactory::open(const char* path) {
    if (!path || !*path) {
        lastError_ = "no file name";
        return nullptr;
    }
    try {
        std::string error;
        std::unique_ptr<FrameSource> source = opener_(path, error);
        if (!source) {
            lastError_ = std::string(path) + ": " + (error.empty() ? "cannot be opened" : error);
            return nullptr;
        }
        std::unique_ptr<HostVideo> video = HostVideo::create(std::move(source));
        if (!video) {
            lastError_ = std::string(path) + ": unusable frame size, no frames, or the first frame does not decode";
            return nullptr;
        }
        InterfaceTable* handle = video->handle();
        videos_.emplace(handle, std::move(video));
        return handle;
    } catch (const std::exception& failure) {
        // Exceptions stop here: the caller is the module, which has no way to meet them.
        lastError_ = std::string(path) + ": " + failure.what();
        return nullptr;
    }
}

void HostVideoFactory::close(InterfaceTable* video) {
    if (video) videos_.erase(video);
}

HostVideo* HostVideoFactory::videoOf(InterfaceTable* handle) {
    auto found = videos_.find(handle);
    return found == videos_.end() ? nullptr : found->second.get();
}

}  // namespace hostengine
