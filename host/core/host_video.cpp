#include "host/core/host_video.h"

#include <algorithm>
#include <cstring>

namespace hostengine {

namespace {

// Reading ahead stops short of this: beyond a second of a pawn's stepping it would only fill the
// cache with frames that a change of sequence makes useless.
constexpr std::int32_t kMostReadAhead = 12;

}  // namespace

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

std::unique_ptr<HostVideo> HostVideo::create(std::unique_ptr<FrameSource> source, FrameKeeping keeping) {
    if (!source) return nullptr;
    std::int32_t width = source->width(), height = source->height();
    if (width <= 0 || height <= 0 || width > kMaxVideoSide || height > kMaxVideoSide || source->frameCount() <= 0) return nullptr;
    std::unique_ptr<HostVideo> video(new HostVideo(std::move(source), keeping));
    if (!video->show(0)) return nullptr;
    return video;
}

HostVideo::HostVideo(std::unique_ptr<FrameSource> source, FrameKeeping keeping) : source_(std::move(source)), keeping_(keeping) {
    std::int32_t width = source_->width(), height = source_->height();
    colour_ = std::make_unique<MemoryBitmap>(width, height, 16);
    alpha_ = std::make_unique<MemoryBitmap>(width, height, 8);
    frame_.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    if (!keeping_.cache) keeping_.readAhead = 0;
    keeping_.readAhead = std::min(std::max(keeping_.readAhead, 0), kMostReadAhead);
    if (keeping_.readAhead > 0) {
        aheadFrame_.resize(frame_.size());
        aheadColour_ = std::make_unique<MemoryBitmap>(width, height, 16);
        aheadAlpha_ = std::make_unique<MemoryBitmap>(width, height, 8);
    }
    interfaces.add("IVideo", entryValueOf<IVideo>(this));
}

HostVideo::~HostVideo() {
    readAhead_.reset();
    if (keeping_.cache) keeping_.cache->forget(this);
    interfaces.teardown();
}

FrameCache::Pictures HostVideo::pictures(MemoryBitmap& colour, MemoryBitmap& alpha) const {
    auto bytesOf = [](const MemoryBitmap& bitmap) { return static_cast<std::size_t>(bitmap.pitch()) * static_cast<std::size_t>(bitmap.height()); };
    return FrameCache::Pictures{colour.row(0), bytesOf(colour), alpha.row(0), bytesOf(alpha)};
}

bool HostVideo::show(std::int32_t frame) {
    if (frame < 0 || frame >= source_->frameCount()) return false;
    if (frame == current_) return true;
    const FrameCache::Pictures shown = pictures(*colour_, *alpha_);
    if (!keeping_.cache || !keeping_.cache->fetch(this, frame, shown)) {
        {
            std::lock_guard<std::mutex> lock(sourceMutex_);
            if (!source_->readFrame(frame, frame_.data())) return false;
        }
        splitFrame(frame_.data(), *colour_, *alpha_);
        try {
            if (keeping_.cache) keeping_.cache->store(this, frame, shown);
        } catch (...) {
            // Out of memory for the cache: the frame is shown all the same and decoded again next time.
        }
    }
    current_ = frame;
    return true;
}

void HostVideo::readAheadFrom(std::int32_t frame) {
    // Frames read ahead live only in the cache: with it off they would be decoded for nothing.
    if (keeping_.readAhead <= 0 || frame >= source_->frameCount() || keeping_.cache->limit() == 0) return;
    try {
        if (!readAhead_) readAhead_ = std::make_unique<FrameReadAhead>([this](std::int32_t ahead) { decodeAhead(ahead); });
    } catch (...) {
        keeping_.readAhead = 0;  // no thread to be had: the video decodes as it moves, as without a cache
        return;
    }
    readAhead_->request(frame, std::min(keeping_.readAhead, source_->frameCount() - frame));
}

void HostVideo::decodeAhead(std::int32_t frame) {
    if (keeping_.cache->contains(this, frame)) return;
    {
        std::lock_guard<std::mutex> lock(sourceMutex_);
        if (!source_->readFrame(frame, aheadFrame_.data())) return;
    }
    splitFrame(aheadFrame_.data(), *aheadColour_, *aheadAlpha_);
    keeping_.cache->store(this, frame, pictures(*aheadColour_, *aheadAlpha_));
}

void HostVideo::waitForReadAhead() {
    if (readAhead_) readAhead_->waitIdle();
}

// The module calls these; nothing may escape into it.
// Only a move reads ahead: opening a video (to take one picture of it, say) starts no thread.
std::int32_t HostVideo::seek(std::int32_t frame) {
    try {
        if (!show(frame)) return 0;
        readAheadFrom(frame + 1);
        return 1;
    } catch (...) {
        return 0;
    }
}

std::int32_t HostVideo::next() {
    try {
        if (!show(current_ + 1)) return 0;
        readAheadFrom(current_ + 1);
        return 1;
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
        std::unique_ptr<HostVideo> video = HostVideo::create(std::move(source), FrameKeeping{&cache_, readAhead_});
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
