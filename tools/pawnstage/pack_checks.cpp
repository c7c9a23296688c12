#include "tools/pawnstage/pack_checks.h"

#include <algorithm>
#include <map>

#include "core/decimal.h"
#include "core/names.h"
#include "tools/pawnstage/check_archive.h"
#include "tools/pawnstage/frame_sources.h"

namespace pawnstage {

namespace {

std::string sizeText(const FramePicture& picture) { return std::to_string(picture.width) + " x " + std::to_string(picture.height); }

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

// A fault shared by many frames is told for the first few files and counted for the rest.
class FrameFaults {
public:
    FrameFaults(Findings& findings, bool error, std::string message) : findings_(findings), error_(error), message_(std::move(message)) {}
    ~FrameFaults() {
        if (count_ == kShown + 1) add(firstUntold_, message_);
        else if (count_ > kShown) add(firstUntold_, "this and " + std::to_string(count_ - kShown - 1) + " more frames: " + message_);
    }
    void report(const std::string& file) {
        if (count_ < kShown) add(file, message_);
        else if (count_ == kShown) firstUntold_ = file;
        ++count_;
    }

private:
    static constexpr int kShown = 3;
    void add(const std::string& file, const std::string& message) {
        if (error_) findings_.error(file, message);
        else findings_.warn(file, message);
    }
    Findings& findings_;
    bool error_;
    std::string message_;
    int count_ = 0;
    std::string firstUntold_;
};

std::size_t indexOf(const std::vector<std::string>& names, const std::string& name) {
    for (std::size_t i = 0; i < names.size(); ++i)
        if (sameName(names[i].c_str(), name.c_str())) return i;
    return names.size();
}

}  // namespace

bool fullyOpaque(const FramePicture& picture) {
    for (std::size_t i = 3; i < picture.bgra.size(); i += 4)
        if (picture.bgra[i] != 255) return false;
    return true;
}

void judgeFrames(PawnFrames& frames, bool penguin, Findings& findings) {
    const std::vector<std::string>& required = penguin ? penguinSequenceNames() : pawnSequenceNames();
    const std::string who = penguin ? "the penguin" : "a pawn";
    // A cut list keeps its own order; folders come by name, and are put in the table's order here.
    const bool fromFolder = std::all_of(frames.sequences.begin(), frames.sequences.end(), [](const FrameSequence& s) { return s.first < 0; });
    if (fromFolder) {
        std::stable_sort(frames.sequences.begin(), frames.sequences.end(), [&](const FrameSequence& a, const FrameSequence& b) {
            const std::size_t ia = indexOf(required, a.name), ib = indexOf(required, b.name);
            if (ia != ib) return ia < ib;
            return namesInOrder(a.name, b.name);
        });
    }

    std::map<std::string, const FrameSequence*> seen;  // lower-case name -> sequence
    for (const FrameSequence& sequence : frames.sequences) {
        std::string lower = sequence.name;
        for (char& c : lower) c = asciiLower(c);
        if (auto [it, fresh] = seen.emplace(lower, &sequence); !fresh)
            findings.error(sequence.source, "'" + it->second->name + "' and '" + sequence.name +
                                                "' differ only in letter case; a pawn compares names without case and finds one of them");
        if (indexOf(required, sequence.name) == required.size())
            findings.warn(sequence.source, "'" + sequence.name + "' is a name " + who + " never selects (" + joined(required) + ")");
        if (sequence.frames.empty()) findings.error(sequence.source, "an empty sequence: no frames; " + who + " would show nothing of it");
    }
    for (const std::string& name : required)
        if (seen.find(name) == seen.end())
            findings.error(frames.originIsFolder ? frames.origin + "/" + name : frames.origin, "'" + name + "' is missing; " + who + " selecting it logs \"KTAlphaVideo: Sequence '" + name +
                                                              "' not found.\" and keeps its previous sequence");

    const FramePicture* reference = frames.firstFrame();
    if (!reference) return;
    if (reference->width > kLargestDrawnSide || reference->height > kLargestDrawnSide)
        findings.error(reference->source, sizeText(*reference) + " is larger than " + std::to_string(kLargestDrawnSide) + " x " +
                                              std::to_string(kLargestDrawnSide) + ", the most the blended draw covers");
    FrameFaults otherSize(findings, true, "not " + sizeText(*reference) + " like " + reference->source + "; all frames of a figure share one size");
    FrameFaults noAlpha(findings, true, "no alpha channel; the figure would be drawn as an opaque box");
    FrameFaults opaque(findings, false, "no transparent pixel; this frame is drawn as an opaque box");
    for (const FrameSequence& sequence : frames.sequences)
        for (const FramePicture& picture : sequence.frames) {
            if (picture.width != reference->width || picture.height != reference->height) otherSize.report(picture.source + " (" + sizeText(picture) + ")");
            if (!picture.hasAlpha) noAlpha.report(picture.source);
            else if (fullyOpaque(picture)) opaque.report(picture.source);
        }

    if (frames.scorePhase) {
        const std::string& text = *frames.scorePhase;
        const bool number = text.find_first_of("0123456789") != std::string::npos &&
                            text.find_first_not_of("0123456789+- \t\r\n") == std::string::npos;
        if (!number)
            findings.warn(frames.scorePhaseSource, "not a number; the pawn reads phase " + std::to_string(decimalValue(text.substr(0, 15).c_str())));
    }
}

}  // namespace pawnstage
