#include "host/media/ffmpeg_video.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace hostengine {
namespace {

std::string describe(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

}  // namespace

std::unique_ptr<FfmpegFrameSource> FfmpegFrameSource::open(const std::string& path, std::string& error, bool anyContainer) {
    std::unique_ptr<FfmpegFrameSource> source(new FfmpegFrameSource);
    int result = avformat_open_input(&source->format_, path.c_str(), nullptr, nullptr);
    if (result < 0) {
        error = describe(result);
        return nullptr;
    }
    if (!source->format_->iformat || (!anyContainer && std::strcmp(source->format_->iformat->name, "avi") != 0)) {
        error = "not an AVI file";
        return nullptr;
    }
    if ((result = avformat_find_stream_info(source->format_, nullptr)) < 0) {
        error = describe(result);
        return nullptr;
    }
    source->stream_ = av_find_best_stream(source->format_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (source->stream_ < 0) {
        error = "no video stream";
        return nullptr;
    }
    const AVCodecParameters* parameters = source->format_->streams[source->stream_]->codecpar;
    if (parameters->width <= 0 || parameters->height <= 0 || parameters->width > kMaxVideoSide || parameters->height > kMaxVideoSide) {
        error = "frame size out of range";
        return nullptr;
    }
    source->width_ = parameters->width;
    source->height_ = parameters->height;
    source->packet_ = av_packet_alloc();
    source->frame_ = av_frame_alloc();
    if (!source->packet_ || !source->frame_) {
        error = "out of memory";
        return nullptr;
    }
    if (!source->indexPackets(error) || !source->openDecoder(error)) return nullptr;
    if (!source->seekTo(source->timestamps_.front())) {
        error = "cannot return to the first frame";
        return nullptr;
    }
    source->seeks_ = 0;
    return source;
}

FfmpegFrameSource::~FfmpegFrameSource() {
    sws_freeContext(scaler_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&codec_);
    avformat_close_input(&format_);
}

bool FfmpegFrameSource::indexPackets(std::string& error) {
    struct Entry {
        std::int64_t timestamp;
        bool key;
    };
    std::vector<Entry> entries;
    std::int64_t packets = 0;
    bool corrupt = false, untimed = false;
    int result;
    while ((result = av_read_frame(format_, packet_)) >= 0) {
        if (packet_->stream_index == stream_) {
            ++packets;
            // Empty packets are dropped frames: they decode to nothing and are not frames of their own.
            if (packet_->size > 0) {
                std::int64_t timestamp = packet_->pts != AV_NOPTS_VALUE ? packet_->pts : packet_->dts;
                untimed |= timestamp == AV_NOPTS_VALUE;
                corrupt |= (packet_->flags & AV_PKT_FLAG_CORRUPT) != 0;
                entries.push_back(Entry{timestamp, (packet_->flags & AV_PKT_FLAG_KEY) != 0});
            }
        }
        av_packet_unref(packet_);
    }
    if (result != AVERROR_EOF) {
        error = "read error: " + describe(result);
        return false;
    }
    const std::int64_t announced = format_->streams[stream_]->nb_frames;
    if (corrupt || (announced > 0 && packets < announced)) {
        error = "truncated: frames are missing or cut off";
        return false;
    }
    if (untimed) {
        error = "frames without timestamps";
        return false;
    }
    if (entries.empty()) {
        error = "no frames";
        return false;
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.timestamp < b.timestamp; });
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i > 0 && entries[i].timestamp == entries[i - 1].timestamp) {
            error = "two frames share a timestamp";
            return false;
        }
        timestamps_.push_back(entries[i].timestamp);
        keyBefore_.push_back(entries[i].key || i == 0 ? static_cast<std::int32_t>(i) : keyBefore_.back());
    }
    if (timestamps_.size() > static_cast<std::size_t>(INT32_MAX)) {
        error = "too many frames";
        return false;
    }
    return true;
}

bool FfmpegFrameSource::openDecoder(std::string& error) {
    const AVStream* stream = format_->streams[stream_];
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!decoder) {
        error = std::string("no decoder for ") + avcodec_get_name(stream->codecpar->codec_id);
        return false;
    }
    codecName_ = decoder->name;
    codec_ = avcodec_alloc_context3(decoder);
    if (!codec_) {
        error = "out of memory";
        return false;
    }
    int result = avcodec_parameters_to_context(codec_, stream->codecpar);
    if (result < 0) {
        error = describe(result);
        return false;
    }
    codec_->pkt_timebase = stream->time_base;
    // One thread: frame threads would hold frames back and make the decode-forward count uneven.
    codec_->thread_count = 1;
    if ((result = avcodec_open2(codec_, decoder, nullptr)) < 0) {
        error = describe(result);
        return false;
    }
    return true;
}

bool FfmpegFrameSource::seekTo(std::int64_t timestamp) {
    if (av_seek_frame(format_, stream_, timestamp, AVSEEK_FLAG_BACKWARD) < 0) return false;
    avcodec_flush_buffers(codec_);
    draining_ = false;
    decodedIndex_ = -1;
    ++seeks_;
    return true;
}

bool FfmpegFrameSource::decodeNext() {
    for (;;) {
        int result = avcodec_receive_frame(codec_, frame_);
        if (result == 0) {
            ++decoded_;
            return true;
        }
        if (result != AVERROR(EAGAIN) || draining_) return false;
        // The decoder wants input: the next packet of the stream, or the end of the file.
        for (;;) {
            if (av_read_frame(format_, packet_) < 0) {
                draining_ = true;
                avcodec_send_packet(codec_, nullptr);
                break;
            }
            bool ours = packet_->stream_index == stream_ && packet_->size > 0;
            // A packet the decoder refuses is skipped; the frames after it may still decode.
            bool sent = ours && avcodec_send_packet(codec_, packet_) >= 0;
            av_packet_unref(packet_);
            if (sent) break;
        }
    }
}

std::int32_t FfmpegFrameSource::indexOf(std::int64_t timestamp) const {
    auto after = std::upper_bound(timestamps_.begin(), timestamps_.end(), timestamp);
    return static_cast<std::int32_t>(after - timestamps_.begin()) - 1;
}

bool FfmpegFrameSource::readFrame(std::int32_t index, std::uint8_t* bgra) {
    if (index < 0 || index >= frameCount() || !bgra) return false;
    if (index == decodedIndex_) return convert(bgra);
    const std::size_t at = static_cast<std::size_t>(index);
    const bool onward = decodedIndex_ >= 0 && index > decodedIndex_ && keyBefore_[at] <= decodedIndex_;
    if (!onward && !seekTo(timestamps_[static_cast<std::size_t>(keyBefore_[at])])) return false;
    bool fromStart = !onward && keyBefore_[at] == 0;
    for (;;) {
        if (!decodeNext()) return false;
        std::int64_t timestamp = frame_->best_effort_timestamp != AV_NOPTS_VALUE ? frame_->best_effort_timestamp : frame_->pts;
        decodedIndex_ = timestamp == AV_NOPTS_VALUE ? decodedIndex_ + 1 : indexOf(timestamp);
        if (decodedIndex_ == index) return convert(bgra);
        if (decodedIndex_ > index) {
            // The demuxer landed beyond the frame: go back to the very start once and decode onward.
            if (fromStart || !seekTo(timestamps_.front())) return false;
            fromStart = true;
        }
    }
}

bool FfmpegFrameSource::convert(std::uint8_t* bgra) {
    if (frame_->width <= 0 || frame_->height <= 0 || frame_->format < 0) return false;
    const auto format = static_cast<AVPixelFormat>(frame_->format);
    if (const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format)) hasAlpha_ = (descriptor->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
    // Point sampling and exact rounding: RGB sources come through bit for bit; a frame of another
    // size than the stream's (rare, but legal) is scaled to it.
    scaler_ = sws_getCachedContext(scaler_, frame_->width, frame_->height, format, width_, height_, AV_PIX_FMT_BGRA,
                                   SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
    if (!scaler_) return false;
    std::uint8_t* planes[4] = {bgra, nullptr, nullptr, nullptr};
    int strides[4] = {width_ * 4, 0, 0, 0};
    return sws_scale(scaler_, frame_->data, frame_->linesize, 0, frame_->height, planes, strides) == height_;
}

// ---------------------------------------------------------------------------------------------------
// Factory

FfmpegVideoFactory::FfmpegVideoFactory()
    : HostVideoFactory("avifile", [](const std::string& path, std::string& error) -> std::unique_ptr<FrameSource> {
          return FfmpegFrameSource::open(path, error);
      }) {
    setReadAhead(kFfmpegReadAhead);
}

std::unique_ptr<HostVideoFactory> registerFfmpegVideoFactory(HostEngine&) { return std::make_unique<FfmpegVideoFactory>(); }

}  // namespace hostengine
