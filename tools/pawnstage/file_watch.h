// What `pawnstage play --watch` looks at: a digest of a file or of every file below a directory
// (names, sizes, modification times), and where a pawn's archive lies among the samples.
#pragma once

#include <cstdint>
#include <string>

namespace pawnstage {

// 0 for a path that does not exist; anything else changes when a file is written, added, removed
// or renamed.
std::uint64_t fileDigest(const std::string& path);

// The directory of the archive the pawn factory finds for `name` below `samplesDir`: the first
// directory of that name (without regard to letter case) in path order. "" when there is none.
std::string archiveDirectory(const std::string& samplesDir, const std::string& name);

}  // namespace pawnstage
