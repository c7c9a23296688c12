// The animations of the bundled figures: one entry per sequence a pawn (or the penguin) selects, with
// its frame count and the pose of each frame. Frame 0 is the pose a figure rests on after the run
// wraps, so it is the calm pose of each sequence (already frozen for "freeze", already beaming or
// sulking for the happy and unhappy ones, whose first frame is held while the reaction starts).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tools/samplegen/figures.h"

namespace samplegen {

struct SequenceSpec {
    std::string name;
    int frames;
    std::function<Pose(int frame, int frames)> pose;
};

// wait01..wait07, buzz01..buzz03, hppy01..hppy03, uhppy01..uhppy03, l_left, l_rght, freeze.
std::vector<SequenceSpec> pawnSequences();
// wait01..wait03, buzz01..buzz03, freeze.
std::vector<SequenceSpec> penguinSequences();

}  // namespace samplegen
