// A pawn's figure: one alpha video ("dual.avi") cut into named runs of frames read from the archive's
// sequence table ("sequence.ini/color"). The producer's penguin is one too, so the layout is shared:
// primary part, visible part, interfaces, video, sequences, current, frameCount.
#pragma once

#include <cstdint>

#include "core/abi.h"

class DualVideo;

// One named run of consecutive video frames; a node of the KTAlphaVideo's list.
struct Sequence {
    char* name;             // heap copy, owned; compared without regard to ASCII case
    std::int32_t first;     // absolute video frame at which the run starts
    std::int32_t count;     // frames in the run
    std::int32_t position;  // current frame within the run, 0-based
    Sequence* next;
};

// The primary part of a KTAlphaVideo: a table holding only the deleting destructor.
struct KTAlphaVideoPrimary {
    virtual void* deletingDestructor(unsigned flags) = 0;

protected:
    ~KTAlphaVideoPrimary() = default;
};

class KTAlphaVideo : public KTAlphaVideoPrimary, public IVisible {
public:
    // `archive` is the pawn's archive entry as a search of the resource tree returned it. Without
    // "dual.avi" the object has no video, no sequences and nothing current, and draws nothing.
    explicit KTAlphaVideo(ResourceEntry* archive);
    KTAlphaVideo(const KTAlphaVideo&) = delete;
    KTAlphaVideo& operator=(const KTAlphaVideo&) = delete;

    void* deletingDestructor(unsigned flags) override;  // frees the object when flags & 1; this

    std::int32_t selectSequence(const char* name);  // 1 when found (its position restarts at 0), else 0
    std::int32_t sequenceLength();                  // frames of the current sequence; 0 without one
    // Moves to frame `index` of the current sequence. An index at or past the end returns the length
    // and changes nothing; a negative one returns 0 and changes nothing.
    std::int32_t setFrame(std::int32_t index);
    std::int32_t currentFrame();                    // position within the current sequence; 0 without one

    IVisible* visible() { return this; }
    InterfaceTable* handle() { return &interfaces; }

    // IVisible: forwarded to the video; without a video nothing is drawn and the bounds are empty.
    void draw(Canvas* canvas) override;
    Rect* bounds(Rect* result) override;
    std::int32_t isHidden() override;
    void setPosition(std::int32_t x, std::int32_t y) override;

    InterfaceTable interfaces;       // "IVisible"
    DualVideo* video = nullptr;      // owned; null when "dual.avi" was not found
    Sequence* sequences = nullptr;   // owned list: table entries in reverse listing order, "*" last
    Sequence* current = nullptr;     // one of the list, or null until a sequence is selected
    std::int32_t frameCount = 0;     // frames of the video, set only when it exists

protected:
    ~KTAlphaVideo();

private:
    void readSequenceTable(ResourceDir* archiveDir, ResourceEntry* table);
    bool addSequence(const char* name, std::int32_t first, std::int32_t count);
};

// Destroys and frees a KTAlphaVideo made with create<KTAlphaVideo>; nothing for null.
inline void destroyAlphaVideo(KTAlphaVideo* video) {
    if (video) video->deletingDestructor(1);
}

#if UINTPTR_MAX == 0xFFFFFFFFu
// Hosts make penguins in this layout (see core/abi.h).
static_assert(sizeof(Sequence) == 20 && sizeof(KTAlphaVideo) == 36);
#endif
