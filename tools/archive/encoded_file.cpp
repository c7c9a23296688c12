#include "tools/archive/encoded_file.h"

#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
}

namespace pawnarchive {

EncodedFile::EncodedFile(const std::string& path, const EncodedFileSetup& setup) : path_(path) {
    try {
        open(setup);
    } catch (...) {
        release();
        throw;
    }
}

EncodedFile::~EncodedFile() { release(); }

void EncodedFile::check(int code, const char* what) const {
    if (code >= 0) return;
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    throw std::runtime_error(path_ + ": " + what + ": " + text);
}

void EncodedFile::open(const EncodedFileSetup& setup) {
    check(avformat_alloc_output_context2(&format_, nullptr, setup.format, path_.c_str()), "no muxer for it");
    // No library version strings in the file: the same pictures give the same bytes.
    format_->flags |= AVFMT_FLAG_BITEXACT;
    const AVCodec* encoder = avcodec_find_encoder(static_cast<AVCodecID>(setup.codec));
    if (!encoder) throw std::runtime_error(path_ + ": this FFmpeg has no " + avcodec_get_name(static_cast<AVCodecID>(setup.codec)) + " encoder");
    stream_ = avformat_new_stream(format_, nullptr);
    codec_ = avcodec_alloc_context3(encoder);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (!stream_ || !codec_ || !frame_ || !packet_) throw std::runtime_error(path_ + ": out of memory");
    codec_->width = setup.width;
    codec_->height = setup.height;
    codec_->pix_fmt = static_cast<AVPixelFormat>(setup.pixelFormat);
    codec_->time_base = AVRational{setup.timeBaseNumerator, setup.timeBaseDenominator};
    codec_->framerate = AVRational{setup.timeBaseDenominator, setup.timeBaseNumerator};
    codec_->thread_count = 1;  // slices from threads would make the output depend on the machine
    codec_->flags |= AV_CODEC_FLAG_BITEXACT;
    if (format_->oformat->flags & AVFMT_GLOBALHEADER) codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (setup.tune) setup.tune(codec_);
    check(avcodec_open2(codec_, encoder, nullptr), "cannot open the encoder");
    check(avcodec_parameters_from_context(stream_->codecpar, codec_), "codec parameters");
    stream_->time_base = codec_->time_base;

    check(avio_open(&format_->pb, path_.c_str(), AVIO_FLAG_WRITE), "cannot create the file");
    check(avformat_write_header(format_, nullptr), "cannot write the header");
    frame_->format = setup.pixelFormat;
    frame_->width = setup.width;
    frame_->height = setup.height;
    check(av_frame_get_buffer(frame_, 0), "frame buffer");
}

void EncodedFile::release() {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&codec_);
    if (format_) {
        if (format_->pb) avio_closep(&format_->pb);
        avformat_free_context(format_);
        format_ = nullptr;
    }
}

AVFrame* EncodedFile::frame() {
    if (finished_) throw std::logic_error(path_ + ": frame added after finish");
    check(av_frame_make_writable(frame_), "frame buffer");
    return frame_;
}

void EncodedFile::send(std::int64_t pts) {
    frame_->pts = pts;
    check(avcodec_send_frame(codec_, frame_), "encoding");
    drain();
}

void EncodedFile::drain() {
    for (;;) {
        const int result = avcodec_receive_packet(codec_, packet_);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return;
        check(result, "encoding");
        av_packet_rescale_ts(packet_, codec_->time_base, stream_->time_base);
        packet_->stream_index = stream_->index;
        check(av_interleaved_write_frame(format_, packet_), "writing");
    }
}

void EncodedFile::finish() {
    if (finished_) return;
    finished_ = true;
    check(avcodec_send_frame(codec_, nullptr), "encoding");
    drain();
    check(av_write_trailer(format_), "writing the index");
    check(avio_closep(&format_->pb), "closing");
}

}  // namespace pawnarchive
