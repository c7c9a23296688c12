#include "tools/archive/archive_writer.h"

#include <fstream>
#include <stdexcept>

namespace pawnarchive {

namespace fs = std::filesystem;

bool isArchiveFile(const std::string& name) { return name == "dual.avi" || name == "sequence.ini" || name == "scorefontphase"; }

ArchiveWriter::ArchiveWriter(const fs::path& directory, int width, int height)
    : staging_(directory, isArchiveFile),
      video_(std::make_unique<AlphaAviWriter>((staging_.path() / "dual.avi").string(), width, height)) {}

ArchiveWriter::~ArchiveWriter() = default;

void ArchiveWriter::beginSequence(const std::string& name) { runs_.emplace_back(name, 0); }

void ArchiveWriter::addFrame(const std::vector<std::uint8_t>& bgra) {
    if (runs_.empty()) throw std::logic_error("a frame before its sequence");
    video_->addFrame(bgra);
    ++runs_.back().second;
}

std::string sequenceTable(const std::vector<std::pair<std::string, int>>& namesAndCounts) {
    std::string table = "; The runs of dual.avi a pawn selects by name: name=count@first (one frame every 83 ms)\n[color]\n";
    int first = 0;
    for (const auto& [name, count] : namesAndCounts) {
        table += name + "=" + std::to_string(count) + "@" + std::to_string(first) + "\n";
        first += count;
    }
    return table;
}

namespace {

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    if (!out) throw std::runtime_error(path.string() + ": cannot write");
}

}  // namespace

void ArchiveWriter::commit() {
    video_->finish();
    video_.reset();
    writeText(staging_.path() / "sequence.ini", sequenceTable(runs_));
    if (scorePhase_) writeText(staging_.path() / "scorefontphase", *scorePhase_);
    staging_.publish();
}

}  // namespace pawnarchive
