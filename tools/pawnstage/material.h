// What pack, unpack and sheet share: reading an artist's material with a progress bar, and telling
// the findings and the outcome in the same words.
#pragma once

#include <filesystem>
#include <string>

#include "tools/pawnstage/frame_sources.h"

namespace pawnstage {

enum class MaterialKind { FrameFolder, CutVideo, Archive };

struct Material {
    MaterialKind kind = MaterialKind::FrameFolder;
    std::filesystem::path path;  // the folder, the video or the archive
    std::filesystem::path cuts;  // the cut list of a video
};

// Reads it, drawing a bar on stderr while frames come in unless `quiet`.
PawnFrames readMaterial(const Material& material, Findings& findings, bool quiet = false);

// "N sequences, M frames of W x H"
std::string describeFrames(const PawnFrames& frames);

// Sequence names become file and folder names (unpack, GIFs): an error for each that would not name
// exactly one entry of the folder written ("", ".", "..", a slash).
void requirePlainNames(const PawnFrames& frames, Findings& findings);

// Prints the findings and, when there are errors, the line saying nothing was written. True when
// the command may go on (no errors).
bool reportFindings(const char* command, const Findings& findings);

// The argument after an option, or a UsageError.
std::string optionValue(int argc, char** argv, int& i);

}  // namespace pawnstage
