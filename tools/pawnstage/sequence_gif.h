// One looping GIF per sequence, at the pawn's frame pace (83 ms), each frame over the stage's
// background as the contact sheet shows it: the sequences as they move.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/pawnstage/pawn_frames.h"

namespace pawnstage {

// Writes DIR/<sequence>.gif for every sequence with frames and returns the files written. Throws
// std::runtime_error naming the file that cannot be written.
std::vector<std::filesystem::path> writeSequenceGifs(const PawnFrames& frames, const std::filesystem::path& directory);

}  // namespace pawnstage
