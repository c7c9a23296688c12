// pawnstage play: the show on the real clock in a window, with its sound, and keys that send the
// game's messages to a chosen player.
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/pawnstage/commands.h"
#include "tools/pawnstage/options.h"
#include "tools/pawnstage/output_file.h"
#include "tools/pawnstage/show_writer.h"
#include "tools/pawnstage/stage.h"
#include "tools/pawnstage/stage_log.h"
#include "tools/pawnstage/terminal_text.h"

namespace pawnstage {

namespace {

constexpr std::uint32_t kFrameMs = 33;  // about 30 frames a second

const char kKeyHelp[] =
    "keys: 1-4 choose the player, b buzz, h happy, u unhappy, l / r look left / right, f freeze,\n"
    "      t unfreeze, d going down, c coming up, w wait hold, + add 10, - lose 10, p penguin,\n"
    "      space use the bonus, 0 end the bonus, Esc quit\n";

void printPlayUsage(std::FILE* to) {
    std::fputs(
        "usage: pawnstage play [--script FILE] [--samples DIR] [--plugin PATH] [--log-level N] [--seed N]\n"
        "                      [--screenshot FILE --frames N]\n",
        to);
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
    ShowScript script;
    std::string samples, plugin;
    try {
        options = parsePlayOptions(argc, argv);
        const ScriptSource source = readScript(options.script);
        script = parseShowScript(source.text, source.name);
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
        SdlSession sdl;
        Window window;
        std::unique_ptr<Speaker> speaker;
        if (sdl.audio) speaker = std::make_unique<Speaker>();
        StageLog log(options.logLevel);
        Stage stage(script, StageSetup{samples, plugin, true, options.seed});
        for (const std::string& note : stage.takeNotes()) std::fprintf(stderr, "pawnstage: %s\n", terminalSafe(note).c_str());
        log.print(stage.takeLog());
        if (options.screenshot.empty()) std::fputs(kKeyHelp, stdout);

        std::size_t chosen = 0;
        std::int32_t framesShown = 0;
        bool running = true;
        while (running) {
            const std::uint32_t frameStart = SDL_GetTicks();
            SDL_Event event;
            while (SDL_PollEvent(&event)) {
                if (event.type == SDL_QUIT) running = false;
                if (event.type != SDL_KEYDOWN) continue;
                const SDL_Keycode key = event.key.keysym.sym;
                if (key == SDLK_ESCAPE) running = false;
                if (key >= SDLK_1 && key <= SDLK_4 && static_cast<std::size_t>(key - SDLK_1) < stage.slotCount()) {
                    chosen = static_cast<std::size_t>(key - SDLK_1);
                    std::printf("player %d (%s)\n", static_cast<int>(stage.slot(chosen).number), stage.slot(chosen).archive.c_str());
                }
                for (const KeyCommand& command : kKeys)
                    if (command.key == key) stage.command(chosen, command.action, command.first, command.second);
            }
            stage.runFrame(stage.now());
            stage.drawFrame();
            log.print(stage.takeLog());
            ++framesShown;
            const bool lastFrame = !options.screenshot.empty() && framesShown >= options.frames;
            std::vector<std::uint8_t> picture;
            window.show(stage.surface(), lastFrame ? &picture : nullptr);
            if (speaker) speaker->catchUp(stage.sounds(), stage.now());
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
    } catch (const StageError& error) {
        std::fprintf(stderr, "pawnstage play: %s\n", terminalSafe(error.what()).c_str());
    } catch (const WriteError& error) {
        std::fprintf(stderr, "pawnstage play: %s\n", terminalSafe(error.what()).c_str());
    }
    return 1;
}

}  // namespace pawnstage
