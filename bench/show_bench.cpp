// One frame of a show as a game drives the plug-in: four pawns made through the loaded pawn.kvx's
// factory, risen into view with their scores shown, one of them blinking a bonus in use, scores
// changing now and then; each frame moves the host clock by 16 ms, updates every pawn and draws every
// pawn through its IVisible onto a 640 x 480 surface, with the host's producer, sounds, FFmpeg videos
// and a FreeType font. Timed whole, update only and draw only, with the reference host as it is (its
// frame cache on, after a minute of show) and with the cache off, so that every step of a pawn decodes
// a video frame. Reading ahead is off in both: every frame the show needs is decoded on the thread
// that is timed.
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

    explicit Show(bool cached) : surface_(640, 480) {
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
        videos_ = hostengine::registerFfmpegVideoFactory(engine_);
        videos_->setReadAhead(0);
        if (!cached) videos_->cache().setLimit(0);
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
    const hostengine::FrameCache& cache() const { return videos_->cache(); }

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

void runShow(benchmark::State& state, bool cached, Show::Part part) {
    Show show(cached);
    if (!show.error().empty()) {
        state.SkipWithError(show.error().c_str());
        return;
    }
    // A second of show first, so that every pawn has risen, rolled its score and started a blink; with
    // the cache, a minute more, so that what is timed is a show in its stride, not its first decodes.
    const int warmUp = cached ? 60 + 60 * 1000 / 16 : 60;
    for (int i = 0; i < warmUp; ++i) show.frame(Show::Part::Whole);
    for (auto _ : state) show.frame(part);
    state.counters["cache_bytes"] = static_cast<double>(show.cache().bytesHeld());
    state.counters["cache_frames"] = static_cast<double>(show.cache().framesHeld());
}

}  // namespace

bool registerShowBenchmarks() {
    if (!std::filesystem::is_directory(std::filesystem::path(kSamples) / "pawns")) {
        std::printf("show benchmarks left out: no sample pawns in %s (build the samples target)\n", kSamples);
        return false;
    }
    for (const bool cached : {true, false}) {
        const std::string host = cached ? "show/" : "show-nocache/";
        benchmark::RegisterBenchmark((host + "frame").c_str(),
                                     [cached](benchmark::State& state) { runShow(state, cached, Show::Part::Whole); });
        benchmark::RegisterBenchmark((host + "update").c_str(),
                                     [cached](benchmark::State& state) { runShow(state, cached, Show::Part::UpdateOnly); });
        benchmark::RegisterBenchmark((host + "draw").c_str(),
                                     [cached](benchmark::State& state) { runShow(state, cached, Show::Part::DrawOnly); });
    }
    return true;
}

}  // namespace pawnbench
