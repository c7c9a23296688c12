// A thread that decodes the frames after the one a video was moved to, so that a pawn stepping
// through its sequence finds them decoded when it gets there. What it decodes goes into the frame
// cache; a newer request replaces an older one that is not done yet.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace hostengine {

class FrameReadAhead {
public:
    // Decodes one frame into the cache unless it is there already. Runs on the read-ahead thread.
    using Decode = std::function<void(std::int32_t frame)>;

    explicit FrameReadAhead(Decode decode);
    ~FrameReadAhead();  // abandons what is left and waits for the frame under way
    FrameReadAhead(const FrameReadAhead&) = delete;
    FrameReadAhead& operator=(const FrameReadAhead&) = delete;

    // Frames first .. first + count - 1, in order.
    void request(std::int32_t first, std::int32_t count);
    // Returns once every requested frame has been decoded (for tests and benchmarks that want the
    // thread quiet).
    void waitIdle();

private:
    void run();

    Decode decode_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::int32_t next_ = 0;   // the next frame to decode
    std::int32_t end_ = 0;    // one past the last requested
    bool busy_ = false;       // a frame is being decoded
    bool stopping_ = false;
    std::thread thread_;      // last: starts once everything above is set up
};

}  // namespace hostengine
