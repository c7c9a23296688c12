// One frame of a show as a game drives the plug-in: four pawns made through the loaded pawn.kvx's
// factory, risen into view with their scores shown, one of them blinking a bonus in use, scores
// changing now and then; each frame moves the host clock by 16 ms, updates every pawn and draws every
// pawn through its IVisible onto a 640 x 480 surface, with the host's producer, sounds, FFmpeg videos
// and a FreeType font. Timed whole, update only and draw only, with two hosts: the reference host as it
// is, decoding a video frame whenever a pawn steps to it, and one that holds every decoded frame in
// memory, as a game that preloads its pawns would, so that what remains is the module's work and
// the host's drawing.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench.h"
#include "host/core/host_engine.h"
#include "host/core/host_video.h"
#include "host/core/plugin_loader.h"
#include "host/core/producer.h"
#include "host/core/resource_root.h"
#include "host/core/sound_factory.h"
#include "host/core/surface.h"
#include "host/media/ffmpeg_video.h"
#include "host/media/freetype_font.h"

namespace pawnbench {

namespace {

const char* const kSamples = PAWN_BENCH_SAMPLES;

// Every frame of a video, decoded once and kept: the first open of a path decodes it, later opens
// (the next benchmark's pawns) share the frames.
class PreloadedFrames : public hostengine::FrameSource {
public:
    using Frames = std::vector<std::vector<std::uint8_t>>;

    static std::unique_ptr<hostengine::FrameSource> open(const std::string& path, std::string& error) {
        static std::map<std::string, std::shared_ptr<const Frames>> decoded;
        static std::map<std::string, std::pair<std::int32_t, std::int32_t>> sizes;
        auto found = decoded.find(path);
        if (found == decoded.end()) {
            std::unique_ptr<hostengine::FfmpegFrameSource> source = hostengine::FfmpegFrameSource::open(path, error);
            if (!source) return nullptr;
            auto frames = std::make_shared<Frames>(static_cast<std::size_t>(source->frameCount()));
            for (std::int32_t i = 0; i < source->frameCount(); ++i) {
                (*frames)[static_cast<std::size_t>(i)].resize(static_cast<std::size_t>(source->width()) * source->height() * 4);
                if (!source->readFrame(i, (*frames)[static_cast<std::size_t>(i)].data())) {
                    error = "frame " + std::to_string(i) + " of " + path + " does not decode";
                    return nullptr;
                }
            }
            sizes[path] = {source->width(), source->height()};
            found = decoded.emplace(path, frames).first;
        }
        return std::unique_ptr<hostengine::FrameSource>(
            new PreloadedFrames(found->second, sizes[path].first, sizes[path].second));
    }

    std::int32_t width() const override { return width_; }
    std::int32_t height() const override { return height_; }
    std::int32_t frameCount() const override { return static_cast<std::int32_t>(frames_->size()); }
    bool readFrame(std::int32_t index, std::uint8_t* bgra) override {
        const std::vector<std::uint8_t>& frame = (*frames_)[static_cast<std::size_t>(index)];
        std::memcpy(bgra, frame.data(), frame.size());
        return true;
    }

private:
    PreloadedFrames(std::shared_ptr<const Frames> frames, std::int32_t width, std::int32_t height)
        : frames_(std::move(frames)), width_(width), height_(height) {}
    std::shared_ptr<const Frames> frames_;
    std::int32_t width_, height_;
};

struct BenchMessage final : Message {
    BenchMessage(std::uint32_t messageCode, std::int32_t parameter) {
        code = messageCode;
        word3 = parameter;
    }
    void* deletingDestructor(unsigned flags) override {
        this->~BenchMessage();
        if (flags & 1) ::operator delete(this);
        return this;
    }
};

class Show {
public:
    enum class Part { Whole, UpdateOnly, DrawOnly };

    explicit Show(bool preloaded) : surface_(640, 480) {
        if (!loader_.open() || !loader_.init(&engine_) || !(factory_ = loader_.factory())) {
            error_ = "cannot load the plug-in: " + loader_.error();
            return;
        }
        archives_ = std::make_unique<hostengine::HostArchives>(engine_);
        ResourceDir* root = archives_->makeRootDir(kSamples);
        ResourceDir* mediaRoot = archives_->makeRootDir((std::filesystem::path(kSamples) / "producer").string());
        if (!root || !mediaRoot) {
            error_ = std::string("no samples in ") + kSamples;
            return;
        }
        sounds_ = std::make_unique<hostengine::SoundFactory>(engine_);
        if (preloaded) videos_ = std::make_unique<hostengine::HostVideoFactory>("avifile", PreloadedFrames::open);
        else videos_ = hostengine::registerFfmpegVideoFactory(engine_);
        std::string fontError;
        font_ = hostengine::FreeTypeFont::open(hostengine::FreeTypeFont::kDefaultFace, 40, 2, &fontError);
        if (!font_) {
            error_ = "no font: " + fontError;
            return;
        }
        producer_ = std::make_unique<hostengine::Producer>(engine_, mediaRoot, font_->font());
        const char* archives[] = {"robot", "blob", "robot", "blob"};
        for (int i = 0; i < 4; ++i) {
            InterfaceTable* handle = factory_->createPlayer(root, archives[i], i + 1);
            Pawn pawn{handle, handle ? handle->find<IKTPlayer>("IKTPlayer") : nullptr,
                      handle ? handle->find<IVisible>("IVisible") : nullptr};
            if (!pawn.player || !pawn.visible) {
                error_ = std::string("no pawn made of ") + archives[i];
                return;
            }
            pawn.visible->setPosition(i * 160, 280);
            pawn.player->showScore(1);
            pawn.player->addScore(100 * (i + 1));
            pawns_.push_back(pawn);
        }
        // Everything the host was asked for must be there, or the frame would be cheaper than a real one.
        for (const hostengine::LogLine& line : engine_.logLines())
            if (line.level >= 3) {
                error_ = "the host failed the plug-in: " + line.text;
                return;
            }
        // The first pawn holds a bonus and uses it: its picture blinks on every frame.
        pawns_[0].player->setBonus(3);
        pawns_[0].player->setBonus(-1);
        pawns_[2].player->setBonus(7);
    }

    ~Show() {
        for (Pawn& pawn : pawns_) factory_->destroyPlayer(pawn.handle);
        producer_.reset();
        engine_.drainEvents();
        loader_.release();
    }

    const std::string& error() const { return error_; }

    void frame(Part part) {
        ++frames_;
        engine_.advance(16);
        // Now and then the game moves a score or buzzes someone in, as during play.
        if (frames_ % 90 == 0) pawns_[(frames_ / 90) % 4].player->addScore(25);
        if (frames_ % 150 == 75) pawns_[(frames_ / 150) % 4].player->receive(new BenchMessage(0x000B0003, 1));
        if (part != Part::DrawOnly) {
            for (Pawn& pawn : pawns_) pawn.player->update();
            engine_.pumpEvents();
        }
        if (part != Part::UpdateOnly) {
            Canvas canvas = hostengine::makeCanvas(surface_);
            for (Pawn& pawn : pawns_) pawn.visible->draw(&canvas);
        }
    }

private:
    struct Pawn {
        InterfaceTable* handle;
        IKTPlayer* player;
        IVisible* visible;
    };

    hostengine::HostEngine engine_;
    hostengine::PluginLoader loader_;
    IKTPlayerFactory* factory_ = nullptr;
    std::unique_ptr<hostengine::HostArchives> archives_;
    std::unique_ptr<hostengine::SoundFactory> sounds_;
    std::unique_ptr<hostengine::HostVideoFactory> videos_;
    std::unique_ptr<hostengine::FreeTypeFont> font_;
    std::unique_ptr<hostengine::Producer> producer_;
    std::vector<Pawn> pawns_;
    hostengine::Surface surface_;
    long long frames_ = 0;
    std::string error_;
};

void runShow(benchmark::State& state, bool preloaded, Show::Part part) {
    Show show(preloaded);
    if (!show.error().empty()) {
        state.SkipWithError(show.error().c_str());
        return;
    }
    // A second of show first, so that every pawn has risen, rolled its score and started a blink.
    for (int i = 0; i < 60; ++i) show.frame(Show::Part::Whole);
    for (auto _ : state) show.frame(part);
}

}  // namespace

bool registerShowBenchmarks() {
    if (!std::filesystem::is_directory(std::filesystem::path(kSamples) / "pawns")) {
        std::printf("show benchmarks left out: no sample pawns in %s (build the samples target)\n", kSamples);
        return false;
    }
    for (const bool preloaded : {false, true}) {
        const std::string host = preloaded ? "show-preloaded/" : "show/";
        benchmark::RegisterBenchmark((host + "frame").c_str(),
                                     [preloaded](benchmark::State& state) { runShow(state, preloaded, Show::Part::Whole); });
        benchmark::RegisterBenchmark((host + "update").c_str(),
                                     [preloaded](benchmark::State& state) { runShow(state, preloaded, Show::Part::UpdateOnly); });
        benchmark::RegisterBenchmark((host + "draw").c_str(),
                                     [preloaded](benchmark::State& state) { runShow(state, preloaded, Show::Part::DrawOnly); });
    }
    return true;
}

}  // namespace pawnbench
