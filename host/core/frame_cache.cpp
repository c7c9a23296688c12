#include "host/core/frame_cache.h"

#include <cstring>

namespace hostengine {

void FrameCache::setLimit(std::size_t limitBytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    limit_ = limitBytes;
    evictUntil(0);
}

std::size_t FrameCache::limit() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return limit_;
}

std::size_t FrameCache::bytesHeld() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return held_;
}

std::size_t FrameCache::framesHeld() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.size();
}

bool FrameCache::contains(const void* video, std::int32_t frame) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.count(Key(video, frame)) != 0;
}

bool FrameCache::fetch(const void* video, std::int32_t frame, const Pictures& to) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = entries_.find(Key(video, frame));
    if (found == entries_.end()) return false;
    const Entry& entry = found->second;
    if (entry.colourBytes != to.colourBytes || entry.bytes.size() != to.colourBytes + to.alphaBytes) return false;
    std::memcpy(to.colour, entry.bytes.data(), to.colourBytes);
    std::memcpy(to.alpha, entry.bytes.data() + to.colourBytes, to.alphaBytes);
    uses_.splice(uses_.begin(), uses_, found->second.use);
    return true;
}

void FrameCache::store(const void* video, std::int32_t frame, const Pictures& from) {
    const std::size_t bytes = from.colourBytes + from.alphaBytes;
    if (bytes > limit() || contains(video, frame)) return;
    // The copy is made before the lock: an allocation that fails leaves the cache as it was.
    Entry entry;
    entry.bytes.resize(bytes);
    std::memcpy(entry.bytes.data(), from.colour, from.colourBytes);
    std::memcpy(entry.bytes.data() + from.colourBytes, from.alpha, from.alphaBytes);
    entry.colourBytes = from.colourBytes;

    std::lock_guard<std::mutex> lock(mutex_);
    const Key key(video, frame);
    if (bytes > limit_ || entries_.count(key)) return;
    evictUntil(bytes);
    uses_.push_front(key);
    try {
        entry.use = uses_.begin();
        entries_.emplace(key, std::move(entry));
    } catch (...) {
        uses_.pop_front();
        throw;
    }
    held_ += bytes;
}

void FrameCache::forget(const void* video) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto at = entries_.lower_bound(Key(video, INT32_MIN)); at != entries_.end() && at->first.first == video;) {
        held_ -= at->second.bytes.size();
        uses_.erase(at->second.use);
        at = entries_.erase(at);
    }
}

void FrameCache::evictUntil(std::size_t room) {
    while (!uses_.empty() && held_ + room > limit_) {
        auto oldest = entries_.find(uses_.back());
        held_ -= oldest->second.bytes.size();
        entries_.erase(oldest);
        uses_.pop_back();
    }
}

}  // namespace hostengine
