// pawnstage play: the show on the real clock in a window, with its sound, and keys that send the
// game's messages to a chosen player.
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/pawnstage/commands.h"
#include "tools/pawnstage/live_show.h"
#include "tools/pawnstage/options.h"
#include "tools/pawnstage/output_file.h"
#include "tools/pawnstage/show_writer.h"
#include "tools/pawnstage/stage.h"
#include "tools/pawnstage/stage_log.h"
#include "tools/pawnstage/stage_overlay.h"
#include "tools/pawnstage/terminal_text.h"

namespace pawnstage {

namespace {

constexpr std::uint32_t kFrameMs = 33;  // about 30 frames a second

// How often a watched show looks at its files.
constexpr std::uint32_t kWatchEveryMs = 250;
// A picture of a reload is taken once it has been on screen this many frames.
constexpr int kFramesBeforeReloadShot = 3;

const char kKeyHelp[] =
    "keys: 1-4 choose the player, b buzz, h happy, u unhappy, l / r look left / right, f freeze,\n"
    "      t unfreeze, d going down, c coming up, w wait hold, + add 10, - lose 10, p penguin,\n"
    "      space use the bonus, 0 end the bonus, Return pause / resume, s step one frame,\n"
    "      F5 restart, o what each pawn is doing, Esc quit\n";

void printPlayUsage(std::FILE* to) {
    std::fputs(
        "usage: pawnstage play [--script FILE] [--samples DIR] [--plugin PATH] [--log-level N] [--seed N]\n"
        "                      [--video-cache MB] [--watch [--reload-shots DIR]] [--overlay]\n"
        "                      [--screenshot FILE --frames N]\n",
        to);
}

// The options only play has that take no value (or one only with --watch), taken out of argv before
// the shared reader sees the rest.
struct WatchOptions {
    bool watch = false;
    bool overlay = false;     // start with what each pawn is doing on screen (the o key)
    std::string reloadShots;  // with --watch: the window's picture after the start and each reload
};

WatchOptions takeWatchOptions(int& argc, char** argv) {
    WatchOptions options;
    int kept = 0;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--watch") {
            options.watch = true;
        } else if (arg == "--overlay") {
            options.overlay = true;
        } else if (arg == "--reload-shots" || arg.rfind("--reload-shots=", 0) == 0) {
            if (arg.size() > 14) options.reloadShots = arg.substr(15);
            else if (i + 1 < argc) options.reloadShots = argv[++i];
            if (options.reloadShots.empty()) throw UsageError("--reload-shots needs a directory");
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    if (!options.reloadShots.empty() && !options.watch) throw UsageError("--reload-shots goes with --watch");
    return options;
}

struct KeyCommand {
    SDL_Keycode key;
    Action action;
    std::int32_t first;
    std::int32_t second;
};

// What each key sends to the chosen player.
const KeyCommand kKeys[] = {
    {SDLK_b, Action::Buzz, 0, 0},
    {SDLK_h, Action::Happy, 0, 0},
    {SDLK_u, Action::Unhappy, 0, 0},
    {SDLK_l, Action::LookLeft, 0, 0},
    {SDLK_r, Action::LookRight, 0, 0},
    {SDLK_f, Action::Freeze, 0, 0},
    {SDLK_t, Action::Unfreeze, 0, 0},
    {SDLK_d, Action::GoingDown, 800, 0},
    {SDLK_c, Action::ComingUp, 800, 0},
    {SDLK_w, Action::WaitHold, 1000, 0},
    {SDLK_PLUS, Action::AddScore, 10, 0},
    {SDLK_KP_PLUS, Action::AddScore, 10, 0},
    {SDLK_EQUALS, Action::AddScore, 10, 0},  // the '+' key without shift on most layouts
    {SDLK_MINUS, Action::LoseScore, 10, 0},
    {SDLK_KP_MINUS, Action::LoseScore, 10, 0},
    {SDLK_p, Action::Bonus, 16, 0},
    {SDLK_0, Action::EndBonus, 0, 0},
    {SDLK_KP_0, Action::EndBonus, 0, 0},
    {SDLK_SPACE, Action::UseBonus, 0, 0},
};

// The window, its renderer and the texture the stage's RGB555 surface is copied into each frame.
class Window {
public:
    Window() {
        window_ = SDL_CreateWindow("pawnstage", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, kStageWidth, kStageHeight, 0);
        if (!window_) throw StageError(std::string("cannot open a window: ") + SDL_GetError());
        renderer_ = SDL_CreateRenderer(window_, -1, 0);
        if (!renderer_) throw StageError(std::string("cannot draw in the window: ") + SDL_GetError());
        texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB555, SDL_TEXTUREACCESS_STREAMING, kStageWidth, kStageHeight);
        if (!texture_) throw StageError(std::string("cannot make the stage's texture: ") + SDL_GetError());
    }
    ~Window() {
        if (texture_) SDL_DestroyTexture(texture_);
        if (renderer_) SDL_DestroyRenderer(renderer_);
        if (window_) SDL_DestroyWindow(window_);
    }
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Shows the surface; with `capture`, also reads back what the window shows, as RGB rows (before
    // presenting it: what lies in the buffer after that is the renderer's business).
    void show(hostengine::Surface& surface, std::vector<std::uint8_t>* capture = nullptr) {
        SDL_UpdateTexture(texture_, nullptr, surface.row(0), surface.pitch());
        SDL_RenderClear(renderer_);
        SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
        if (capture) {
            capture->resize(static_cast<std::size_t>(kStageWidth) * kStageHeight * 3);
            if (SDL_RenderReadPixels(renderer_, nullptr, SDL_PIXELFORMAT_RGB24, capture->data(), kStageWidth * 3) != 0)
                throw StageError(std::string("cannot read the window's picture: ") + SDL_GetError());
        }
        SDL_RenderPresent(renderer_);
    }

private:
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
};

// The sounds the host played, mixed as the clock passes and queued to the sound device. Without a
// device the show goes on silently.
class Speaker {
public:
    Speaker() {
        SDL_AudioSpec wanted{};
        wanted.freq = hostengine::SoundFactory::kMixRate;
        wanted.format = AUDIO_S16SYS;
        wanted.channels = 2;
        wanted.samples = 1024;
        device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
        if (device_ == 0) {
            std::fprintf(stderr, "pawnstage play: no sound (%s)\n", SDL_GetError());
            return;
        }
        SDL_PauseAudioDevice(device_, 0);
    }
    ~Speaker() {
        if (device_) SDL_CloseAudioDevice(device_);
    }
    Speaker(const Speaker&) = delete;
    Speaker& operator=(const Speaker&) = delete;

    // Queues what the host played up to clock `ms`: a sound started at `ms` is heard from the next call.
    void catchUp(const hostengine::SoundFactory& sounds, std::uint32_t ms) {
        const std::int64_t until = hostengine::SoundFactory::frameAt(ms);
        if (!started_) {
            // The clock ran while the pawns were built; queuing that stretch would only delay every sound.
            started_ = true;
            mixed_ = until;
        }
        if (!device_ || until <= mixed_) {
            mixed_ = std::max(mixed_, until);
            return;
        }
        buffer_.assign(static_cast<std::size_t>(until - mixed_) * 2, 0);
        sounds.mixTo(buffer_.data(), static_cast<std::size_t>(until - mixed_), mixed_);
        SDL_QueueAudio(device_, buffer_.data(), static_cast<Uint32>(buffer_.size() * sizeof(std::int16_t)));
        mixed_ = until;
    }

private:
    SDL_AudioDeviceID device_ = 0;
    bool started_ = false;
    std::int64_t mixed_ = 0;
    std::vector<std::int16_t> buffer_;
};

// Owns SDL's initialisation for the run.
struct SdlSession {
    SdlSession() {
        if (SDL_Init(SDL_INIT_VIDEO) != 0) throw StageError(std::string("cannot start SDL: ") + SDL_GetError());
        audio = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
        if (!audio) std::fprintf(stderr, "pawnstage play: no sound (%s)\n", SDL_GetError());
    }
    ~SdlSession() { SDL_Quit(); }
    SdlSession(const SdlSession&) = delete;
    SdlSession& operator=(const SdlSession&) = delete;
    bool audio = false;
};

}  // namespace

int runPlayCommand(int argc, char** argv) {
    PlayOptions options;
    WatchOptions watching;
    std::string samples, plugin;
    try {
        watching = takeWatchOptions(argc, argv);
        options = parsePlayOptions(argc, argv);
        options.watch = watching.watch;
        samples = findSamples(options.samples);
        plugin = findPlugin(options.plugin);
    } catch (const UsageError& error) {
        std::fprintf(stderr, "pawnstage play: %s\n", terminalSafe(error.what()).c_str());
        printPlayUsage(stderr);
        return 2;
    } catch (const ScriptError& error) {
        std::fprintf(stderr, "%s\n", terminalSafe(error.what()).c_str());
        return 1;
    }

    try {
        // The script is read before the window opens: one that does not read ends the command, as
        // render does. Once the show runs, a watched script's errors go on screen instead.
        LiveShow show(options.script, StageSetup{samples, plugin, false, options.seed, static_cast<std::size_t>(options.videoCacheMb) << 20});
        SdlSession sdl;
        Window window;
        std::unique_ptr<Speaker> speaker;
        if (sdl.audio) speaker = std::make_unique<Speaker>();
        StageLog log(options.logLevel);
        StageOverlay overlay;
        if (watching.overlay) overlay.toggleDetails();
        auto takeLog = [&] {
            if (!show.stage()) return;
            for (const std::string& note : show.stage()->takeNotes()) std::fprintf(stderr, "pawnstage: %s\n", terminalSafe(note).c_str());
            const std::vector<hostengine::LogLine> lines = show.stage()->takeLog();
            log.print(lines);
            overlay.keepLog(lines);
        };
        takeLog();
        if (options.screenshot.empty()) std::fputs(kKeyHelp, stdout);
        if (!watching.reloadShots.empty()) std::filesystem::create_directories(watching.reloadShots);

        std::size_t chosen = 0;
        std::int32_t framesShown = 0;
        bool running = true, paused = false;
        int generation = show.generation();
        int reloadShots = 0;
        int framesToReloadShot = watching.reloadShots.empty() ? -1 : kFramesBeforeReloadShot;
        std::uint32_t lastTicks = SDL_GetTicks(), lastWatch = lastTicks;
        hostengine::Surface empty(kStageWidth, kStageHeight);
        const std::vector<std::uint16_t> backdrop = makeBackdrop();
        while (running) {
            const std::uint32_t frameStart = SDL_GetTicks();
            bool step = false;
            SDL_Event event;
            while (SDL_PollEvent(&event)) {
                if (event.type == SDL_QUIT) running = false;
                if (event.type != SDL_KEYDOWN) continue;
                const SDL_Keycode key = event.key.keysym.sym;
                if (key == SDLK_ESCAPE) running = false;
                if (key == SDLK_RETURN || key == SDLK_KP_ENTER) paused = !paused;
                if (key == SDLK_s) paused = step = true;
                if (key == SDLK_o) overlay.toggleDetails();
                if (key == SDLK_F5) {
                    try {
                        show.restart();
                        overlay.notice("restarted", frameStart);
                    } catch (const StageError& error) {
                        overlay.error(error.what());
                    }
                }
                Stage* stage = show.stage();
                if (!stage) continue;
                if (key >= SDLK_1 && key <= SDLK_4 && static_cast<std::size_t>(key - SDLK_1) < stage->slotCount()) {
                    chosen = static_cast<std::size_t>(key - SDLK_1);
                    std::printf("player %d (%s)\n", static_cast<int>(stage->slot(chosen).number), stage->slot(chosen).archive.c_str());
                }
                for (const KeyCommand& command : kKeys)
                    if (command.key == key) stage->command(chosen, command.action, command.first, command.second);
            }
            if (watching.watch && frameStart - lastWatch >= kWatchEveryMs) {
                lastWatch = frameStart;
                const LiveShow::Reload reload = show.poll();
                if (!reload.text.empty()) {
                    std::fprintf(stderr, "pawnstage play: %s\n", reload.text.c_str());
                    if (reload.error) overlay.error(reload.text);
                    else overlay.notice(reload.text, frameStart);
                    if (!watching.reloadShots.empty()) framesToReloadShot = kFramesBeforeReloadShot;
                }
            }
            if (show.generation() != generation) {
                generation = show.generation();
                // The new show's sounds start at its clock 0; the device is closed before it opens again.
                speaker.reset();
                if (sdl.audio) speaker = std::make_unique<Speaker>();
                chosen = 0;
            }
            // The show's clock follows the real one but for pauses; a step moves it one frame.
            const std::uint32_t elapsed = frameStart - lastTicks;
            lastTicks = frameStart;
            if (!paused || step) show.advance(step ? kFrameMs : elapsed);

            Stage* stage = show.stage();
            if (stage) {
                stage->drawFrame();
                takeLog();
            } else {
                for (std::int32_t y = 0; y < kStageHeight; ++y)
                    std::copy_n(backdrop.data() + static_cast<std::size_t>(y) * kStageWidth, kStageWidth, empty.row(y));
            }
            overlay.draw(stage ? stage->surface() : empty, stage, paused, frameStart);
            ++framesShown;
            const bool lastFrame = !options.screenshot.empty() && framesShown >= options.frames;
            const bool reloadShot = framesToReloadShot >= 0 && framesToReloadShot-- == 0;
            std::vector<std::uint8_t> picture;
            window.show(stage ? stage->surface() : empty, lastFrame || reloadShot ? &picture : nullptr);
            if (speaker && stage) speaker->catchUp(stage->sounds(), show.clock());
            if (reloadShot) {
                const std::string path = (std::filesystem::path(watching.reloadShots) / ("reload-" + std::to_string(reloadShots++) + ".png")).string();
                writePngFile(path, kStageWidth, kStageHeight, picture.data());
                std::printf("%s\n", path.c_str());
                std::fflush(stdout);
            }
            if (lastFrame) {
                PendingOutput shot(options.screenshot, false);
                writePngFile(shot.path(), kStageWidth, kStageHeight, picture.data());
                shot.commit();
                std::printf("%s\n", options.screenshot.c_str());
                break;
            }
            const std::uint32_t spent = SDL_GetTicks() - frameStart;
            if (spent < kFrameMs) SDL_Delay(kFrameMs - spent);
        }
        return 0;
    } catch (const ScriptError& error) {
        std::fprintf(stderr, "%s\n", terminalSafe(error.what()).c_str());
    } catch (const StageError& error) {
        std::fprintf(stderr, "pawnstage play: %s\n", terminalSafe(error.what()).c_str());
    } catch (const WriteError& error) {
        std::fprintf(stderr, "pawnstage play: %s\n", terminalSafe(error.what()).c_str());
    }
    return 1;
}

}  // namespace pawnstage
