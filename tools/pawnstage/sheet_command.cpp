// pawnstage sheet: an archive's contact sheet as a PNG picture, and its sequences as looping GIFs.
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "tools/pawnstage/commands.h"
#include "tools/pawnstage/contact_sheet.h"
#include "tools/pawnstage/material.h"
#include "tools/pawnstage/options.h"
#include "tools/pawnstage/sequence_gif.h"

namespace pawnstage {

namespace fs = std::filesystem;

namespace {

const char* const kSheetUsage =
    "usage: pawnstage sheet ARCHIVE [--out sheet.png] [--gif DIR]\n"
    "\n"
    "Draws one row per sequence of the archive (its name, count and first frame) with its frames at\n"
    "their real size over the stage's background, frame numbers under them and the frames a pawn holds\n"
    "marked. --gif writes DIR/<sequence>.gif for every sequence, looping at the pawn's 83 ms a frame.\n";

}  // namespace

int runSheetCommand(int argc, char** argv) {
    std::string archive, out, gifs;
    try {
        for (int i = 0; i < argc; ++i) {
            const std::string argument = argv[i];
            if (argument == "--help" || argument == "-h") {
                std::fputs(kSheetUsage, stdout);
                return 0;
            }
            if (argument == "--out") out = optionValue(argc, argv, i);
            else if (argument == "--gif") gifs = optionValue(argc, argv, i);
            else if (argument.size() > 1 && argument[0] == '-') throw UsageError("unknown option '" + argument + "'");
            else if (archive.empty()) archive = argument;
            else throw UsageError("one archive at a time; found '" + archive + "' and '" + argument + "'");
        }
        if (archive.empty()) throw UsageError("no archive given");
    } catch (const UsageError& error) {
        std::fprintf(stderr, "pawnstage sheet: %s\n%s", error.what(), kSheetUsage);
        return 2;
    }
    if (out.empty() && gifs.empty()) out = "sheet.png";

    Findings findings;
    const PawnFrames frames = readMaterial(Material{MaterialKind::Archive, archive, {}}, findings);
    if (!gifs.empty()) requirePlainNames(frames, findings);
    if (!reportFindings("sheet", findings)) return 1;
    try {
        if (!out.empty()) {
            writeContactSheet(out, frames, sheetTitle(archive, frames));
            std::printf("%s\n", out.c_str());
        }
        if (!gifs.empty())
            for (const fs::path& gif : writeSequenceGifs(frames, gifs)) std::printf("%s\n", gif.string().c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "pawnstage sheet: %s\n", error.what());
        return 1;
    }
    return 0;
}

}  // namespace pawnstage
