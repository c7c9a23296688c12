// What the stage tells its user at the start of a show when the module would stay silent or speak
// only of the consequence: shared media the producer lacks, a pawn archive without its video, a search
// of the samples directory cut short.
#pragma once

#include <string>
#include <vector>

#include "host/core/host_engine.h"
#include "host/core/producer.h"
#include "tools/pawnstage/show_script.h"

namespace pawnstage {

// The producer's gaps that the show can meet: with `everything` (a show driven by keys) all of them,
// else those the script's cues reach. `mediaDir` is the producer's directory, shown as named.
std::vector<std::string> producerNotes(const ShowScript& script, bool everything, const std::string& mediaDir,
                                       hostengine::Producer& producer);

// What the log of one pawn's creation shows went wrong in its archive. `directories` are the
// directories the host opened meanwhile: the pawn's archive is among them.
std::vector<std::string> pawnNotes(const PlayerSlot& slot, const std::vector<hostengine::LogLine>& creation,
                                   const std::vector<std::string>& directories);

}  // namespace pawnstage
