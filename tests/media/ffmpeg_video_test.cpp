#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

#include "core/allocator.h"
#include "host/core/raw_avi.h"
#include "host/media/ffmpeg_video.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
}

using namespace hostengine;
namespace fs = std::filesystem;

namespace {

struct TempDir {
    fs::path path;
    TempDir() {
        path = fs::temp_directory_path() / (std::string("pawn_ffmpeg_") + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                                            std::to_string(::getpid()));
        fs::remove_all(path);
        fs::create_directories(path);
        av_log_set_level(AV_LOG_QUIET);  // the refused files make the demuxer complain
    }
    ~TempDir() { fs::remove_all(path); }
    std::string file(const std::string& name) const { return (path / name).string(); }
};

std::vector<std::uint8_t> pattern(int width, int height, int f) {
    std::vector<std::uint8_t> bgra(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &bgra[(static_cast<std::size_t>(y) * width + x) * 4];
            p[0] = static_cast<std::uint8_t>(x * 9 + f * 5);
            p[1] = static_cast<std::uint8_t>(y * 11 + f * 17);
            p[2] = static_cast<std::uint8_t>(200 - 6 * f + x);
            p[3] = static_cast<std::uint8_t>((x * 3 + y * 29 + f * 41) & 0xFF);
        }
    return bgra;
}

// Encodes BGRA frames with one of FFmpeg's own encoders, in its pixel format `format`, into an AVI
// (or another container).
void encodeAvi(const std::string& path, const char* encoderName, AVPixelFormat format, int width, int height, int frames, int gop,
               const char* container = "avi") {
    const AVCodec* encoder = avcodec_find_encoder_by_name(encoderName);
    ASSERT_NE(encoder, nullptr) << encoderName;
    AVFormatContext* output = nullptr;
    ASSERT_GE(avformat_alloc_output_context2(&output, nullptr, container, path.c_str()), 0);
    AVStream* stream = avformat_new_stream(output, nullptr);
    AVCodecContext* codec = avcodec_alloc_context3(encoder);
    codec->width = width;
    codec->height = height;
    codec->pix_fmt = format;
    codec->time_base = AVRational{1, 12};
    codec->gop_size = gop;
    codec->thread_count = 1;
    if (output->oformat->flags & AVFMT_GLOBALHEADER) codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    ASSERT_GE(avcodec_open2(codec, encoder, nullptr), 0) << encoderName;
    ASSERT_GE(avcodec_parameters_from_context(stream->codecpar, codec), 0);
    stream->time_base = codec->time_base;
    ASSERT_GE(avio_open(&output->pb, path.c_str(), AVIO_FLAG_WRITE), 0);
    ASSERT_GE(avformat_write_header(output, nullptr), 0);

    AVFrame* frame = av_frame_alloc();
    frame->format = format;
    frame->width = width;
    frame->height = height;
    ASSERT_GE(av_frame_get_buffer(frame, 0), 0);
    AVPacket* packet = av_packet_alloc();
    auto drain = [&] {
        while (avcodec_receive_packet(codec, packet) == 0) {
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            av_interleaved_write_frame(output, packet);
        }
    };
    for (int f = 0; f < frames; ++f) {
        ASSERT_GE(av_frame_make_writable(frame), 0);
        std::vector<std::uint8_t> bgra = pattern(width, height, f);
        // Filled by hand: swscale drops the alpha on its way to planar GBRA.
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const std::uint8_t* p = &bgra[(static_cast<std::size_t>(y) * width + x) * 4];
                auto at = [&](int plane, int bytesPerPixel) { return frame->data[plane] + y * frame->linesize[plane] + x * bytesPerPixel; };
                if (format == AV_PIX_FMT_BGRA) {
                    std::memcpy(at(0, 4), p, 4);
                } else if (format == AV_PIX_FMT_RGBA) {
                    const std::uint8_t rgba[4] = {p[2], p[1], p[0], p[3]};
                    std::memcpy(at(0, 4), rgba, 4);
                } else {  // GBRAP
                    *at(0, 1) = p[1], *at(1, 1) = p[0], *at(2, 1) = p[2], *at(3, 1) = p[3];
                }
            }
        frame->pts = f;
        ASSERT_GE(avcodec_send_frame(codec, frame), 0);
        drain();
    }
    avcodec_send_frame(codec, nullptr);
    drain();
    av_write_trailer(output);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&codec);
    avio_closep(&output->pb);
    avformat_free_context(output);
}

// The frame the video shows must be frame f of the pattern: colour to 5 bits, alpha exactly.
void expectShows(IVideo* video, int width, int height, int f) {
    IBitmap* colour = video->bitmap(0)->find<IBitmap>("IBitmap");
    IBitmap* alpha = video->bitmap(1)->find<IBitmap>("IBitmap");
    ASSERT_TRUE(colour && alpha);
    PixelRows* c = colour->lockRows(0, height - 1);
    PixelRows* a = alpha->lockRows(0, height - 1);
    ASSERT_TRUE(c && a);
    std::vector<std::uint8_t> expected = pattern(width, height, f);
    int wrongColour = 0, wrongAlpha = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = &expected[(static_cast<std::size_t>(y) * width + x) * 4];
            std::uint16_t rgb = reinterpret_cast<const std::uint16_t*>(static_cast<std::uint8_t*>(c->pixels) + y * c->pitch)[x];
            std::uint16_t want = static_cast<std::uint16_t>(((p[2] >> 3) << 10) | ((p[1] >> 3) << 5) | (p[0] >> 3));
            wrongColour += rgb != want;
            wrongAlpha += static_cast<std::uint8_t*>(a->pixels)[y * a->pitch + x] != p[3];
        }
    EXPECT_EQ(wrongColour, 0) << "frame " << f;
    EXPECT_EQ(wrongAlpha, 0) << "frame " << f;
    colour->unlockRows(c);
    alpha->unlockRows(a);
}

std::vector<char> bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const std::string& path, const std::vector<char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

TEST(FfmpegVideo, DecodesAlphaCodecsToExactColourAndAlphaPictures) {
    TempDir dir;
    HostEngine engine;
    auto factory = registerFfmpegVideoFactory(engine);
    ASSERT_EQ(interfaceFrom<IVideoFactory>(engine.findInterface("avifile", "IVideoFactory")), static_cast<IVideoFactory*>(factory.get()));
    struct Case {
        const char* encoder;
        AVPixelFormat format;
        int gop;
    };
    const Case cases[] = {{"ffv1", AV_PIX_FMT_BGRA, 4}, {"png", AV_PIX_FMT_RGBA, 1}, {"utvideo", AV_PIX_FMT_GBRAP, 1}};
    for (const Case& c : cases) {
        std::string path = dir.file(std::string(c.encoder) + ".avi");
        encodeAvi(path, c.encoder, c.format, 9, 7, 10, c.gop);
        InterfaceTable* handle = factory->open(path.c_str());
        ASSERT_NE(handle, nullptr) << c.encoder << ": " << factory->lastError();
        IVideo* video = handle->find<IVideo>("IVideo");
        EXPECT_EQ(video->frameCount(), 10) << c.encoder;
        EXPECT_EQ(video->size().x, 9);
        EXPECT_EQ(video->size().y, 7);
        EXPECT_EQ(video->bitmapCount(), 2);
        EXPECT_EQ(video->bitmap(0)->find<IBitmap>("IBitmap")->info()->bitsPerPixel, 16);
        EXPECT_EQ(video->bitmap(1)->find<IBitmap>("IBitmap")->info()->bitsPerPixel, 8);
        auto* source = static_cast<FfmpegFrameSource*>(&factory->videoOf(handle)->source());
        EXPECT_TRUE(source->hasAlpha()) << c.encoder;
        for (int f = 0; f < 10; ++f) {
            if (f > 0) {
                EXPECT_EQ(video->next(), 1);
            }
            expectShows(video, 9, 7, f);
        }
        EXPECT_EQ(video->next(), 0);
        expectShows(video, 9, 7, 9);
        factory->close(handle);
    }
}

TEST(FfmpegVideo, SeeksExactlyAcrossKeyFramesAndStepsWithoutSeeking) {
    TempDir dir;
    HostEngine engine;
    FfmpegVideoFactory factory;
    std::string path = dir.file("gop.avi");
    encodeAvi(path, "ffv1", AV_PIX_FMT_BGRA, 6, 5, 20, 5);  // key frames 0, 5, 10, 15
    InterfaceTable* handle = factory.open(path.c_str());
    ASSERT_NE(handle, nullptr) << factory.lastError();
    IVideo* video = handle->find<IVideo>("IVideo");
    auto* source = static_cast<FfmpegFrameSource*>(&factory.videoOf(handle)->source());

    struct Step {
        int target;
        bool seeks;  // whether reaching it needs a seek in the file
    };
    const Step steps[] = {
        {7, true},    // forward past key frame 5: from 5
        {8, false},   // next
        {9, false},
        {12, true},   // past key frame 10
        {13, false},
        {3, true},    // backwards
        {4, false},   // forward in the same group
        {17, true},
        {0, true},
        {19, true},
        {18, true},
    };
    for (const Step& step : steps) {
        int seeksBefore = source->seeksMade();
        EXPECT_EQ(video->seek(step.target), 1);
        expectShows(video, 6, 5, step.target);
        EXPECT_EQ(source->seeksMade() > seeksBefore, step.seeks) << "to " << step.target;
    }
    // Decoding forward from a key frame costs at most the frames of one group per seek.
    int decodedBefore = source->framesDecoded();
    video->seek(14);
    EXPECT_LE(source->framesDecoded() - decodedBefore, 5);
    EXPECT_EQ(video->seek(20), 0);
    EXPECT_EQ(video->seek(-1), 0);
    expectShows(video, 6, 5, 14);
    factory.close(handle);
}

TEST(FfmpegVideo, ReadsTheUncompressedFilesOfTheRawWriter) {
    TempDir dir;
    HostEngine engine;
    FfmpegVideoFactory factory;
    for (bool bottomUp : {true, false}) {
        std::string path = dir.file(bottomUp ? "up.avi" : "down.avi");
        std::vector<std::vector<std::uint8_t>> frames;
        for (int f = 0; f < 4; ++f) frames.push_back(pattern(5, 3, f));
        ASSERT_TRUE(writeRawAvi(path, 5, 3, 12, frames, bottomUp));
        InterfaceTable* handle = factory.open(path.c_str());
        ASSERT_NE(handle, nullptr) << factory.lastError();
        IVideo* video = handle->find<IVideo>("IVideo");
        EXPECT_EQ(video->frameCount(), 4);
        for (int f : {0, 3, 1, 2}) {
            video->seek(f);
            expectShows(video, 5, 3, f);
        }
        factory.close(handle);
    }
}

TEST(FfmpegVideo, RefusesMissingTruncatedForeignAndHugeFiles) {
    TempDir dir;
    HostEngine engine;
    FfmpegVideoFactory factory;
    std::string good = dir.file("good.avi");
    encodeAvi(good, "ffv1", AV_PIX_FMT_BGRA, 8, 8, 6, 1);
    const std::vector<char> bytes = bytesOf(good);

    EXPECT_EQ(factory.open(dir.file("missing.avi").c_str()), nullptr);
    writeBytes(dir.file("text.avi"), {'n', 'o', 't', ' ', 'a', 'v', 'i'});
    EXPECT_EQ(factory.open(dir.file("text.avi").c_str()), nullptr);
    writeBytes(dir.file("empty.avi"), {});
    EXPECT_EQ(factory.open(dir.file("empty.avi").c_str()), nullptr);

    // The same pictures in another container: not an AVI.
    std::string matroska = dir.file("other.avi");
    encodeAvi(matroska, "ffv1", AV_PIX_FMT_BGRA, 8, 8, 2, 1, "matroska");
    EXPECT_EQ(factory.open(matroska.c_str()), nullptr);
    std::string raw = dir.file("raw.avi");
    ASSERT_TRUE(writeRawAvi(raw, 4, 4, 12, {pattern(4, 4, 0), pattern(4, 4, 1)}));
    std::vector<char> huge = bytesOf(raw);
    for (std::size_t at : {std::size_t{172 + 4}, std::size_t{32 + 32}})  // strf and avih widths
        for (int i = 0; i < 4; ++i) huge[at + i] = static_cast<char>(9000 >> (8 * i));
    writeBytes(dir.file("huge.avi"), huge);
    EXPECT_EQ(factory.open(dir.file("huge.avi").c_str()), nullptr);

    // Cut anywhere from the header to the last frame, the file is refused rather than shown short.
    for (std::size_t cut : {std::size_t{16}, std::size_t{100}, bytes.size() / 2, bytes.size() - 200}) {
        std::string path = dir.file("cut.avi");
        writeBytes(path, std::vector<char>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut)));
        EXPECT_EQ(factory.open(path.c_str()), nullptr) << "cut at " << cut << " of " << bytes.size();
    }
    EXPECT_EQ(factory.openVideos(), 0u);
}

TEST(FfmpegVideo, LargeFramesOpenAndEverythingIsReleasedOnClose) {
    TempDir dir;
    HostEngine engine;
    const std::int64_t before = allocationStats().live;
    {
        FfmpegVideoFactory factory;
        std::string path = dir.file("wide.avi");
        encodeAvi(path, "ffv1", AV_PIX_FMT_BGRA, 640, 4, 3, 1);
        InterfaceTable* handle = factory.open(path.c_str());
        ASSERT_NE(handle, nullptr) << factory.lastError();
        EXPECT_EQ(handle->find<IVideo>("IVideo")->size().x, 640);
        IVideo* video = handle->find<IVideo>("IVideo");
        video->seek(2);
        expectShows(video, 640, 4, 2);
        factory.close(handle);
        EXPECT_EQ(engine.findInterface(nullptr, "IVideo"), 0u);
        factory.open(path.c_str());  // left open: the factory closes it
    }
    EXPECT_EQ(engine.findInterface(nullptr, "IBitmap"), 0u);
    EXPECT_EQ(allocationStats().live, before);
}
