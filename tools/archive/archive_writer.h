// Writes one pawn archive: "dual.avi" (the frames of every sequence end to end, lossless, every frame
// a key frame) and "sequence.ini", whose [color] section cuts it into the sequences in the order they
// were written, and "scorefontphase" when one is given. The archive appears only when it is complete.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/archive/alpha_avi_writer.h"
#include "tools/archive/staging_dir.h"

namespace pawnarchive {

// The files an archive folder holds; a folder holding only these may be replaced by a new archive.
bool isArchiveFile(const std::string& name);

class ArchiveWriter {
public:
    // Throws std::runtime_error naming the file when `directory` cannot be written or holds other files.
    ArchiveWriter(const std::filesystem::path& directory, int width, int height);
    ~ArchiveWriter();  // without commit: nothing is left behind

    void beginSequence(const std::string& name);
    void addFrame(const std::vector<std::uint8_t>& bgra);  // of the current sequence; width * height * 4 bytes
    void setScorePhase(const std::string& text) { scorePhase_ = text; }
    // Finishes both files and moves the archive into place. Throws std::runtime_error.
    void commit();

private:
    StagingDir staging_;
    std::unique_ptr<AlphaAviWriter> video_;
    std::vector<std::pair<std::string, int>> runs_;  // name and frame count, in the order written
    std::optional<std::string> scorePhase_;
};

// The sequence.ini text for runs written end to end in this order.
std::string sequenceTable(const std::vector<std::pair<std::string, int>>& namesAndCounts);

}  // namespace pawnarchive
