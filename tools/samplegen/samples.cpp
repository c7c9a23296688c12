#include "tools/samplegen/samples.h"

#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "tools/samplegen/avi_encoder.h"
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

void writeFigure(const fs::path& directory, Character character, const std::vector<SequenceSpec>& sequences) {
    fs::create_directories(directory);
    AlphaAviWriter video((directory / "dual.avi").string(), kFrameWidth, kFrameHeight);
    std::string table = "; The runs of dual.avi a pawn selects by name: name=count@first (one frame every 83 ms)\n[color]\n";
    int first = 0;
    for (const SequenceSpec& sequence : sequences) {
        for (int frame = 0; frame < sequence.frames; ++frame) video.addFrame(drawFigure(character, sequence.pose(frame, sequence.frames)).toBgra());
        table += sequence.name + "=" + std::to_string(sequence.frames) + "@" + std::to_string(first) + "\n";
        first += sequence.frames;
    }
    video.finish();
    writeText(directory / "sequence.ini", table);
}

void writeSamples(const fs::path& out) {
    fs::create_directories(out / "pawns");
    fs::create_directories(out / "producer");

    for (const SamplePawn& pawn : samplePawns()) writeFigure(out / "pawns" / pawn.name, pawn.character, pawnSequences());
    writeFigure(out / "producer" / "pingouin", Character::Penguin, penguinSequences());

    for (int number = 1; number <= 10; ++number) {
        char name[16];
        std::snprintf(name, sizeof name, "bonus%02d.avi", number);
        writeAlphaAvi((out / "producer" / name).string(), kIconSize, kIconSize, {drawBonusIcon(number).toBgra()});
    }

    for (int number = 1; number <= 4; ++number) writeWav((out / ("buzz" + std::to_string(number) + ".wav")).string(), buzzerSound(number));
    writeWav((out / "producer" / "scoresnd.wav").string(), scoreSound());
    // Phase 2: the score drawn with the outline pass under the plain one.
    writeText(out / "scorefontphase", "2\n");
}

}  // namespace samplegen
