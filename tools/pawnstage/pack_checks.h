// What a pawn would get wrong with an artist's frames, judged before anything is written: frame
// sizes, alpha, the sequences a pawn (or the penguin) selects, empty sequences, the score's phase.
#pragma once

#include "tools/pawnstage/pawn_frames.h"

namespace pawnstage {

// Puts the sequences in the order a pawn's table lists them (the ones it selects first, in their
// order, then any others by name) and adds what is wrong to `findings`.
void judgeFrames(PawnFrames& frames, bool penguin, Findings& findings);

// A frame without a transparent pixel.
bool fullyOpaque(const FramePicture& picture);

}  // namespace pawnstage
