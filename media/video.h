// The module's wrapper of one host video: opened by a named host factory from a resource entry's
// locator, stepped frame by frame (the cheap "next" for the following frame, a seek otherwise).
#pragma once

#include <cstdint>

#include "core/abi.h"

class Video {
public:
    // Opens the video named by the rest of `entry`'s locator after "://" with the factory registered
    // as `factoryName`. A video that cannot be opened is inert: no frames, no bitmaps (logged).
    Video(ResourceEntry* entry, const char* factoryName);
    Video(const Video&) = delete;
    Video& operator=(const Video&) = delete;

    virtual void* deletingDestructor(unsigned flags);  // closes the host video; frees the object when flags & 1; this

    // Moves to `target`: 1 when already there or moved, 0 outside the video (nothing changes then),
    // and for the frame right after the current one the host's result of stepping there.
    std::int32_t seekFrame(std::int32_t target);
    // The handle of bitmap `index` (holding "IBitmap"), or null outside 0 .. bitmapCount - 1.
    InterfaceTable* bitmap(std::int32_t index);

    ResourceEntry* entry = nullptr;             // not owned
    IVideoFactory* videoFactory = nullptr;      // not owned
    InterfaceTable* handle = nullptr;           // the host video, closed through videoFactory
    IVideo* player = nullptr;
    const char* path = nullptr;                 // into the entry's locator, past the first "://"
    std::int32_t frameCount = 0;
    std::int32_t bitmapCount = 0;
    std::int32_t frame = 0;                     // the module's own record of the current frame
    Point size;                                 // frame size: width, height

protected:
    ~Video();
    void close();  // gives the host video back; a derived video closes it before its own teardown
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(Video) == 44, "hosts make the penguin's video in this layout (see core/abi.h)");
#endif
