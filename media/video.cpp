#include "media/video.h"

#include <cstring>

#include "core/allocator.h"
#include "module/services.h"

Video::Video(ResourceEntry* entry_, const char* factoryName) : entry(entry_) {
    videoFactory = hostInterface<IVideoFactory>(factoryName, "IVideoFactory");
    if (!videoFactory) {
        logLine(3, "Video: No VideoFactory %s found.\n", factoryName ? factoryName : "");
        return;
    }
    const char* locator = entry ? entry->locator : nullptr;
    const char* scheme = locator ? std::strstr(locator, "://") : nullptr;
    if (!scheme) {
        logLine(3, "Video: Locator '%s' names no file.\n", locator ? locator : "");
        return;
    }
    path = scheme + 3;
    handle = videoFactory->open(path);
    if (!handle) {
        logLine(3, "Video: VideoFactory %s is unable to open '%s'.\n", factoryName, path);
        return;
    }
    player = handle->find<IVideo>("IVideo");
    if (!player) {
        logLine(3, "Video: Video '%s' has no IVideo.\n", path);
        return;
    }
    bitmapCount = player->bitmapCount();
    frameCount = player->frameCount();
    size = sizeOf(player);
}

Video::~Video() { close(); }

void Video::close() {
    if (videoFactory && handle) videoFactory->close(handle);
    handle = nullptr;
    player = nullptr;
}

void* Video::deletingDestructor(unsigned flags) {
    this->~Video();
    if (flags & 1) freeBytes(this);
    return this;
}

std::int32_t Video::seekFrame(std::int32_t target) {
    if (target == frame) return 1;
    // Frames before the first or past the last are never asked of the host, also not when a sequence
    // table's numbers point there; an inert video has no frames at all.
    if (!player || target < 0 || static_cast<std::int64_t>(target) > static_cast<std::int64_t>(frameCount) - 1) return 0;
    if (static_cast<std::int64_t>(target) == static_cast<std::int64_t>(frame) + 1) {
        frame = target;
        return player->next();
    }
    player->seek(target);
    frame = target;
    return 1;
}

InterfaceTable* Video::bitmap(std::int32_t index) {
    if (!player || index < 0 || static_cast<std::int64_t>(index) > static_cast<std::int64_t>(bitmapCount) - 1) return nullptr;
    return player->bitmap(index);
}
