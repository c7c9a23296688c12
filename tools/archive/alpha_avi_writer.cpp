#include "tools/archive/alpha_avi_writer.h"

#include <cstring>
#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

namespace pawnarchive {

namespace {

EncodedFileSetup ffv1Setup(int width, int height, bool alpha) {
    return EncodedFileSetup{"avi", AV_CODEC_ID_FFV1, alpha ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR0, width, height, kFrameMilliseconds, 1000,
                            [](AVCodecContext* codec) {
                                codec->gop_size = 1;  // every frame a key frame: seeks land exactly
                                // The range coder with large contexts: the flat colours and empty margins shrink to almost nothing.
                                av_opt_set(codec->priv_data, "coder", "range_def", 0);
                                av_opt_set_int(codec->priv_data, "context", 1, 0);
                            }};
}

}  // namespace

AlphaAviWriter::AlphaAviWriter(const std::string& path, int width, int height, bool alpha)
    : width_(width), height_(height), file_(path, ffv1Setup(width, height, alpha)) {}

void AlphaAviWriter::addFrame(const std::vector<std::uint8_t>& bgra) {
    if (bgra.size() != static_cast<std::size_t>(width_) * height_ * 4) throw std::logic_error(file_.path() + ": frame of the wrong size");
    AVFrame* frame = file_.frame();
    for (int y = 0; y < height_; ++y) {
        std::memcpy(frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0], bgra.data() + static_cast<std::size_t>(y) * width_ * 4,
                    static_cast<std::size_t>(width_) * 4);
    }
    file_.send(frames_++);
}

void AlphaAviWriter::finish() { file_.finish(); }

void writeAlphaAvi(const std::string& path, int width, int height, const std::vector<std::vector<std::uint8_t>>& frames, bool alpha) {
    AlphaAviWriter writer(path, width, height, alpha);
    for (const auto& frame : frames) writer.addFrame(frame);
    writer.finish();
}

}  // namespace pawnarchive
