#include "tools/samplegen/avi_encoder.h"

#include <cstring>
#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

namespace samplegen {

namespace {

std::string describe(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

void check(int code, const std::string& path, const char* what) {
    if (code < 0) throw std::runtime_error(path + ": " + what + ": " + describe(code));
}

}  // namespace

AlphaAviWriter::AlphaAviWriter(const std::string& path, int width, int height, bool alpha)
    : path_(path), width_(width), height_(height), pixelFormat_(alpha ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR0) {
    try {
        check(avformat_alloc_output_context2(&format_, nullptr, "avi", path.c_str()), path, "no AVI muxer");
        // No library version strings in the file: the same pictures give the same bytes.
        format_->flags |= AVFMT_FLAG_BITEXACT;

        const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_FFV1);
        if (!encoder) throw std::runtime_error(path + ": this FFmpeg has no FFV1 encoder");
        stream_ = avformat_new_stream(format_, nullptr);
        codec_ = avcodec_alloc_context3(encoder);
        if (!stream_ || !codec_) throw std::runtime_error(path + ": out of memory");
        codec_->width = width;
        codec_->height = height;
        codec_->pix_fmt = static_cast<AVPixelFormat>(pixelFormat_);
        codec_->time_base = AVRational{kFrameMilliseconds, 1000};
        codec_->framerate = AVRational{1000, kFrameMilliseconds};
        codec_->gop_size = 1;      // every frame a key frame: seeks land exactly
        codec_->thread_count = 1;  // slices from threads would make the output depend on the machine
        codec_->flags |= AV_CODEC_FLAG_BITEXACT;
        if (format_->oformat->flags & AVFMT_GLOBALHEADER) codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        // The range coder with large contexts: the flat colours and empty margins shrink to almost nothing.
        av_opt_set(codec_->priv_data, "coder", "range_def", 0);
        av_opt_set_int(codec_->priv_data, "context", 1, 0);
        check(avcodec_open2(codec_, encoder, nullptr), path, "cannot open the FFV1 encoder");
        check(avcodec_parameters_from_context(stream_->codecpar, codec_), path, "codec parameters");
        stream_->time_base = codec_->time_base;

        check(avio_open(&format_->pb, path.c_str(), AVIO_FLAG_WRITE), path, "cannot create the file");
        check(avformat_write_header(format_, nullptr), path, "cannot write the header");

        frame_ = av_frame_alloc();
        packet_ = av_packet_alloc();
        if (!frame_ || !packet_) throw std::runtime_error(path + ": out of memory");
        frame_->format = pixelFormat_;
        frame_->width = width;
        frame_->height = height;
        check(av_frame_get_buffer(frame_, 0), path, "frame buffer");
    } catch (...) {
        release();
        throw;
    }
}

AlphaAviWriter::~AlphaAviWriter() { release(); }

void AlphaAviWriter::release() {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&codec_);
    if (format_) {
        if (format_->pb) avio_closep(&format_->pb);
        avformat_free_context(format_);
        format_ = nullptr;
    }
}

void AlphaAviWriter::addFrame(const std::vector<std::uint8_t>& bgra) {
    if (finished_) throw std::logic_error(path_ + ": frame added after finish");
    if (bgra.size() != static_cast<std::size_t>(width_) * height_ * 4) throw std::logic_error(path_ + ": frame of the wrong size");
    check(av_frame_make_writable(frame_), path_, "frame buffer");
    for (int y = 0; y < height_; ++y) {
        std::memcpy(frame_->data[0] + static_cast<std::ptrdiff_t>(y) * frame_->linesize[0], bgra.data() + static_cast<std::size_t>(y) * width_ * 4,
                    static_cast<std::size_t>(width_) * 4);
    }
    frame_->pts = frames_++;
    check(avcodec_send_frame(codec_, frame_), path_, "encoding");
    drain();
}

void AlphaAviWriter::drain() {
    for (;;) {
        int result = avcodec_receive_packet(codec_, packet_);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return;
        check(result, path_, "encoding");
        av_packet_rescale_ts(packet_, codec_->time_base, stream_->time_base);
        packet_->stream_index = stream_->index;
        check(av_interleaved_write_frame(format_, packet_), path_, "writing");
    }
}

void AlphaAviWriter::finish() {
    if (finished_) return;
    finished_ = true;
    check(avcodec_send_frame(codec_, nullptr), path_, "encoding");
    drain();
    check(av_write_trailer(format_), path_, "writing the index");
    check(avio_closep(&format_->pb), path_, "closing");
}

void writeAlphaAvi(const std::string& path, int width, int height, const std::vector<std::vector<std::uint8_t>>& frames, bool alpha) {
    AlphaAviWriter writer(path, width, height, alpha);
    for (const auto& frame : frames) writer.addFrame(frame);
    writer.finish();
}

}  // namespace samplegen
