// The producer's shared media under a game's resource root, as the reference host's producer takes
// them from its "producer" directory: the score sound, the penguin and the ten bonus pictures.
#pragma once

#include <string>
#include <vector>

#include "tools/pawnstage/check_archive.h"

namespace pawnstage {

// `root` is the resource root on disk, `rootShown` as the user named it. The penguin is checked as
// `pawnstage check --penguin` would, its results named "pingouin ...". Nothing without a "producer"
// directory.
void checkProducer(const std::string& root, const std::string& rootShown, std::vector<CheckResult>& results);

}  // namespace pawnstage
