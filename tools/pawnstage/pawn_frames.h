// A pawn's figure as an artist's frames: named sequences of BGRA pictures, wherever they came from
// (a folder of PNG files, a video and its cut list, an archive), and what was found wrong on the way.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace pawnstage {

// One problem with the material, naming the file it concerns. Errors stop a pack; warnings do not.
struct Finding {
    bool error = false;
    std::string file;
    std::string message;
};

class Findings {
public:
    void warn(const std::string& file, const std::string& message) { list_.push_back({false, file, message}); }
    void error(const std::string& file, const std::string& message) { list_.push_back({true, file, message}); }
    int errors() const;
    int warnings() const;
    const std::vector<Finding>& list() const { return list_; }
    // "file: error: message" lines, as compilers write them.
    void print(std::FILE* to) const;

private:
    std::vector<Finding> list_;
};

struct FramePicture {
    std::string source;  // the file (or "video frame N") it came from
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool hasAlpha = true;  // the file carries an alpha channel
    std::vector<std::uint8_t> bgra;  // straight alpha, rows top-down
};

struct FrameSequence {
    std::string name;
    std::string source;       // its folder, or the table entry it was cut by
    std::int32_t first = -1;  // where it starts in the video it was cut from; -1 when not cut from one
    std::vector<FramePicture> frames;
};

struct PawnFrames {
    std::string origin;  // the folder of sequence folders, or the cut list or table that names the sequences
    bool originIsFolder = false;
    std::vector<FrameSequence> sequences;
    std::optional<std::string> scorePhase;  // the "scorefontphase" text that goes with the figure
    std::string scorePhaseSource;

    std::int64_t frameCount() const;
    const FramePicture* firstFrame() const;  // null when there is none
};

}  // namespace pawnstage
