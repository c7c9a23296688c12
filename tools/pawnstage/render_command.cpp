// pawnstage render: the show on a simulated clock, frame by frame, to a video, a GIF or PNG frames.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "tools/pawnstage/commands.h"
#include "tools/pawnstage/options.h"
#include "tools/pawnstage/output_file.h"
#include "tools/pawnstage/progress.h"
#include "tools/pawnstage/show_writer.h"
#include "tools/pawnstage/stage.h"
#include "tools/pawnstage/stage_log.h"
#include "tools/pawnstage/terminal_text.h"

namespace pawnstage {

namespace {

constexpr std::int64_t kSoundRate = hostengine::SoundFactory::kMixRate;
constexpr std::int32_t kFastestGif = 50;

// "12.345 s", or "9:18.668" for a minute and more.
std::string duration(std::uint32_t ms) { return formatTime(ms) + (ms < 60000 ? " s" : ""); }

// The first sound frame of video frame `index`: video and sound share one time line from clock 0.
std::int64_t soundFrameOf(std::int64_t index, std::int32_t fps) { return index * kSoundRate / fps; }

void printRenderUsage(std::FILE* to) {
    std::fputs(
        "usage: pawnstage render [--script FILE] [--out show.mp4|show.gif|frames/] [--size WxH] [--fps N]\n"
        "                        [--seed N] [--samples DIR] [--plugin PATH] [--log-level N] [--video-cache MB]\n",
        to);
}

struct Interruption {
    int signal;
};

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
        // GIF delays count whole hundredths of a second, and players slow delays under two of them down.
        if (kind == OutputKind::Gif && options.fps > kFastestGif)
            throw UsageError("--fps: a GIF shows at most " + std::to_string(kFastestGif) + " frames a second, found " + std::to_string(options.fps));
        const ScriptSource source = readScript(options.script);
        script = parseShowScript(source.text, source.name);
        samples = findSamples(options.samples);
        plugin = findPlugin(options.plugin);
    } catch (const UsageError& error) {
        std::fprintf(stderr, "pawnstage render: %s\n", terminalSafe(error.what()).c_str());
        printRenderUsage(stderr);
        return 2;
    } catch (const ScriptError& error) {
        std::fprintf(stderr, "%s\n", terminalSafe(error.what()).c_str());
        return 1;
    }

    const auto started = std::chrono::steady_clock::now();
    try {
        StageLog log(options.logLevel);
        Stage stage(script, StageSetup{samples, plugin, false, options.seed, static_cast<std::size_t>(options.videoCacheMb) << 20});
        for (const std::string& note : stage.takeNotes()) std::fprintf(stderr, "pawnstage: %s\n", terminalSafe(note).c_str());
        log.print(stage.takeLog());

        watchForInterruption();
        std::unique_ptr<ShowWriter> writer = openShowWriter(kind, options.out, options.width, options.height, options.fps);
        const std::uint32_t length = stage.lengthMs();
        const std::int64_t frames = (static_cast<std::int64_t>(length) * options.fps + 999) / 1000;
        Progress progress("rendering " + terminalSafe(options.out, false), static_cast<long>(frames));
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
            if (const int signal = interruptingSignal()) throw Interruption{signal};
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
        std::fprintf(stderr, "pawnstage: %s: %lld frame%s (%s at %d fps, %dx%d) in %.1f s, %.0f frames per second\n",
                     terminalSafe(writer->describe()).c_str(), static_cast<long long>(frames), frames == 1 ? "" : "s",
                     duration(length).c_str(), options.fps, options.width, options.height, seconds,
                     seconds > 0 ? static_cast<double>(frames) / seconds : 0.0);
        std::fprintf(stderr, "pawnstage: video cache: %.1f MB in %zu frames (limit %d MB)\n",
                     static_cast<double>(stage.videos().cache().bytesHeld()) / (1 << 20), stage.videos().cache().framesHeld(),
                     options.videoCacheMb);
        // Only the path on stdout, for scripts that go on with it.
        std::printf("%s\n", std::filesystem::absolute(options.out, ignored).string().c_str());
        return 0;
    } catch (const StageError& error) {
        std::fprintf(stderr, "pawnstage render: %s\n", terminalSafe(error.what()).c_str());
    } catch (const WriteError& error) {
        std::fprintf(stderr, "pawnstage render: %s\n", terminalSafe(error.what()).c_str());
    } catch (const Interruption& interruption) {
        // The writer, and with it the unfinished output, is gone by now.
        std::fprintf(stderr, "\npawnstage render: interrupted; %s is left as it was\n", terminalSafe(options.out).c_str());
        endAsInterrupted(interruption.signal);
    }
    return 1;
}

}  // namespace pawnstage
