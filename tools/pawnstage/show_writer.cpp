#include "tools/pawnstage/show_writer.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "host/media/png_writer.h"
#include "tools/pawnstage/options.h"
#include "tools/pawnstage/output_file.h"

namespace pawnstage {

namespace fs = std::filesystem;

namespace {

std::string lowerExtension(const std::string& path) {
    std::string extension = fs::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

std::string avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// Scales the stage's RGB24 picture to the output's size and pixel format.
class Scaler {
public:
    Scaler(std::int32_t width, std::int32_t height, AVPixelFormat format) {
        // Area averaging keeps small renders readable; the stage's own size is a plain conversion.
        const int method = (width == 640 && height == 480) ? SWS_POINT : SWS_AREA;
        context_ = sws_getContext(640, 480, AV_PIX_FMT_RGB24, width, height, format, method | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
                                  nullptr, nullptr, nullptr);
        if (!context_) throw WriteError("cannot convert pictures to the output's size and format");
    }
    ~Scaler() { sws_freeContext(context_); }
    Scaler(const Scaler&) = delete;
    Scaler& operator=(const Scaler&) = delete;

    void scale(const std::vector<std::uint8_t>& rgb, std::uint8_t* const planes[], const int pitches[]) {
        const std::uint8_t* source[1] = {rgb.data()};
        const int sourcePitch[1] = {640 * 3};
        sws_scale(context_, source, sourcePitch, 0, 480, planes, pitches);
    }

private:
    SwsContext* context_ = nullptr;
};

class PngFrameWriter : public ShowWriter {
public:
    PngFrameWriter(std::string directory, std::int32_t width, std::int32_t height)
        : directory_(std::move(directory)), pending_(directory_, true), width_(width), height_(height) {
        if (width != 640 || height != 480) scaler_ = std::make_unique<Scaler>(width, height, AV_PIX_FMT_RGB24);
    }

    void addFrame(const hostengine::Surface& stage) override {
        const std::vector<std::uint8_t> rgb = stage.toRgb24();
        char name[32];
        std::snprintf(name, sizeof name, "frame%05d.png", frames_++);
        const std::string path = (fs::path(pending_.path()) / name).string();
        if (!scaler_) {
            writePngFile(path, width_, height_, rgb.data());
            return;
        }
        scaled_.resize(static_cast<std::size_t>(width_) * height_ * 3);
        std::uint8_t* planes[1] = {scaled_.data()};
        const int pitches[1] = {width_ * 3};
        scaler_->scale(rgb, planes, pitches);
        writePngFile(path, width_, height_, scaled_.data());
    }

    void finish() override { pending_.commit(); }

    std::string describe() const override {
        const int stale = pending_.staleFramesRemoved();
        if (stale == 0) return directory_;
        return directory_ + " (" + std::to_string(stale) + " older frame" + (stale == 1 ? "" : "s") + " beyond this render removed)";
    }

private:
    std::string directory_;
    PendingOutput pending_;
    std::int32_t width_;
    std::int32_t height_;
    std::unique_ptr<Scaler> scaler_;
    std::vector<std::uint8_t> scaled_;
    int frames_ = 0;
};

// An MP4 (H.264, yuv420p, with AAC sound) or a GIF through libavformat.
class MediaFileWriter : public ShowWriter {
public:
    MediaFileWriter(const std::string& path, OutputKind kind, std::int32_t width, std::int32_t height, std::int32_t fps)
        : path_(path), pending_(path, false), kind_(kind), fps_(fps) {
        const char* formatName = kind == OutputKind::Gif ? "gif" : nullptr;
        // The libraries' own chatter (x264's settings, the AAC encoder's statistics) is not the user's concern.
        av_log_set_level(AV_LOG_ERROR);
        int result = avformat_alloc_output_context2(&av_.format, nullptr, formatName, pending_.path().c_str());
        if (result < 0 || !av_.format) fail("cannot choose a file format", result);
        openVideo(width, height);
        if (kind == OutputKind::Mp4) openAudio();
        if (!(av_.format->oformat->flags & AVFMT_NOFILE)) {
            result = avio_open(&av_.format->pb, pending_.path().c_str(), AVIO_FLAG_WRITE);
            if (result < 0) fail("cannot open it for writing", result);
        }
        result = avformat_write_header(av_.format, nullptr);
        if (result < 0) fail("cannot write the header", result);
        av_.packet = av_packet_alloc();
        if (!av_.packet) fail("out of memory", AVERROR(ENOMEM));
    }

    void addFrame(const hostengine::Surface& stage) override {
        const std::vector<std::uint8_t> rgb = stage.toRgb24();
        int result = av_frame_make_writable(av_.videoFrame);
        if (result < 0) fail("cannot prepare a frame", result);
        scaler_->scale(rgb, av_.videoFrame->data, av_.videoFrame->linesize);
        // GIF delays count hundredths of a second: frame times rounded to them keep the pace exact on average.
        av_.videoFrame->pts = kind_ == OutputKind::Gif ? (frames_ * 100 + fps_ / 2) / fps_ : frames_;
        ++frames_;
        encode(av_.video, videoStream_, av_.videoFrame);
    }

    bool takesSound() const override { return av_.audio != nullptr; }

    void addSound(const std::int16_t* stereo, std::size_t frames) override {
        if (!av_.audio) return;
        pendingSound_.insert(pendingSound_.end(), stereo, stereo + frames * 2);
        const std::size_t frameSize = static_cast<std::size_t>(av_.audio->frame_size);
        std::size_t used = 0;
        while (pendingSound_.size() - used >= frameSize * 2) {
            encodeSound(pendingSound_.data() + used, frameSize);
            used += frameSize * 2;
        }
        pendingSound_.erase(pendingSound_.begin(), pendingSound_.begin() + static_cast<std::ptrdiff_t>(used));
    }

    void finish() override {
        if (av_.audio) {
            // The encoder takes a shorter last frame.
            if (!pendingSound_.empty()) encodeSound(pendingSound_.data(), pendingSound_.size() / 2);
            pendingSound_.clear();
            encode(av_.audio, audioStream_, nullptr);
        }
        encode(av_.video, videoStream_, nullptr);
        const int result = av_write_trailer(av_.format);
        if (result < 0) fail("cannot finish the file", result);
        if (!(av_.format->oformat->flags & AVFMT_NOFILE)) {
            // A failed flush of the last bytes (a full disk) shows only here.
            if (avio_closep(&av_.format->pb) < 0) fail("cannot finish the file", AVERROR(EIO));
        }
        pending_.commit();
    }

    std::string describe() const override { return path_; }

private:
    [[noreturn]] void fail(const std::string& what, int code) const {
        throw WriteError(path_ + ": " + what + (code < 0 ? " (" + avError(code) + ")" : std::string()));
    }

    void openVideo(std::int32_t width, std::int32_t height) {
        const AVCodec* codec = nullptr;
        AVPixelFormat pixels = AV_PIX_FMT_YUV420P;
        if (kind_ == OutputKind::Gif) {
            codec = avcodec_find_encoder(AV_CODEC_ID_GIF);
            pixels = AV_PIX_FMT_RGB8;  // a fixed 3-3-2 palette, dithered by the scaler
        } else {
            codec = avcodec_find_encoder_by_name("libx264");
            if (!codec) codec = avcodec_find_encoder(AV_CODEC_ID_H264);
        }
        if (!codec) fail(kind_ == OutputKind::Gif ? "this FFmpeg has no GIF encoder" : "this FFmpeg has no H.264 encoder", 0);
        videoStream_ = avformat_new_stream(av_.format, nullptr);
        av_.video = avcodec_alloc_context3(codec);
        if (!videoStream_ || !av_.video) fail("out of memory", AVERROR(ENOMEM));
        av_.video->width = width;
        av_.video->height = height;
        av_.video->pix_fmt = pixels;
        av_.video->time_base = kind_ == OutputKind::Gif ? AVRational{1, 100} : AVRational{1, fps_};
        av_.video->framerate = AVRational{fps_, 1};
        if (kind_ == OutputKind::Mp4) {
            av_.video->gop_size = fps_ * 2;
            // Two threads at most: the machines this runs on are often shared; x264's output does not
            // depend on the thread count, so renders stay reproducible.
            av_.video->thread_count = 2;
            av_opt_set(av_.video->priv_data, "preset", "veryfast", 0);
            av_opt_set(av_.video->priv_data, "crf", "20", 0);
        }
        if (av_.format->oformat->flags & AVFMT_GLOBALHEADER) av_.video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        int result = avcodec_open2(av_.video, codec, nullptr);
        if (result < 0) fail("cannot open the video encoder", result);
        result = avcodec_parameters_from_context(videoStream_->codecpar, av_.video);
        if (result < 0) fail("cannot describe the video stream", result);
        videoStream_->time_base = av_.video->time_base;

        av_.videoFrame = av_frame_alloc();
        if (!av_.videoFrame) fail("out of memory", AVERROR(ENOMEM));
        av_.videoFrame->format = pixels;
        av_.videoFrame->width = width;
        av_.videoFrame->height = height;
        result = av_frame_get_buffer(av_.videoFrame, 0);
        if (result < 0) fail("cannot allocate a frame", result);
        scaler_ = std::make_unique<Scaler>(width, height, pixels);
    }

    void openAudio() {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (!codec) fail("this FFmpeg has no AAC encoder", 0);
        audioStream_ = avformat_new_stream(av_.format, nullptr);
        av_.audio = avcodec_alloc_context3(codec);
        if (!audioStream_ || !av_.audio) fail("out of memory", AVERROR(ENOMEM));
        av_.audio->sample_fmt = AV_SAMPLE_FMT_FLTP;
        av_.audio->sample_rate = 44100;
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        av_channel_layout_copy(&av_.audio->ch_layout, &stereo);
        av_.audio->bit_rate = 128000;
        av_.audio->time_base = AVRational{1, 44100};
        if (av_.format->oformat->flags & AVFMT_GLOBALHEADER) av_.audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        int result = avcodec_open2(av_.audio, codec, nullptr);
        if (result < 0) fail("cannot open the AAC encoder", result);
        result = avcodec_parameters_from_context(audioStream_->codecpar, av_.audio);
        if (result < 0) fail("cannot describe the sound stream", result);
        audioStream_->time_base = av_.audio->time_base;
        av_.audioFrame = av_frame_alloc();
        if (!av_.audioFrame) fail("out of memory", AVERROR(ENOMEM));
    }

    void encodeSound(const std::int16_t* stereo, std::size_t frames) {
        av_frame_unref(av_.audioFrame);
        av_.audioFrame->format = AV_SAMPLE_FMT_FLTP;
        av_.audioFrame->sample_rate = 44100;
        av_channel_layout_copy(&av_.audioFrame->ch_layout, &av_.audio->ch_layout);
        av_.audioFrame->nb_samples = static_cast<int>(frames);
        int result = av_frame_get_buffer(av_.audioFrame, 0);
        if (result < 0) fail("cannot allocate sound", result);
        auto* left = reinterpret_cast<float*>(av_.audioFrame->data[0]);
        auto* right = reinterpret_cast<float*>(av_.audioFrame->data[1]);
        for (std::size_t i = 0; i < frames; ++i) {
            left[i] = static_cast<float>(stereo[2 * i]) / 32768.0f;
            right[i] = static_cast<float>(stereo[2 * i + 1]) / 32768.0f;
        }
        av_.audioFrame->pts = soundFrames_;
        soundFrames_ += static_cast<std::int64_t>(frames);
        encode(av_.audio, audioStream_, av_.audioFrame);
    }

    void encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame) {
        int result = avcodec_send_frame(codec, frame);
        if (result < 0) fail("the encoder refused a frame", result);
        while ((result = avcodec_receive_packet(codec, av_.packet)) >= 0) {
            av_packet_rescale_ts(av_.packet, codec->time_base, stream->time_base);
            av_.packet->stream_index = stream->index;
            result = av_interleaved_write_frame(av_.format, av_.packet);
            if (result < 0) fail("cannot write", result);
        }
        if (result != AVERROR(EAGAIN) && result != AVERROR_EOF) fail("the encoder failed", result);
    }

    // The library's objects, freed also when the constructor gives up half way.
    struct Handles {
        AVFormatContext* format = nullptr;
        AVCodecContext* video = nullptr;
        AVCodecContext* audio = nullptr;
        AVFrame* videoFrame = nullptr;
        AVFrame* audioFrame = nullptr;
        AVPacket* packet = nullptr;
        Handles() = default;
        Handles(const Handles&) = delete;
        Handles& operator=(const Handles&) = delete;
        ~Handles() {
            av_packet_free(&packet);
            av_frame_free(&videoFrame);
            av_frame_free(&audioFrame);
            avcodec_free_context(&video);
            avcodec_free_context(&audio);
            if (format) {
                if (format->pb && !(format->oformat->flags & AVFMT_NOFILE)) avio_closep(&format->pb);
                avformat_free_context(format);
            }
        }
    };

    std::string path_;
    PendingOutput pending_;  // outlives the library's objects, which close its file first
    OutputKind kind_;
    std::int32_t fps_;
    Handles av_;
    AVStream* videoStream_ = nullptr;
    AVStream* audioStream_ = nullptr;
    std::unique_ptr<Scaler> scaler_;
    std::int64_t frames_ = 0;
    std::int64_t soundFrames_ = 0;
    std::vector<std::int16_t> pendingSound_;
};

}  // namespace

OutputKind outputKindOf(const std::string& out) {
    std::error_code error;
    if (!out.empty() && (out.back() == '/' || fs::is_directory(out, error))) return OutputKind::PngFrames;
    const std::string extension = lowerExtension(out);
    if (extension == ".gif") return OutputKind::Gif;
    if (extension == ".mp4" || extension == ".mov" || extension == ".mkv") return OutputKind::Mp4;
    throw UsageError("--out: '" + out + "' is neither a video (.mp4, .mov, .mkv), a GIF (.gif) nor a directory for PNG frames (ending in /)");
}

std::unique_ptr<ShowWriter> openShowWriter(OutputKind kind, const std::string& out, std::int32_t width, std::int32_t height, std::int32_t fps) {
    if (kind == OutputKind::PngFrames) return std::make_unique<PngFrameWriter>(out, width, height);
    return std::make_unique<MediaFileWriter>(out, kind, width, height, fps);
}

void writePngFile(const std::string& path, std::int32_t width, std::int32_t height, const std::uint8_t* rgb) {
    std::string error;
    if (!hostengine::writePng(path, width, height, rgb, &error)) throw WriteError(path + ": cannot write the PNG file (" + error + ")");
}

}  // namespace pawnstage
