#include "tools/samplegen/samples.h"

#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "tools/archive/alpha_avi_writer.h"
#include "tools/archive/archive_writer.h"
#include "tools/archive/frame_folder.h"
#include "tools/samplegen/icons.h"
#include "tools/samplegen/sounds.h"

namespace samplegen {

namespace fs = std::filesystem;

namespace {

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out) throw std::runtime_error(path.string() + ": cannot write");
}

}  // namespace

const std::vector<SamplePawn>& samplePawns() {
    static const std::vector<SamplePawn> pawns = {{"robot", Character::Robot}, {"blob", Character::Blob}};
    return pawns;
}

void writeFigure(const fs::path& directory, Character character, const std::vector<SequenceSpec>& sequences, const fs::path& frames) {
    pawnarchive::ArchiveWriter archive(directory, kFrameWidth, kFrameHeight);
    for (const SequenceSpec& sequence : sequences) {
        archive.beginSequence(sequence.name);
        for (int frame = 0; frame < sequence.frames; ++frame) {
            const std::vector<std::uint8_t> bgra = drawFigure(character, sequence.pose(frame, sequence.frames)).toBgra();
            archive.addFrame(bgra);
            if (!frames.empty()) pawnarchive::writeFrameFile(frames, sequence.name, frame, kFrameWidth, kFrameHeight, bgra);
        }
    }
    archive.commit();
}

void writeSamples(const fs::path& out, const fs::path& frames) {
    fs::create_directories(out / "pawns");
    // Frames of an earlier run would mix with these: a sequence folder holds its frames only.
    if (!frames.empty()) fs::remove_all(frames);
    fs::create_directories(out / "producer");

    for (const SamplePawn& pawn : samplePawns())
        writeFigure(out / "pawns" / pawn.name, pawn.character, pawnSequences(), pawn.character == kFramesFigure ? frames : fs::path());
    writeFigure(out / "producer" / "pingouin", Character::Penguin, penguinSequences());

    for (int number = 1; number <= 10; ++number) {
        char name[16];
        std::snprintf(name, sizeof name, "bonus%02d.avi", number);
        pawnarchive::writeAlphaAvi((out / "producer" / name).string(), kIconSize, kIconSize, {drawBonusIcon(number).toBgra()});
    }

    for (int number = 1; number <= 4; ++number) writeWav((out / ("buzz" + std::to_string(number) + ".wav")).string(), buzzerSound(number));
    writeWav((out / "producer" / "scoresnd.wav").string(), scoreSound());
    // Phase 2: the score drawn with the outline pass under the plain one.
    writeText(out / "scorefontphase", "2\n");
}

}  // namespace samplegen
