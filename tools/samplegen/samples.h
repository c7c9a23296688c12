// The whole set of bundled sample content, written under one directory:
//
//   pawns/robot/, pawns/blob/          dual.avi + sequence.ini of the two sample pawns
//   producer/pingouin/                 dual.avi + sequence.ini of the penguin
//   producer/bonus01.avi .. bonus10.avi  one-frame bonus pictures
//   producer/scoresnd.wav
//   buzz1.wav .. buzz4.wav
//   scorefontphase
//   and, when asked, the blob's frames as PNG files: <frames>/wait01/0000.png, ...
//
// Everything comes from code and constants: the same bytes on every run.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/samplegen/figures.h"
#include "tools/samplegen/sequences.h"

namespace samplegen {

// The sample pawns: archive name and character.
struct SamplePawn {
    const char* name;
    Character character;
};
const std::vector<SamplePawn>& samplePawns();

// The pawn whose frames are also written as PNG files, for authors to try the archive tools on.
constexpr Character kFramesFigure = Character::Blob;

// A figure's dual.avi (its sequences end to end, in table order) and the sequence.ini that cuts it;
// with `frames`, also one PNG per frame in one folder per sequence below it.
void writeFigure(const std::filesystem::path& directory, Character character, const std::vector<SequenceSpec>& sequences,
                 const std::filesystem::path& frames = {});

// Throws std::runtime_error (or a filesystem error) when something cannot be written. With `frames`,
// the frames of kFramesFigure go there as PNG files too.
void writeSamples(const std::filesystem::path& directory, const std::filesystem::path& frames = {});

}  // namespace samplegen
