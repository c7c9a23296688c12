#include "tools/pawnstage/pawn_frames.h"

namespace pawnstage {

int Findings::errors() const {
    int count = 0;
    for (const Finding& finding : list_) count += finding.error;
    return count;
}

int Findings::warnings() const { return static_cast<int>(list_.size()) - errors(); }

void Findings::print(std::FILE* to) const {
    for (const Finding& finding : list_)
        std::fprintf(to, "%s: %s: %s\n", finding.file.c_str(), finding.error ? "error" : "warning", finding.message.c_str());
}

std::int64_t PawnFrames::frameCount() const {
    std::int64_t count = 0;
    for (const FrameSequence& sequence : sequences) count += static_cast<std::int64_t>(sequence.frames.size());
    return count;
}

const FramePicture* PawnFrames::firstFrame() const {
    for (const FrameSequence& sequence : sequences)
        if (!sequence.frames.empty()) return &sequence.frames.front();
    return nullptr;
}

}  // namespace pawnstage
