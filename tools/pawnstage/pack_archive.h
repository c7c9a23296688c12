// pack as a whole, without its command line: what the command and the benchmark run.
#pragma once

#include <filesystem>

#include "tools/pawnstage/material.h"
#include "tools/pawnstage/pawn_frames.h"

namespace pawnstage {

// The whole of pack without its command line: reads the material, judges it and, when nothing is
// wrong beyond warnings, writes the archive (drawing progress on stderr unless `quiet`). False when
// there were errors; nothing is written then. Throws std::runtime_error when writing fails.
bool packArchive(const Material& material, bool penguin, const std::filesystem::path& out, Findings& findings, PawnFrames& frames,
                 bool quiet = false);

}  // namespace pawnstage
