// samplegen OUTPUT_DIR: draws and writes the bundled sample content, the same bytes on every run.
//
//   OUTPUT_DIR/pawns/<name>/dual.avi, sequence.ini   the pawns "robot" and "blob"
//   OUTPUT_DIR/producer/pingouin/dual.avi, sequence.ini
//   OUTPUT_DIR/producer/bonus01.avi .. bonus10.avi   one-frame bonus pictures
//   OUTPUT_DIR/producer/scoresnd.wav
//   OUTPUT_DIR/buzz1.wav .. buzz4.wav
//   OUTPUT_DIR/scorefontphase
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/samplegen/avi_encoder.h"
#include "tools/samplegen/figures.h"
#include "tools/samplegen/icons.h"
#include "tools/samplegen/sequences.h"
#include "tools/samplegen/sounds.h"

namespace fs = std::filesystem;
using namespace samplegen;

namespace {

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out) throw std::runtime_error(path.string() + ": cannot write");
}

// The figure's video, its sequences laid end to end in table order, and the table that cuts it.
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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: samplegen OUTPUT_DIR\n");
        return 2;
    }
    try {
        const fs::path out = argv[1];
        fs::create_directories(out / "pawns");
        fs::create_directories(out / "producer");

        writeFigure(out / "pawns" / "robot", Character::Robot, pawnSequences());
        writeFigure(out / "pawns" / "blob", Character::Blob, pawnSequences());
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
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "samplegen: %s\n", failure.what());
        return 1;
    }
    return 0;
}
