// The alpha-video sequence table: a pawn archive built in memory from the input (its listing, the
// names and "count@first" texts of the sequence table with any garbage, streams that read short or
// fail, a video of any frame count) is loaded as a KTAlphaVideo, whose sequences are then selected
// by names from the table and from the input and stepped through frame by frame.
//
// Run: build/fuzz/fuzz/sequence_table_fuzzer fuzz/corpus/sequence_table -max_total_time=600
#include "fuzz/fuzz_host.h"

using namespace fuzzhost;

namespace {

// Names the table is likely to hold and the pawn asks for, so that selections meet the table often.
const char* const kNames[] = {"wait01", "WAIT01", "buzz02", "hppy01", "uhppy03", "l_left", "freeze", "*", "", "wait0"};

std::string nameFrom(FuzzInput& in) {
    if (in.flag()) return kNames[in.below(sizeof kNames / sizeof *kNames)];
    return in.text(12);
}

// A "count@first" text, or garbage around it.
std::string sequenceText(FuzzInput& in) {
    switch (in.below(6)) {
        case 0: {
            const std::int32_t count = in.value();
            return std::to_string(count) + "@" + std::to_string(in.value());
        }
        case 1: {
            const std::int32_t count = in.range(0, 40);
            return std::to_string(count) + "@" + std::to_string(in.range(0, 40));
        }
        case 2: {
            const std::int32_t count = in.range(-5, 40);
            return " \t" + std::to_string(count) + "x@+" + std::to_string(in.range(-5, 40)) + "junk";
        }
        case 3: return std::string(in.range(100, 200), '9') + "@1";  // longer than the 127 bytes read
        case 4: return "@";
        default: return in.text(40);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return runInput(data, size, [](FuzzInput& in) {
        MemArchiveFactory archives;
        FakeVideoFactory videos;
        MemArchive rootArchive;

        // The table: entries in listing order, some repeated in another letter case.
        std::vector<SequenceText> table;
        const std::uint32_t entries = in.below(24);
        for (std::uint32_t i = 0; i < entries; ++i) table.push_back(SequenceText{nameFrom(in), sequenceText(in)});

        MemArchive* figure = rootArchive.addArchive("pawn");
        if (in.below(8) != 0) figure->add("dual.avi", "", "video", in.flag() ? "mem://dual.avi" : in.text(12));
        const std::uint32_t shape = in.below(6);
        MemArchive* ini = figure->addArchive("sequence.ini", shape == 1 ? OpenAs::Refused : shape == 2 ? OpenAs::NoFactory : OpenAs::Archive);
        MemArchive* color = shape == 3 ? ini->addArchive("colour") : ini->addArchive("color", shape == 4 ? OpenAs::Bare : OpenAs::Archive);
        for (const SequenceText& sequence : table) {
            MemArchive::Item& item = color->add(sequence.name, sequence.text);
            item.mode = readModeFrom(in);
            item.openFails = in.below(16) == 0;
            item.noInfo = in.below(16) == 0;
        }

        const std::int32_t frames = in.flag() ? in.range(0, 400) : in.value();
        FakeVideo video(frames, pointIn(in, -2, 20));
        if (in.below(8) != 0) videos.video = &video;

        MemRoot root(rootArchive);
        ResourceEntry* archive = root.findEntry(nullptr, "pawn", nullptr);
        KTAlphaVideo* figureVideo = create<KTAlphaVideo>(archive);
        // The pawn's own pattern: select, then set a frame and step through the run.
        for (int step = 0; figureVideo && step < 64 && !in.empty(); ++step) {
            switch (in.below(5)) {
                case 0: case 1:
                    figureVideo->selectSequence(in.below(3) == 0 ? nameFrom(in).c_str()
                                                                  : table.empty() ? "*" : table[in.below(static_cast<std::uint32_t>(table.size()))].name.c_str());
                    figureVideo->setFrame(in.range(0, 1));
                    break;
                case 2: {
                    const std::int32_t length = figureVideo->sequenceLength();
                    figureVideo->setFrame(length > 0 ? (figureVideo->currentFrame() + 1) % length : 0);
                    break;
                }
                case 3:
                    figureVideo->setFrame(in.value());
                    break;
                default: {
                    const std::int32_t x = in.value();
                    figureVideo->visible()->setPosition(x, in.value());
                    (void)boundsOf(figureVideo->visible());
                    break;
                }
            }
            require(figureVideo->currentFrame() >= 0, "a frame before the start of its sequence");
        }
        if (figureVideo) figureVideo->deletingDestructor(1);
        require(video.outOfRange == 0, "a seek or bitmap outside the video");
        require(videos.stillOpen() == 0, "a video left open");
    });
}
