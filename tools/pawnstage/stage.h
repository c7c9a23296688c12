// The stage: a reference host with the pawn plug-in loaded, one pawn per player slot of a show
// script, and the show's cues delivered to them as the game would: messages through IKTPlayer's
// receive, operations through its other slots. Each frame is drawn onto a 640 x 480 RGB555 surface.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/abi.h"
#include "host/core/frame_cache.h"
#include "host/core/host_engine.h"
#include "host/core/host_video.h"
#include "host/core/sound_factory.h"
#include "host/core/surface.h"
#include "tools/pawnstage/show_script.h"

namespace pawnstage {

constexpr std::int32_t kStageWidth = 640;
constexpr std::int32_t kStageHeight = 480;

// The stage cannot be set up (no plug-in, no samples); the text says what is missing.
class StageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct StageSetup {
    std::string samplesDir;   // the resource root of the show; its "producer" directory holds the shared media
    std::string pluginPath;   // pawn.kvx
    bool realClock = false;   // false: the clock moves only by advanceTo
    std::uint32_t seed = 1;   // the module's random numbers, from the moment the show starts
    std::size_t videoCacheBytes = hostengine::kDefaultVideoCacheBytes;  // decoded frames kept; 0 none
};

// One command as the game would send it: a message through receive, or a player operation.
void perform(IKTPlayer& player, IVisible& visible, Action action, std::int32_t first, std::int32_t second);

class Stage {
public:
    // Loads the plug-in, sets up the host's archives, sounds, videos, font and producer, and creates
    // every pawn of the script at its place. Throws StageError.
    Stage(const ShowScript& script, const StageSetup& setup);
    ~Stage();
    Stage(const Stage&) = delete;
    Stage& operator=(const Stage&) = delete;

    // One frame of the show at host time `ms` (on the real clock, `ms` is the clock's reading): the
    // cues due by then, an update of every pawn, one pass of host events (sound notices).
    void runFrame(std::uint32_t ms);
    // The stage background, then every pawn through its IVisible, in slot order.
    void drawFrame();

    // Sends one command to the pawn of slot `slotIndex` (0-based, in slot order) right now.
    void command(std::size_t slotIndex, Action action, std::int32_t first = 0, std::int32_t second = 0);
    // Takes a changed script without remaking the pawns when its player slots are the same and the
    // clock lies within its length: its cues after the present are delivered from then on. False,
    // changing nothing, otherwise.
    bool adoptScript(const ShowScript& script);
    const ShowScript& script() const { return script_; }
    // Hands the pawn of a slot back to the factory and has it made again from its archive, as a game
    // does when a player's pawn changes; it is placed at `x`, `y`. Throws StageError when no pawn comes.
    void remakePawn(std::size_t slotIndex, std::int32_t x, std::int32_t y);

    std::uint32_t now();  // the host clock
    std::uint32_t lengthMs() const { return script_.lengthMs(); }
    std::size_t slotCount() const { return pawns_.size(); }
    const PlayerSlot& slot(std::size_t index) const { return script_.players[index]; }
    IKTPlayer& player(std::size_t index) { return *pawns_[index].player; }  // in slot order
    bool hasPawn(std::size_t index) const { return pawns_[index].player != nullptr; }  // false once remaking failed

    hostengine::Surface& surface() { return surface_; }
    hostengine::SoundFactory& sounds();
    hostengine::HostVideoFactory& videos();
    hostengine::HostEngine& engine() { return engine_; }

    // Log lines the module (or the host) wrote since the last call.
    std::vector<hostengine::LogLine> takeLog();
    // What the user should know before the show starts and the log would not say plainly, once.
    std::vector<std::string> takeNotes();

private:
    struct Media;
    struct PawnSlot {
        InterfaceTable* handle = nullptr;
        IKTPlayer* player = nullptr;
        IVisible* visible = nullptr;
    };

    PawnSlot makePawn(const PlayerSlot& slot);
    void deliverCuesUntil(std::uint32_t ms);
    void deliver(const Cue& cue);

    ShowScript script_;
    hostengine::HostEngine engine_;
    std::unique_ptr<Media> media_;
    std::vector<PawnSlot> pawns_;  // a slot whose pawn could not be made again has none
    ResourceDir* root_ = nullptr;  // where pawns are made: the latest root over the samples
    std::string samplesDir_;
    std::size_t nextCue_ = 0;
    hostengine::Surface surface_;
    std::vector<std::uint16_t> backdrop_;
    std::vector<std::string> notes_;
};

// The stage background: a dark blue gradient with a floor line, as RGB555 rows of kStageWidth.
std::vector<std::uint16_t> makeBackdrop();

}  // namespace pawnstage
