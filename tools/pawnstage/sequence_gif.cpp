#include "tools/pawnstage/sequence_gif.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "host/core/surface.h"
#include "tools/archive/alpha_avi_writer.h"
#include "tools/archive/encoded_file.h"
#include "tools/pawnstage/contact_sheet.h"

namespace pawnstage {

namespace fs = std::filesystem;

namespace {

// The 256 colours used most across the sequence's frames (all of them when there are no more) and,
// for every 15-bit colour, the nearest of them: the frames have 5 bits a component, so most
// sequences fit the palette exactly.
class Palette {
public:
    explicit Palette(const std::vector<std::vector<std::uint16_t>>& pictures) {
        std::vector<std::uint32_t> uses(32768, 0);
        for (const auto& picture : pictures)
            for (std::uint16_t pixel : picture) ++uses[pixel & 0x7fff];
        std::vector<std::uint16_t> order;
        for (std::uint32_t colour = 0; colour < uses.size(); ++colour)
            if (uses[colour]) order.push_back(static_cast<std::uint16_t>(colour));
        std::stable_sort(order.begin(), order.end(), [&](std::uint16_t a, std::uint16_t b) { return uses[a] > uses[b]; });
        order.resize(std::min<std::size_t>(order.size(), 256));
        colours_ = order;
        nearest_.fill(-1);
    }

    std::uint8_t indexOf(std::uint16_t pixel) {
        std::int32_t& cached = nearest_[pixel & 0x7fff];
        if (cached < 0) {
            std::int32_t best = 0, bestDistance = INT32_MAX;
            for (std::size_t i = 0; i < colours_.size(); ++i) {
                const std::int32_t distance = squared(colours_[i], pixel);
                if (distance < bestDistance) best = static_cast<std::int32_t>(i), bestDistance = distance;
            }
            cached = best;
        }
        return static_cast<std::uint8_t>(cached);
    }

    // 0xAARRGGBB entries, as the GIF encoder takes them.
    void fill(std::uint32_t* entries) const {
        for (std::size_t i = 0; i < 256; ++i) {
            const std::uint16_t c = i < colours_.size() ? colours_[i] : 0;
            entries[i] = 0xff000000u | (std::uint32_t{hostengine::expand5(c >> 10)} << 16) | (std::uint32_t{hostengine::expand5(c >> 5)} << 8) |
                         hostengine::expand5(c);
        }
    }

private:
    static std::int32_t squared(std::uint16_t a, std::uint16_t b) {
        std::int32_t total = 0;
        for (int shift : {10, 5, 0}) {
            const std::int32_t d = ((a >> shift) & 31) - ((b >> shift) & 31);
            total += d * d;
        }
        return total;
    }

    std::vector<std::uint16_t> colours_;
    std::array<std::int32_t, 32768> nearest_;
};

// A GIF of palette pictures: delays count hundredths of a second, and the file loops for ever (the
// muxer's default).
class GifFile {
public:
    GifFile(const fs::path& path, int width, int height)
        : width_(width), height_(height), file_(path.string(), pawnarchive::EncodedFileSetup{"gif", AV_CODEC_ID_GIF, AV_PIX_FMT_PAL8, width, height, 1, 100, {}}) {}

    void addFrame(const std::vector<std::uint16_t>& pixels, Palette& palette) {
        AVFrame* frame = file_.frame();
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) frame->data[0][y * frame->linesize[0] + x] = palette.indexOf(pixels[static_cast<std::size_t>(y) * width_ + x]);
        palette.fill(reinterpret_cast<std::uint32_t*>(frame->data[1]));
        // Frame times rounded to hundredths keep the 83 ms pace exact on average.
        file_.send((frames_++ * pawnarchive::kFrameMilliseconds + 5) / 10);
    }

    void finish() { file_.finish(); }

private:
    int width_;
    int height_;
    std::int64_t frames_ = 0;
    pawnarchive::EncodedFile file_;
};

}  // namespace

std::vector<fs::path> writeSequenceGifs(const PawnFrames& frames, const fs::path& directory) {
    std::error_code error;
    fs::create_directories(directory, error);
    if (!fs::is_directory(directory)) throw std::runtime_error(directory.string() + ": cannot make the folder (" + error.message() + ")");
    std::vector<fs::path> written;
    for (const FrameSequence& sequence : frames.sequences) {
        if (sequence.frames.empty()) continue;
        std::vector<std::vector<std::uint16_t>> pictures;
        for (const FramePicture& picture : sequence.frames) pictures.push_back(frameOnStage(picture));
        Palette palette(pictures);
        const fs::path path = directory / (sequence.name + ".gif");
        GifFile gif(path, sequence.frames.front().width, sequence.frames.front().height);
        for (const auto& picture : pictures) gif.addFrame(picture, palette);
        gif.finish();
        written.push_back(path);
    }
    return written;
}

}  // namespace pawnstage
