// Where a rendered show goes: an H.264 MP4 with AAC sound, an animated GIF, or a directory of PNG
// frames. Frames come as the stage's RGB555 surface and are scaled to the output's size; sound comes
// as 44.1 kHz stereo 16-bit frames, in order, as the show produces it.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "host/core/surface.h"

namespace pawnstage {

enum class OutputKind { Mp4, Gif, PngFrames };

// "frames/" or an existing directory: PNG frames; "*.gif": GIF; "*.mp4", "*.mov", "*.mkv": video
// with sound. Throws UsageError for anything else.
OutputKind outputKindOf(const std::string& out);

// The output cannot be written; the text names the file and the reason.
class WriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ShowWriter {
public:
    virtual ~ShowWriter() = default;
    virtual void addFrame(const hostengine::Surface& stage) = 0;
    virtual bool takesSound() const { return false; }
    virtual void addSound(const std::int16_t* /*stereo*/, std::size_t /*frames*/) {}
    // Writes what is still held and closes the output; a writer dropped without it leaves the output unfinished.
    virtual void finish() = 0;
    // What was written, for the closing message ("show.mp4", "frames/").
    virtual std::string describe() const = 0;
};

// Throws WriteError.
std::unique_ptr<ShowWriter> openShowWriter(OutputKind kind, const std::string& out, std::int32_t width, std::int32_t height,
                                           std::int32_t fps);

// One RGB picture (rows top-down, 3 bytes a pixel) as a PNG file. Throws WriteError.
void writePngFile(const std::string& path, std::int32_t width, std::int32_t height, const std::uint8_t* rgb);

}  // namespace pawnstage
