#include "media/alpha_video.h"

#include <cstring>

#include "core/allocator.h"
#include "core/decimal.h"
#include "core/names.h"
#include "media/dual_video.h"
#include "module/services.h"
#include "resources/entry_list.h"
#include "resources/resource_dir.h"

KTAlphaVideo::KTAlphaVideo(ResourceEntry* archive) {
    interfaces.add("IVisible", entryValueOf<IVisible>(this));
    ResourceDir* archiveDir = (archive && archive->owner) ? archive->owner->subDir(archive) : nullptr;
    if (!archiveDir) return;
    ResourceEntry* table = archiveDir->find("sequence.ini/color");
    ResourceEntry* dual = archiveDir->find("dual.avi");
    if (!dual) return;
    video = create<DualVideo>(dual);
    if (!video) return;
    frameCount = video->frameCount;
    addSequence("*", 0, frameCount);
    if (table) readSequenceTable(archiveDir, table);
    selectSequence("*");
}

KTAlphaVideo::~KTAlphaVideo() {
    if (video) video->deletingDestructor(1);
    video = nullptr;
    while (sequences) {
        Sequence* next = sequences->next;
        freeBytes(sequences->name);
        freeBytes(sequences);
        sequences = next;
    }
    current = nullptr;
    interfaces.teardown();
}

void* KTAlphaVideo::deletingDestructor(unsigned flags) {
    this->~KTAlphaVideo();
    if (flags & 1) freeBytes(this);
    return this;
}

bool KTAlphaVideo::addSequence(const char* name, std::int32_t first, std::int32_t count) {
    auto* node = static_cast<Sequence*>(allocateBytes(sizeof(Sequence)));
    char* copy = copyString(name ? name : "");
    if (!node || !copy) {
        freeBytes(node);
        freeBytes(copy);
        return false;
    }
    *node = Sequence{copy, first, count, 0, sequences};
    sequences = node;
    return true;
}

void KTAlphaVideo::readSequenceTable(ResourceDir* archiveDir, ResourceEntry* table) {
    ResourceDir* tableDir = archiveDir->subDir(table);
    if (!tableDir) return;
    EntryList children(tableDir);
    while (ResourceEntry* child = children.next()) {
        // 127 of 128 bytes: the text always ends in a NUL however long the value is.
        char text[128];
        std::memset(text, 0, sizeof text);
        tableDir->read(child, text, sizeof text - 1);
        char* at = std::strchr(text, '@');
        if (!at) continue;
        *at = '\0';
        // Each entry goes in front, so a later entry of the same name shadows an earlier one.
        addSequence(child->name, decimalValue(at + 1), decimalValue(text));
    }
    children.clear();
}

std::int32_t KTAlphaVideo::selectSequence(const char* name) {
    for (Sequence* node = sequences; node; node = node->next) {
        if (sameName(node->name, name)) {
            current = node;
            current->position = 0;
            return 1;
        }
    }
    logLine(3, "KTAlphaVideo: Sequence '%s' not found.\n", name ? name : "");
    return 0;
}

std::int32_t KTAlphaVideo::sequenceLength() { return current ? current->count : 0; }

std::int32_t KTAlphaVideo::currentFrame() { return current ? current->position : 0; }

std::int32_t KTAlphaVideo::setFrame(std::int32_t index) {
    const std::int32_t length = sequenceLength();
    if (index >= length) return length;
    if (index < 0) return 0;
    current->position = index;
    // A table may place a run anywhere; a frame number that leaves the 32-bit range lies beyond the video.
    const std::int64_t target = static_cast<std::int64_t>(current->first) + index;
    if (!video || target > INT32_MAX || target < 0) return 0;
    return video->seekFrame(static_cast<std::int32_t>(target));
}

void KTAlphaVideo::draw(Canvas* canvas) {
    if (video) video->visible()->draw(canvas);
}

Rect* KTAlphaVideo::bounds(Rect* result) {
    if (video) return video->visible()->bounds(result);
    *result = Rect();
    return result;
}

std::int32_t KTAlphaVideo::isHidden() { return video ? video->visible()->isHidden() : 0; }

void KTAlphaVideo::setPosition(std::int32_t x, std::int32_t y) {
    if (video) video->visible()->setPosition(x, y);
}
