#include "tools/pawnstage/material.h"

#include <cstdio>
#include <memory>

#include "tools/pawnstage/options.h"
#include "tools/pawnstage/progress.h"

namespace pawnstage {

PawnFrames readMaterial(const Material& material, Findings& findings, bool quiet) {
    std::unique_ptr<Progress> progress;
    auto onProgress = [&](long done, long total) {
        if (quiet) return;
        if (!progress) progress = std::make_unique<Progress>("reading " + material.path.string(), total);
        progress->update(done);
    };
    PawnFrames frames;
    switch (material.kind) {
    case MaterialKind::FrameFolder: frames = readFrameFolder(material.path, findings, onProgress); break;
    case MaterialKind::CutVideo: frames = readCutVideo(material.path, material.cuts, findings, onProgress); break;
    case MaterialKind::Archive: frames = readArchiveFrames(material.path, findings, onProgress); break;
    }
    if (progress) progress->finish();
    return frames;
}

std::string describeFrames(const PawnFrames& frames) {
    std::string text = std::to_string(frames.sequences.size()) + " sequences, " + std::to_string(frames.frameCount()) + " frames";
    if (const FramePicture* first = frames.firstFrame()) text += " of " + std::to_string(first->width) + " x " + std::to_string(first->height);
    return text;
}

void requirePlainNames(const PawnFrames& frames, Findings& findings) {
    for (const FrameSequence& sequence : frames.sequences) {
        const std::string& name = sequence.name;
        const bool plain = !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos;
        if (!plain) findings.error(sequence.source, "'" + name + "' cannot name a file or folder");
    }
}

bool reportFindings(const char* command, const Findings& findings) {
    findings.print(stderr);
    if (findings.errors() == 0) return true;
    std::fprintf(stderr, "pawnstage %s: %d error%s, %d warning%s; nothing was written\n", command, findings.errors(), findings.errors() == 1 ? "" : "s",
                 findings.warnings(), findings.warnings() == 1 ? "" : "s");
    return false;
}

std::string optionValue(int argc, char** argv, int& i) {
    const std::string name = argv[i];
    if (i + 1 >= argc) throw UsageError(name + " needs a value");
    return argv[++i];
}

}  // namespace pawnstage
