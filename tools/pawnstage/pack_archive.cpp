#include "tools/pawnstage/pack_archive.h"

#include <memory>

#include "tools/archive/archive_writer.h"
#include "tools/pawnstage/pack_checks.h"
#include "tools/pawnstage/progress.h"

namespace pawnstage {

bool packArchive(const Material& material, bool penguin, const std::filesystem::path& out, Findings& findings, PawnFrames& frames, bool quiet) {
    frames = readMaterial(material, findings, quiet);
    judgeFrames(frames, penguin, findings);
    if (findings.errors() > 0) return false;
    const FramePicture& size = *frames.firstFrame();
    pawnarchive::ArchiveWriter archive(out, size.width, size.height);
    std::unique_ptr<Progress> progress;
    if (!quiet) progress = std::make_unique<Progress>("packing " + out.string(), static_cast<long>(frames.frameCount()));
    long done = 0;
    for (const FrameSequence& sequence : frames.sequences) {
        archive.beginSequence(sequence.name);
        for (const FramePicture& picture : sequence.frames) {
            archive.addFrame(picture.bgra);
            if (progress) progress->update(++done);
        }
    }
    if (frames.scorePhase) archive.setScorePhase(*frames.scorePhase);
    archive.commit();
    if (progress) progress->finish();
    return true;
}

}  // namespace pawnstage
