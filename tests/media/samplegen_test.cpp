// The bundled samples as the build generated them, read back through the host's "avifile" factory,
// its INI parser and its WAV decoder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/core/archive_base.h"
#include "host/core/archive_ini.h"
#include "host/core/host_engine.h"
#include "host/core/sound_factory.h"
#include "host/media/ffmpeg_video.h"
#include "tools/pawnstage/check_archive.h"
#include "tools/samplegen/samples.h"
#include "tests/media/scratch_files.h"

namespace {

namespace fs = std::filesystem;
using scratch::readFile;

const fs::path kSamples = PAWN_SAMPLES_DIR;

// Every frame of a video as BGRA, decoded by the host's factory in playing order.
struct Decoded {
    int width = 0;
    int height = 0;
    bool hasAlpha = false;
    std::vector<std::vector<std::uint8_t>> frames;
};

Decoded decodeAll(const fs::path& path) {
    hostengine::HostEngine engine;
    auto factory = hostengine::registerFfmpegVideoFactory(engine);
    Decoded decoded;
    InterfaceTable* handle = factory->open(path.string().c_str());
    EXPECT_NE(handle, nullptr) << factory->lastError();
    if (!handle) return decoded;
    hostengine::HostVideo* video = factory->videoOf(handle);
    auto* source = dynamic_cast<hostengine::FfmpegFrameSource*>(&video->source());
    decoded.width = source->width();
    decoded.height = source->height();
    for (int i = 0; i < source->frameCount(); ++i) {
        std::vector<std::uint8_t> frame(static_cast<std::size_t>(decoded.width) * decoded.height * 4);
        EXPECT_TRUE(source->readFrame(i, frame.data())) << path << " frame " << i;
        decoded.frames.push_back(std::move(frame));
    }
    decoded.hasAlpha = source->hasAlpha();
    factory->close(handle);
    return decoded;
}

struct SequenceRun {
    int count;
    int first;
};

std::map<std::string, SequenceRun> colorTable(const fs::path& archive) {
    std::map<std::string, SequenceRun> runs;
    for (const auto& section : hostengine::parseIni(readFile(archive / "sequence.ini")).sections) {
        if (section.name != "color") continue;
        for (const auto& key : section.keys) {
            std::size_t at = key.value.find('@');
            EXPECT_NE(at, std::string::npos) << key.key;
            runs[key.key] = SequenceRun{std::stoi(key.value.substr(0, at)), std::stoi(key.value.substr(at + 1))};
        }
    }
    return runs;
}

struct Figure {
    fs::path archive;
    const std::vector<std::string>& sequences;
};

std::vector<Figure> figures() {
    return {{kSamples / "pawns" / "robot", pawnstage::pawnSequenceNames()},
            {kSamples / "pawns" / "blob", pawnstage::pawnSequenceNames()},
            {kSamples / "producer" / "pingouin", pawnstage::penguinSequenceNames()}};
}

bool hasSoftEdges(const Decoded& video) {
    for (const auto& frame : video.frames)
        for (std::size_t i = 3; i < frame.size(); i += 4)
            if (frame[i] > 0 && frame[i] < 255) return true;
    return false;
}

// Mean colour of the opaque-enough pixels of a frame.
struct Mean {
    double red = 0, green = 0, blue = 0;
};

Mean meanColour(const std::vector<std::uint8_t>& bgra) {
    Mean mean;
    double weight = 0;
    for (std::size_t i = 0; i < bgra.size(); i += 4) {
        if (bgra[i + 3] < 128) continue;
        mean.blue += bgra[i], mean.green += bgra[i + 1], mean.red += bgra[i + 2];
        weight += 1;
    }
    if (weight > 0) mean.red /= weight, mean.green /= weight, mean.blue /= weight;
    return mean;
}

TEST(SampleContent, FiguresDecodeToAPawnFrameWithSoftEdgesInsideTheFrame) {
    for (const Figure& figure : figures()) {
        SCOPED_TRACE(figure.archive.string());
        Decoded video = decodeAll(figure.archive / "dual.avi");
        EXPECT_EQ(video.width, 150);
        EXPECT_EQ(video.height, 200);
        EXPECT_TRUE(video.hasAlpha && hasSoftEdges(video));
        // No frame is cut by the frame's edges, however high the figure jumps or wide it reaches.
        for (std::size_t f = 0; f < video.frames.size(); ++f) {
            const auto& frame = video.frames[f];
            auto alphaAt = [&](int x, int y) { return frame[(static_cast<std::size_t>(y) * video.width + x) * 4 + 3]; };
            int touching = 0;
            for (int x = 0; x < video.width; ++x) touching += (alphaAt(x, 0) | alphaAt(x, video.height - 1)) != 0;
            for (int y = 0; y < video.height; ++y) touching += (alphaAt(0, y) | alphaAt(video.width - 1, y)) != 0;
            EXPECT_EQ(touching, 0) << "frame " << f;
        }
    }
}

TEST(SampleContent, SequenceTablesCutTheWholeVideoIntoOneSecondRuns) {
    for (const Figure& figure : figures()) {
        SCOPED_TRACE(figure.archive.string());
        std::map<std::string, SequenceRun> runs = colorTable(figure.archive);
        std::set<std::string> expected(figure.sequences.begin(), figure.sequences.end());
        std::set<std::string> listed;
        for (const auto& [name, run] : runs) listed.insert(name);
        EXPECT_EQ(listed, expected);
        const int frames = static_cast<int>(decodeAll(figure.archive / "dual.avi").frames.size());
        // Runs of 8 to 16 frames (about a second at 83 ms a frame) that tile the video exactly.
        std::vector<bool> covered(static_cast<std::size_t>(frames), false);
        for (const auto& [name, run] : runs) {
            EXPECT_TRUE(run.count >= 8 && run.count <= 16) << name;
            ASSERT_GE(run.first, 0) << name;
            ASSERT_LE(run.first + run.count, frames) << name;
            for (int f = run.first; f < run.first + run.count; ++f) {
                EXPECT_FALSE(covered[static_cast<std::size_t>(f)]) << name << " overlaps at frame " << f;
                covered[static_cast<std::size_t>(f)] = true;
            }
        }
        EXPECT_EQ(std::count(covered.begin(), covered.end(), false), 0);
    }
}

TEST(SampleContent, FigureRestsOnCalmFramesAndFreezesIcy) {
    for (const Figure& figure : figures()) {
        SCOPED_TRACE(figure.archive.string());
        std::map<std::string, SequenceRun> runs = colorTable(figure.archive);
        Decoded video = decodeAll(figure.archive / "dual.avi");
        auto first = [&](const std::string& name) { return video.frames[static_cast<std::size_t>(runs.at(name).first)]; };
        // A pawn rests on frame 0 of a run after it wraps: the idles and buzzes share the calm pose...
        for (const std::string& name : figure.sequences) {
            if (name.rfind("wait", 0) == 0 || name.rfind("buzz", 0) == 0 || name.rfind("l_", 0) == 0) {
                EXPECT_EQ(first(name), first("wait01")) << name;
            }
        }
        // ...and "freeze" rests on its first frame, which is already icy: paler than the calm pose, and blue.
        Mean calm = meanColour(first("wait01")), frozen = meanColour(first("freeze"));
        EXPECT_GT(frozen.red + frozen.green + frozen.blue, calm.red + calm.green + calm.blue + 45);
        EXPECT_TRUE(frozen.blue > frozen.red + 10 && frozen.blue > frozen.green);
    }
}

TEST(SampleContent, BonusPicturesAreTenDistinctOneFrameBadges) {
    std::vector<std::vector<std::uint8_t>> pictures;
    for (int number = 1; number <= 10; ++number) {
        char name[16];
        std::snprintf(name, sizeof name, "bonus%02d.avi", number);
        SCOPED_TRACE(name);
        Decoded video = decodeAll(kSamples / "producer" / name);
        ASSERT_EQ(video.frames.size(), 1u);
        EXPECT_EQ(video.width * video.height, 48 * 48);
        EXPECT_TRUE(video.hasAlpha && hasSoftEdges(video));
        EXPECT_EQ(video.frames[0][3], 0) << "the corner lies outside the round badge";
        for (const auto& earlier : pictures) EXPECT_NE(video.frames[0], earlier);
        pictures.push_back(video.frames[0]);
    }
}

TEST(SampleContent, SoundsAreShortFadedDistinctPcm) {
    std::vector<fs::path> paths;
    for (int number = 1; number <= 4; ++number) paths.push_back(kSamples / ("buzz" + std::to_string(number) + ".wav"));
    paths.push_back(kSamples / "producer" / "scoresnd.wav");
    std::vector<std::vector<std::int16_t>> seen;
    for (const fs::path& path : paths) {
        SCOPED_TRACE(path.string());
        std::string bytes = readFile(path);
        std::string error;
        auto sound = hostengine::decodeWav(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), &error);
        ASSERT_TRUE(sound) << error;
        EXPECT_TRUE(sound->channels == 1 && sound->sourceBits == 16 && (sound->rate == 22050 || sound->rate == 44100));
        const double seconds = static_cast<double>(sound->frames()) / sound->rate;
        EXPECT_TRUE(seconds >= 0.3 && seconds <= 0.8) << seconds;
        // Fades: silence at both ends, no click; and loud enough in between to be heard.
        EXPECT_LE(std::abs(sound->samples.front()), 200);
        EXPECT_LE(std::abs(sound->samples.back()), 200);
        int loudest = 0;
        for (std::int16_t s : sound->samples) loudest = std::max(loudest, std::abs(static_cast<int>(s)));
        EXPECT_GT(loudest, 16000);
        for (const auto& earlier : seen) EXPECT_NE(sound->samples, earlier);
        seen.push_back(sound->samples);
    }
    EXPECT_EQ(readFile(kSamples / "scorefontphase"), "2\n");
}

TEST(SampleContent, GeneratingAgainGivesTheSameBytes) {
    const fs::path again = fs::temp_directory_path() / ("pawn_samples_" + std::to_string(::getpid()));
    fs::remove_all(again);
    samplegen::writeSamples(again);
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(again)) {
        if (!entry.is_regular_file()) continue;
        const fs::path relative = fs::relative(entry.path(), again);
        EXPECT_EQ(readFile(entry.path()), readFile(kSamples / relative)) << relative;
        ++files;
    }
    EXPECT_EQ(files, 2 * 2 + 2 + 10 + 1 + 4 + 1);
    fs::remove_all(again);
}

}  // namespace
