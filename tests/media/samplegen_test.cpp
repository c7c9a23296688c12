// The bundled samples as the build generated them, read back through the host's "avifile" factory
// and its WAV decoder: figures an author can build on, sounds without clicks, and the same bytes
// every time they are generated.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>

#include "host/core/host_engine.h"
#include "host/core/sound_factory.h"
#include "host/media/ffmpeg_video.h"
#include "tools/samplegen/samples.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testfiles::readFile;

const fs::path kSamples = PAWN_SAMPLES_DIR;

// Mean colour (red, green, blue) of the opaque-enough pixels of a frame.
std::array<double, 3> meanColour(const std::vector<std::uint8_t>& bgra) {
    std::array<double, 3> sum{};
    double weight = 0;
    for (std::size_t i = 0; i < bgra.size(); i += 4)
        if (bgra[i + 3] >= 128) sum[0] += bgra[i + 2], sum[1] += bgra[i + 1], sum[2] += bgra[i], weight += 1;
    for (double& component : sum) component /= std::max(weight, 1.0);
    return sum;
}

TEST(SampleContent, FiguresHaveSoftEdgesStayInsideTheirFramesAndRestOnACalmPoseAndFreezeIcy) {
    for (const char* figure : {"pawns/robot", "pawns/blob", "producer/pingouin", "producer/bonus01.avi", "producer/bonus10.avi"}) {
        SCOPED_TRACE(figure);
        const bool archive = fs::path(figure).extension() != ".avi";
        std::string error;
        auto source = hostengine::FfmpegFrameSource::open((archive ? kSamples / figure / "dual.avi" : kSamples / figure).string(), error);
        ASSERT_TRUE(source) << error;
        const int width = source->width(), height = source->height();
        std::vector<std::vector<std::uint8_t>> frames(static_cast<std::size_t>(source->frameCount()));
        bool soft = false;
        for (std::size_t f = 0; f < frames.size(); ++f) {
            std::vector<std::uint8_t>& frame = frames[f];
            frame.resize(static_cast<std::size_t>(width) * height * 4);
            ASSERT_TRUE(source->readFrame(static_cast<int>(f), frame.data()));
            for (std::size_t i = 3; i < frame.size(); i += 4) soft |= frame[i] > 0 && frame[i] < 255;
            // However high the figure jumps or wide it reaches, the frame's edges do not cut it.
            auto alphaAt = [&](int x, int y) { return frame[(static_cast<std::size_t>(y) * width + x) * 4 + 3]; };
            int touching = 0;
            for (int x = 0; x < width; ++x) touching += (alphaAt(x, 0) | alphaAt(x, height - 1)) != 0;
            for (int y = 0; y < height; ++y) touching += (alphaAt(0, y) | alphaAt(width - 1, y)) != 0;
            EXPECT_EQ(touching, 0) << "frame " << f;
        }
        EXPECT_TRUE(source->hasAlpha() && soft);
        if (!archive) continue;
        // The first frame of a sequence, as its table entry names it.
        const std::string table = readFile(kSamples / figure / "sequence.ini");
        auto first = [&](const std::string& name) {
            return frames.at(std::stoul(table.substr(table.find('@', table.find("\n" + name + "=")) + 1)));
        };
        // A pawn rests on frame 0 of a run after it wraps: the idles and buzzes share the calm pose...
        const std::vector<std::uint8_t> calm = first("wait01");
        for (const char* name : {"wait02", "wait03", "buzz01", "buzz03"}) EXPECT_EQ(first(name), calm) << name;
        // ...and "freeze" rests on its first frame, which is already icy: paler than the calm pose, and blue.
        const auto still = meanColour(calm), frozen = meanColour(first("freeze"));
        EXPECT_GT(frozen[0] + frozen[1] + frozen[2], still[0] + still[1] + still[2] + 45);
        EXPECT_TRUE(frozen[2] > frozen[0] + 10 && frozen[2] > frozen[1]);
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
    testfiles::TempDir again("pawn_samples");
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
