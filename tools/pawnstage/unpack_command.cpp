// pawnstage unpack: an archive back to the artist's frames, one PNG with alpha per frame in one folder
// per sequence, ready to be edited and packed again.
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "tools/archive/frame_folder.h"
#include "tools/archive/staging_dir.h"
#include "tools/pawnstage/commands.h"
#include "tools/pawnstage/material.h"
#include "tools/pawnstage/options.h"
#include "tools/pawnstage/progress.h"

namespace pawnstage {

namespace fs = std::filesystem;

namespace {

const char* const kUnpackUsage =
    "usage: pawnstage unpack ARCHIVE FRAMES_DIR\n"
    "\n"
    "Writes every frame of the archive's sequences as FRAMES_DIR/<sequence>/0000.png, 0001.png, ...\n"
    "(RGBA). FRAMES_DIR must not exist yet or be empty; it appears only once every frame is written.\n";

void writeFrames(const PawnFrames& frames, const fs::path& out) {
    // Nothing an artist may have edited is ever replaced.
    pawnarchive::StagingDir staging(out, [](const std::string&) { return false; });
    Progress progress("unpacking to " + out.string(), static_cast<long>(frames.frameCount()));
    long done = 0;
    for (const FrameSequence& sequence : frames.sequences) {
        for (std::size_t i = 0; i < sequence.frames.size(); ++i) {
            const FramePicture& picture = sequence.frames[i];
            pawnarchive::writeFrameFile(staging.path(), sequence.name, static_cast<int>(i), picture.width, picture.height, picture.bgra);
            progress.update(++done);
        }
    }
    if (frames.scorePhase) {
        std::ofstream phase(staging.path() / "scorefontphase", std::ios::binary);
        phase << *frames.scorePhase;
        if (!phase) throw std::runtime_error((out / "scorefontphase").string() + ": cannot write");
    }
    staging.publish();
    progress.finish();
}

}  // namespace

int runUnpackCommand(int argc, char** argv) {
    if (argc == 1 && (std::string(argv[0]) == "--help" || std::string(argv[0]) == "-h")) {
        std::fputs(kUnpackUsage, stdout);
        return 0;
    }
    std::vector<std::string> paths;
    for (int i = 0; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.size() > 1 && argument[0] == '-') {
            std::fprintf(stderr, "pawnstage unpack: unknown option '%s'\n%s", argument.c_str(), kUnpackUsage);
            return 2;
        }
        paths.push_back(argument);
    }
    if (paths.size() != 2) {
        std::fprintf(stderr, "pawnstage unpack: expected an archive and a folder to write, found %zu paths\n%s", paths.size(), kUnpackUsage);
        return 2;
    }
    Findings findings;
    const PawnFrames frames = readMaterial(Material{MaterialKind::Archive, paths[0], {}}, findings);
    requirePlainNames(frames, findings);
    if (!reportFindings("unpack", findings)) return 1;
    try {
        writeFrames(frames, paths[1]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "pawnstage unpack: %s; nothing was written\n", error.what());
        return 1;
    }
    std::fprintf(stderr, "pawnstage unpack: %s: %s\n", paths[1].c_str(), describeFrames(frames).c_str());
    std::error_code ignored;
    std::printf("%s\n", fs::absolute(paths[1], ignored).string().c_str());
    return 0;
}

}  // namespace pawnstage
