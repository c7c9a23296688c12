// Decoded video frames kept in memory, as the bitmaps hand them out (the RGB555 colour rows, then the
// alpha rows, both at the bitmaps' pitch), so that a pawn stepping back to a frame it showed before
// costs a copy instead of a decode. One cache serves every video of a factory and is bounded in bytes:
// the frame used longest ago goes first. Safe to use from a read-ahead thread beside the host's own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace hostengine {

// Four 150 x 200 pawns of about 250 frames (22 MB each) and the penguin: the bundled show whole.
constexpr std::size_t kDefaultVideoCacheBytes = std::size_t{128} << 20;

class FrameCache {
public:
    explicit FrameCache(std::size_t limitBytes = kDefaultVideoCacheBytes) : limit_(limitBytes) {}
    FrameCache(const FrameCache&) = delete;
    FrameCache& operator=(const FrameCache&) = delete;

    // A smaller limit evicts at once; 0 keeps nothing.
    void setLimit(std::size_t limitBytes);
    std::size_t limit() const;
    std::size_t bytesHeld() const;
    std::size_t framesHeld() const;

    // Where one frame's pixels lie: the colour picture's bytes and the alpha picture's bytes.
    struct Pictures {
        std::uint8_t* colour;
        std::size_t colourBytes;
        std::uint8_t* alpha;
        std::size_t alphaBytes;
    };

    bool contains(const void* video, std::int32_t frame) const;
    // Copies the frame into `to` and marks it used; false when the frame is not held or was stored
    // with other sizes.
    bool fetch(const void* video, std::int32_t frame, const Pictures& to);
    // Keeps a copy, evicting the least recently used frames to make room; a frame larger than the
    // whole limit is not kept.
    void store(const void* video, std::int32_t frame, const Pictures& from);
    // Drops every frame of a video (when it closes).
    void forget(const void* video);

private:
    using Key = std::pair<const void*, std::int32_t>;
    struct Entry {
        std::vector<std::uint8_t> bytes;  // colour, then alpha
        std::size_t colourBytes;
        std::list<Key>::iterator use;  // its place in uses_
    };

    void evictUntil(std::size_t room);  // with mutex_ held

    mutable std::mutex mutex_;
    std::size_t limit_;
    std::size_t held_ = 0;
    std::map<Key, Entry> entries_;
    std::list<Key> uses_;  // most recently used first
};

}  // namespace hostengine
