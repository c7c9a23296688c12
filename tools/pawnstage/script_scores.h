// The scores a show script reaches, worked out before the show: a pawn keeps its score in 32 bits and
// wraps past them, which its counter cannot show, so a script whose sums leave that range is refused.
#pragma once

#include "tools/pawnstage/show_script.h"

namespace pawnstage {

// Follows every player's score and bonus through the cues in time order, as the pawn's scoring rules
// change them. Throws ScriptError at the first cue whose result leaves -2^31 .. 2^31 - 1.
void checkScores(const ShowScript& script);

}  // namespace pawnstage
