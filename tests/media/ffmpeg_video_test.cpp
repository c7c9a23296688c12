// The host's "avifile" factory on files made here with FFmpeg's own encoders: exact pictures from
// every alpha codec, exact seeks across key frames, and refusal of files it cannot show whole.
#include <gtest/gtest.h>

#include <cstring>

#include "core/allocator.h"
#include "host/core/raw_avi.h"
#include "host/media/ffmpeg_video.h"
#include "tools/archive/encoded_file.h"
#include "tests/core/video_pattern.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

using namespace hostengine;
using namespace videotest;

namespace {

// The pattern's frames encoded by `encoderName` in its pixel format `format`, one key frame every `gop`.
void encodeAvi(const std::string& path, const char* encoderName, AVPixelFormat format, int width, int height, int frames, int gop,
               const char* container = "avi") {
    av_log_set_level(AV_LOG_QUIET);  // the refused files make the demuxer complain
    const AVCodec* encoder = avcodec_find_encoder_by_name(encoderName);
    ASSERT_NE(encoder, nullptr) << encoderName;
    pawnarchive::EncodedFile file(path, {container, encoder->id, format, width, height, 1, 12,
                                         [gop](AVCodecContext* codec) { codec->gop_size = gop; }});
    for (int f = 0; f < frames; ++f) {
        AVFrame* frame = file.frame();
        const std::vector<std::uint8_t> bgra = pattern(width, height, f);
        // Filled by hand: swscale drops the alpha on its way to planar GBRA.
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const std::uint8_t* p = &bgra[(static_cast<std::size_t>(y) * width + x) * 4];
                auto at = [&](int plane, int bytesPerPixel) { return frame->data[plane] + y * frame->linesize[plane] + x * bytesPerPixel; };
                const std::uint8_t rgba[4] = {p[2], p[1], p[0], p[3]};
                if (format == AV_PIX_FMT_BGRA) std::memcpy(at(0, 4), p, 4);
                else if (format == AV_PIX_FMT_RGBA) std::memcpy(at(0, 4), rgba, 4);
                else *at(0, 1) = p[1], *at(1, 1) = p[0], *at(2, 1) = p[2], *at(3, 1) = p[3];  // GBRAP
            }
        file.send(f);
    }
    file.finish();
}

}  // namespace

TEST(FfmpegVideo, DecodesAlphaCodecsToExactColourAndAlphaPictures) {
    TempDir dir;
    HostEngine engine;
    auto factory = registerFfmpegVideoFactory(engine);
    ASSERT_EQ(interfaceFrom<IVideoFactory>(engine.findInterface("avifile", "IVideoFactory")), static_cast<IVideoFactory*>(factory.get()));
    const struct {
        const char* encoder;
        AVPixelFormat format;
        int gop, width;
    } cases[] = {{"ffv1", AV_PIX_FMT_BGRA, 4, 9}, {"png", AV_PIX_FMT_RGBA, 1, 9}, {"utvideo", AV_PIX_FMT_GBRAP, 1, 9},
                 {"ffv1", AV_PIX_FMT_BGRA, 3, 640},  // wider than the module's blend map: opened all the same, the module clips
                 {"raw bottom-up", AV_PIX_FMT_NONE, 1, 5}, {"raw top-down", AV_PIX_FMT_NONE, 1, 5}};  // the host's own uncompressed writer
    const std::int64_t before = allocationStats().live;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.encoder) + " " + std::to_string(c.width));
        const std::string path = dir.file(std::to_string(&c - cases) + ".avi");
        std::vector<std::vector<std::uint8_t>> frames;
        for (int f = 0; f < 10; ++f) frames.push_back(pattern(c.width, 7, f));
        if (c.format == AV_PIX_FMT_NONE) ASSERT_TRUE(writeRawAvi(path, c.width, 7, 12, frames, std::string(c.encoder) == "raw bottom-up"));
        else encodeAvi(path, c.encoder, c.format, c.width, 7, 10, c.gop);
        InterfaceTable* handle = factory->open(path.c_str());
        ASSERT_NE(handle, nullptr) << factory->lastError();
        IVideo* video = handle->find<IVideo>("IVideo");
        EXPECT_EQ(video->frameCount(), 10);
        EXPECT_EQ(video->bitmapCount(), 2);
        for (int f = 0; f < 10; ++f) {
            if (f > 0) { EXPECT_EQ(video->next(), 1); }
            expectShows(video, c.width, 7, f);
        }
        EXPECT_EQ(video->next(), 0);
        expectShows(video, c.width, 7, 9);
        factory->close(handle);
    }
    EXPECT_EQ(engine.findInterface(nullptr, "IBitmap"), 0u);
    EXPECT_EQ(allocationStats().live, before);
}

TEST(FfmpegVideo, SeeksExactlyAcrossKeyFramesAndStepsWithoutSeeking) {
    TempDir dir;
    HostEngine engine;
    FfmpegVideoFactory factory;
    factory.cache().setLimit(0);  // every move decodes: what is counted here is the decoder's path
    const std::string path = dir.file("gop.avi");
    encodeAvi(path, "ffv1", AV_PIX_FMT_BGRA, 6, 5, 20, 5);  // key frames 0, 5, 10, 15
    InterfaceTable* handle = factory.open(path.c_str());
    ASSERT_NE(handle, nullptr) << factory.lastError();
    IVideo* video = handle->find<IVideo>("IVideo");
    auto* source = static_cast<FfmpegFrameSource*>(&factory.videoOf(handle)->source());
    // Forward past key frame 5, the next ones, past key frame 10, backwards, forward in the same group, ...
    const struct {
        int target;
        bool seeks;  // whether reaching it needs a seek in the file
    } steps[] = {{7, true}, {8, false}, {9, false}, {12, true}, {13, false}, {3, true}, {4, false}, {17, true}, {0, true}, {19, true}, {18, true}};
    for (const auto& step : steps) {
        const int seeksBefore = source->seeksMade();
        EXPECT_EQ(video->seek(step.target), 1);
        expectShows(video, 6, 5, step.target);
        EXPECT_EQ(source->seeksMade() > seeksBefore, step.seeks) << "to " << step.target;
    }
    // Decoding forward from a key frame costs at most the frames of one group per seek.
    const int decodedBefore = source->framesDecoded();
    video->seek(14);
    EXPECT_LE(source->framesDecoded() - decodedBefore, 5);
    EXPECT_EQ(video->seek(20) + video->seek(-1), 0);
    expectShows(video, 6, 5, 14);
    factory.close(handle);
}

TEST(FfmpegVideo, RefusesMissingTruncatedForeignAndHugeFiles) {
    TempDir dir;
    HostEngine engine;
    FfmpegVideoFactory factory;
    const std::string good = dir.file("good.avi"), matroska = dir.file("other.avi"), raw = dir.file("raw.avi");
    encodeAvi(good, "ffv1", AV_PIX_FMT_BGRA, 8, 8, 6, 1);
    encodeAvi(matroska, "ffv1", AV_PIX_FMT_BGRA, 8, 8, 2, 1, "matroska");  // the same pictures in another container: not an AVI
    const std::vector<char> bytes = bytesOf(good);
    ASSERT_TRUE(writeRawAvi(raw, 4, 4, 12, {pattern(4, 4, 0), pattern(4, 4, 1)}));
    std::vector<char> huge = bytesOf(raw);
    for (std::size_t at : {std::size_t{172 + 4}, std::size_t{32 + 32}})  // strf and avih widths
        for (int i = 0; i < 4; ++i) huge[at + i] = static_cast<char>(9000 >> (8 * i));
    writeBytes(dir.file("huge.avi"), huge);
    writeBytes(dir.file("text.avi"), {'n', 'o', 't', ' ', 'a', 'v', 'i'});
    writeBytes(dir.file("empty.avi"), {});
    for (const char* name : {"missing.avi", "text.avi", "empty.avi", "other.avi", "huge.avi"}) EXPECT_EQ(factory.open(dir.file(name).c_str()), nullptr) << name;
    // Cut anywhere from the header to the last frame, the file is refused rather than shown short.
    for (std::size_t cut : {std::size_t{16}, std::size_t{100}, bytes.size() / 2, bytes.size() - 200}) {
        writeBytes(dir.file("cut.avi"), std::vector<char>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut)));
        EXPECT_EQ(factory.open(dir.file("cut.avi").c_str()), nullptr) << "cut at " << cut << " of " << bytes.size();
    }
    EXPECT_EQ(factory.openVideos(), 0u);
}
