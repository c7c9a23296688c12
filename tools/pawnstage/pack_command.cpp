// pawnstage pack: an archive (dual.avi + sequence.ini) from an artist's frames, judged first.
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "tools/pawnstage/commands.h"
#include "tools/pawnstage/material.h"
#include "tools/pawnstage/options.h"
#include "tools/pawnstage/pack_archive.h"

namespace pawnstage {

namespace fs = std::filesystem;

namespace {

const char* const kPackUsage =
    "usage: pawnstage pack [--penguin] FRAMES_DIR ARCHIVE_DIR\n"
    "       pawnstage pack [--penguin] --cuts CUT_LIST VIDEO ARCHIVE_DIR\n"
    "       pawnstage pack [--penguin] --from-archive ARCHIVE ARCHIVE_DIR\n"
    "\n"
    "FRAMES_DIR holds one folder per sequence (wait01/, buzz01/, ...) of PNG frames with alpha;\n"
    "CUT_LIST cuts VIDEO (with alpha) into sequences with name=count@first lines. ARCHIVE_DIR gets\n"
    "dual.avi and sequence.ini; it is written only when nothing is wrong, and replaces only an archive.\n"
    "  --penguin   the producer's penguin: wait01..wait03, buzz01..buzz03, freeze\n";

struct PackOptions {
    Material material;
    fs::path out;
    bool penguin = false;
};

PackOptions parsePackOptions(int argc, char** argv) {
    PackOptions options;
    std::vector<std::string> paths;
    bool fromArchive = false;
    for (int i = 0; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--penguin") options.penguin = true;
        else if (argument == "--from-archive") fromArchive = true;
        else if (argument == "--cuts") options.material.cuts = optionValue(argc, argv, i);
        else if (argument.size() > 1 && argument[0] == '-') throw UsageError("unknown option '" + argument + "'");
        else paths.push_back(argument);
    }
    if (paths.size() != 2) throw UsageError("expected the frames and the archive to write, found " + std::to_string(paths.size()) + " paths");
    if (fromArchive && !options.material.cuts.empty()) throw UsageError("--cuts and --from-archive do not go together");
    options.material.kind = fromArchive ? MaterialKind::Archive : !options.material.cuts.empty() ? MaterialKind::CutVideo : MaterialKind::FrameFolder;
    options.material.path = paths[0];
    options.out = paths[1];
    return options;
}

}  // namespace

int runPackCommand(int argc, char** argv) {
    PackOptions options;
    try {
        if (argc == 1 && (std::string(argv[0]) == "--help" || std::string(argv[0]) == "-h")) {
            std::fputs(kPackUsage, stdout);
            return 0;
        }
        options = parsePackOptions(argc, argv);
    } catch (const UsageError& error) {
        std::fprintf(stderr, "pawnstage pack: %s\n%s", error.what(), kPackUsage);
        return 2;
    }
    Findings findings;
    PawnFrames frames;
    try {
        const bool packed = packArchive(options.material, options.penguin, options.out, findings, frames);
        if (!reportFindings("pack", findings) || !packed) return 1;
    } catch (const std::exception& error) {
        findings.print(stderr);
        std::fprintf(stderr, "pawnstage pack: %s; nothing was written\n", error.what());
        return 1;
    }
    std::fprintf(stderr, "pawnstage pack: %s: %s%s\n", options.out.string().c_str(), describeFrames(frames).c_str(),
                 findings.warnings() ? (", " + std::to_string(findings.warnings()) + " warnings").c_str() : "");
    std::error_code ignored;
    std::printf("%s\n", fs::absolute(options.out, ignored).string().c_str());
    return 0;
}

}  // namespace pawnstage
