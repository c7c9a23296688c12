// The bundled samples as the build generated them, read back through the host's "avifile" factory
// and its WAV decoder: figures an author can build on, sounds without clicks, and the same bytes
// every time they are generated.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "host/core/host_engine.h"
#include "host/core/sound_factory.h"
#include "host/media/ffmpeg_video.h"
#include "tools/samplegen/samples.h"
#include "tests/media/scratch_files.h"

namespace {

namespace fs = std::filesystem;
using scratch::readFile;

const fs::path kSamples = PAWN_SAMPLES_DIR;

TEST(SampleContent, FiguresHaveSoftEdgesAndStayInsideTheirFrames) {
    for (const char* figure : {"pawns/robot", "pawns/blob", "producer/pingouin", "producer/bonus01.avi", "producer/bonus10.avi"}) {
        SCOPED_TRACE(figure);
        const fs::path path = fs::path(figure).extension() == ".avi" ? kSamples / figure : kSamples / figure / "dual.avi";
        std::string error;
        auto source = hostengine::FfmpegFrameSource::open(path.string(), error);
        ASSERT_TRUE(source) << error;
        const int width = source->width(), height = source->height();
        std::vector<std::uint8_t> frame(static_cast<std::size_t>(width) * height * 4);
        bool soft = false;
        for (int f = 0; f < source->frameCount(); ++f) {
            ASSERT_TRUE(source->readFrame(f, frame.data()));
            for (std::size_t i = 3; i < frame.size(); i += 4) soft |= frame[i] > 0 && frame[i] < 255;
            // However high the figure jumps or wide it reaches, the frame's edges do not cut it.
            auto alphaAt = [&](int x, int y) { return frame[(static_cast<std::size_t>(y) * width + x) * 4 + 3]; };
            int touching = 0;
            for (int x = 0; x < width; ++x) touching += (alphaAt(x, 0) | alphaAt(x, height - 1)) != 0;
            for (int y = 0; y < height; ++y) touching += (alphaAt(0, y) | alphaAt(width - 1, y)) != 0;
            EXPECT_EQ(touching, 0) << "frame " << f;
        }
        EXPECT_TRUE(source->hasAlpha() && soft);
    }
}

TEST(SampleContent, SoundsAreShortFadedDistinctPcm) {
    std::vector<std::vector<std::int16_t>> seen;
    for (const char* name : {"buzz1.wav", "buzz2.wav", "buzz3.wav", "buzz4.wav", "producer/scoresnd.wav"}) {
        SCOPED_TRACE(name);
        const std::string bytes = readFile(kSamples / name);
        std::string error;
        auto sound = hostengine::decodeWav(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), &error);
        ASSERT_TRUE(sound) << error;
        const double seconds = static_cast<double>(sound->frames()) / sound->rate;
        EXPECT_TRUE(sound->channels == 1 && sound->sourceBits == 16 && seconds >= 0.3 && seconds <= 0.8) << seconds;
        // Silence at both ends, no click; loud enough in between to be heard.
        EXPECT_LE(std::abs(sound->samples.front()) + std::abs(sound->samples.back()), 400);
        int loudest = 0;
        for (std::int16_t s : sound->samples) loudest = std::max(loudest, std::abs(static_cast<int>(s)));
        EXPECT_GT(loudest, 16000);
        for (const auto& earlier : seen) EXPECT_NE(sound->samples, earlier);
        seen.push_back(sound->samples);
    }
}

TEST(SampleContent, GeneratingAgainGivesTheSameBytes) {
    scratch::TempDir again("pawn_samples");
    samplegen::writeSamples(again.path());
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(again.path())) {
        if (!entry.is_regular_file()) continue;
        const fs::path relative = fs::relative(entry.path(), again.path());
        EXPECT_EQ(readFile(entry.path()), readFile(kSamples / relative)) << relative;
        ++files;
    }
    EXPECT_EQ(files, 2 * 2 + 2 + 10 + 1 + 4 + 1);
}

}  // namespace
