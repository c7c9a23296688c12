#include "host/core/frame_read_ahead.h"

namespace hostengine {

FrameReadAhead::FrameReadAhead(Decode decode) : decode_(std::move(decode)), thread_([this] { run(); }) {}

FrameReadAhead::~FrameReadAhead() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void FrameReadAhead::request(std::int32_t first, std::int32_t count) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        next_ = first;
        end_ = count > 0 ? first + count : first;
    }
    changed_.notify_all();
}

void FrameReadAhead::waitIdle() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return stopping_ || (!busy_ && next_ >= end_); });
}

void FrameReadAhead::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || next_ < end_; });
        if (stopping_) return;
        const std::int32_t frame = next_++;
        busy_ = true;
        lock.unlock();
        try {
            decode_(frame);
        } catch (...) {
            // A frame that cannot be decoded ahead is decoded when it is shown, or reported then.
        }
        lock.lock();
        busy_ = false;
        changed_.notify_all();
    }
}

}  // namespace hostengine
