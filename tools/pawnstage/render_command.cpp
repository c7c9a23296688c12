// pawnstage render: the show on a simulated clock, frame by frame, to a video, a GIF or PNG frames.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "tools/pawnstage/commands.h"
#include "tools/pawnstage/options.h"
#include "tools/pawnstage/progress.h"
#include "tools/pawnstage/show_writer.h"
#include "tools/pawnstage/stage.h"
#include "tools/pawnstage/stage_log.h"

namespace pawnstage {

namespace {

constexpr std::int64_t kSoundRate = hostengine::SoundFactory::kMixRate;

// The first sound frame of video frame `index`: video and sound share one time line from clock 0.
std::int64_t soundFrameOf(std::int64_t index, std::int32_t fps) { return index * kSoundRate / fps; }

void printRenderUsage(std::FILE* to) {
    std::fputs(
        "usage: pawnstage render [--script FILE] [--out show.mp4|show.gif|frames/] [--size WxH] [--fps N]\n"
        "                        [--seed N] [--samples DIR] [--plugin PATH] [--log-level N] [--video-cache MB]\n",
        to);
}

}  // namespace

int runRenderCommand(int argc, char** argv) {
    RenderOptions options;
    OutputKind kind;
    ShowScript script;
    std::string samples, plugin;
    try {
        options = parseRenderOptions(argc, argv);
        kind = outputKindOf(options.out);
        if (kind == OutputKind::Mp4 && (options.width % 2 || options.height % 2))
            throw UsageError("--size: an MP4 needs an even width and height, found " + std::to_string(options.width) + "x" +
                             std::to_string(options.height));
        const ScriptSource source = readScript(options.script);
        script = parseShowScript(source.text, source.name);
        samples = findSamples(options.samples);
        plugin = findPlugin(options.plugin);
    } catch (const UsageError& error) {
        std::fprintf(stderr, "pawnstage render: %s\n", error.what());
        printRenderUsage(stderr);
        return 2;
    } catch (const ScriptError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }

    const auto started = std::chrono::steady_clock::now();
    try {
        StageLog log(options.logLevel);
        Stage stage(script, StageSetup{samples, plugin, false, options.seed, static_cast<std::size_t>(options.videoCacheMb) << 20});
        log.print(stage.takeLog());

        std::unique_ptr<ShowWriter> writer = openShowWriter(kind, options.out, options.width, options.height, options.fps);
        const std::uint32_t length = stage.lengthMs();
        const std::int64_t frames = (static_cast<std::int64_t>(length) * options.fps + 999) / 1000;
        Progress progress("rendering " + options.out, static_cast<long>(frames));
        log.setProgress(&progress);
        std::vector<std::int16_t> sound;

        // Sound is mixed one frame behind the pictures: a sound the frame at t starts begins at t, so
        // the stretch up to t can be mixed only once that frame has run.
        auto mixSound = [&](std::int64_t from, std::int64_t to) {
            if (!writer->takesSound() || to <= from) return;
            sound.assign(static_cast<std::size_t>(to - from) * 2, 0);
            stage.sounds().mixTo(sound.data(), static_cast<std::size_t>(to - from), from);
            writer->addSound(sound.data(), static_cast<std::size_t>(to - from));
        };

        for (std::int64_t index = 0; index < frames; ++index) {
            const auto ms = static_cast<std::uint32_t>(index * 1000 / options.fps);
            stage.runFrame(ms);
            stage.drawFrame();
            log.print(stage.takeLog());
            writer->addFrame(stage.surface());
            if (index > 0) mixSound(soundFrameOf(index - 1, options.fps), soundFrameOf(index, options.fps));
            progress.update(static_cast<long>(index + 1));
        }
        if (frames > 0) mixSound(soundFrameOf(frames - 1, options.fps), soundFrameOf(frames, options.fps));
        writer->finish();
        progress.finish();
        log.setProgress(nullptr);

        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::error_code ignored;
        std::fprintf(stderr, "pawnstage: %s: %lld frames (%s s at %d fps, %dx%d) in %.1f s, %.0f frames per second\n",
                     writer->describe().c_str(), static_cast<long long>(frames), formatTime(length).c_str(), options.fps, options.width,
                     options.height, seconds, seconds > 0 ? static_cast<double>(frames) / seconds : 0.0);
        std::fprintf(stderr, "pawnstage: video cache: %.1f MB in %zu frames (limit %d MB)\n",
                     static_cast<double>(stage.videos().cache().bytesHeld()) / (1 << 20), stage.videos().cache().framesHeld(),
                     options.videoCacheMb);
        // Only the path on stdout, for scripts that go on with it.
        std::printf("%s\n", std::filesystem::absolute(options.out, ignored).string().c_str());
        return 0;
    } catch (const StageError& error) {
        std::fprintf(stderr, "pawnstage render: %s\n", error.what());
    } catch (const WriteError& error) {
        std::fprintf(stderr, "pawnstage render: %s\n", error.what());
    }
    return 1;
}

}  // namespace pawnstage
