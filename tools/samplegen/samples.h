// The whole set of bundled sample content, written under one directory:
//
//   pawns/robot/, pawns/blob/          dual.avi + sequence.ini of the two sample pawns
//   producer/pingouin/                 dual.avi + sequence.ini of the penguin
//   producer/bonus01.avi .. bonus10.avi  one-frame bonus pictures
//   producer/scoresnd.wav
//   buzz1.wav .. buzz4.wav
//   scorefontphase
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

// A figure's dual.avi (its sequences end to end, in table order) and the sequence.ini that cuts it.
void writeFigure(const std::filesystem::path& directory, Character character, const std::vector<SequenceSpec>& sequences);

// Throws std::runtime_error (or a filesystem error) when something cannot be written.
void writeSamples(const std::filesystem::path& directory);

}  // namespace samplegen
