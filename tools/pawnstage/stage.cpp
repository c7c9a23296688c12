#include "tools/pawnstage/stage.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <filesystem>

#include "host/core/plugin_loader.h"
#include "host/core/producer.h"
#include "host/core/resource_root.h"
#include "tools/pawnstage/stage_media.h"
#include "tools/pawnstage/stage_notes.h"

namespace pawnstage {

namespace {

// A game's message to a pawn: made here, owned by the pawn from receive on, deleted through slot 0.
struct StageMessage final : Message {
    StageMessage(std::uint32_t messageCode, std::int32_t parameter) {
        code = messageCode;
        word3 = parameter;
    }
    void* deletingDestructor(unsigned flags) override {
        this->~StageMessage();
        if (flags & 1) ::operator delete(this);
        return this;
    }
};

std::int32_t messageParameter(Action action, std::int32_t first) {
    switch (action) {
    case Action::Buzz: return 0;
    case Action::BuzzSilent: return 1;  // a buzz without its sound
    case Action::LookLeft:
    case Action::LookRight:
    case Action::Unfreeze: return 0;
    default: return first;
    }
}

}  // namespace

void perform(IKTPlayer& player, IVisible& visible, Action action, std::int32_t first, std::int32_t second) {
    if (const std::uint32_t code = messageCode(action)) {
        player.receive(new StageMessage(code, messageParameter(action, first)));
        return;
    }
    switch (action) {
    case Action::AddScore: player.addScore(first); break;
    case Action::AddBonusScore: player.addBonusScore(first); break;
    case Action::LoseScore: player.loseScore(first, second); break;
    case Action::SubtractScore: player.subtractScore(first); break;
    case Action::CountAnswer: player.countAnswer(first); break;
    case Action::Bonus: player.setBonus(first); break;
    case Action::UseBonus: player.setBonus(-1); break;
    case Action::EndBonus: player.setBonus(0); break;
    case Action::EndBonusIfUsed: player.setBonus(-2); break;
    case Action::ShowScore: player.showScore(first); break;
    case Action::SetHidden: player.setHidden(first); break;
    case Action::SetPosition: visible.setPosition(first, second); break;
    case Action::SetScorePhase: player.setScorePhase(first); break;
    case Action::Thaw: player.thaw(); break;
    case Action::SetActivity: player.setActivity(first); break;
    default: break;  // the messages are sent above
    }
}

// What the host supplies, in the order it must be torn down (last first): the plug-in outlives the
// archives the module opened nodes in, the producer goes before the factories and archives it took
// its media from.
struct Stage::Media {
    hostengine::PluginLoader loader;
    std::unique_ptr<hostengine::HostArchives> archives;
    std::unique_ptr<hostengine::SoundFactory> sounds;
    std::unique_ptr<hostengine::HostVideoFactory> videos;
    std::unique_ptr<hostengine::HostFont> font;
    std::unique_ptr<hostengine::Producer> producer;
    IKTPlayerFactory* factory = nullptr;
};

Stage::Stage(const ShowScript& script, const StageSetup& setup)
    : script_(script), media_(std::make_unique<Media>()), surface_(kStageWidth, kStageHeight), backdrop_(makeBackdrop()) {
    // The stage prints the log itself, so that its lines do not tear the progress display.
    engine_.setEchoLevel(0);
    if (setup.realClock) engine_.useRealClock(true);

    Media& media = *media_;
    if (!media.loader.open(setup.pluginPath)) throw StageError("cannot load the plug-in " + setup.pluginPath + ": " + media.loader.error());
    if (!media.loader.init(&engine_)) throw StageError("the plug-in " + setup.pluginPath + " did not initialise");
    media.factory = media.loader.factory();
    if (!media.factory) throw StageError("the plug-in " + setup.pluginPath + " offers no IKTPlayerFactory");

    media.archives = std::make_unique<hostengine::HostArchives>(engine_);
    ResourceDir* root = media.archives->makeRootDir(setup.samplesDir);
    if (!root) throw StageError("cannot open the samples directory " + setup.samplesDir);
    const std::filesystem::path producerDir = std::filesystem::path(setup.samplesDir) / "producer";
    // A samples directory without shared media still has a show: pawns without score sound and bonus videos.
    ResourceDir* mediaRoot = std::filesystem::is_directory(producerDir) ? media.archives->makeRootDir(producerDir.string()) : nullptr;

    media.sounds = std::make_unique<hostengine::SoundFactory>(engine_);
    media.videos = makeVideoFactory(engine_);
    media.videos->cache().setLimit(setup.videoCacheBytes);
    media.font = makeScoreFont();
    media.producer = std::make_unique<hostengine::Producer>(engine_, mediaRoot, media.font ? media.font->font() : nullptr);

    if (mediaRoot) {
        notes_ = producerNotes(script_, setup.realClock, producerDir.string(), *media.producer);
    } else if (!script_.cues.empty() || setup.realClock) {
        notes_.push_back(setup.samplesDir + " has no producer/ directory: no score sound, no penguin (a pawn given bonus 16 shows no "
                         "figure until the bonus ends), plain badges for the bonus pictures");
    }

    root_ = root;
    samplesDir_ = setup.samplesDir;
    for (const PlayerSlot& slot : script_.players) {
        pawns_.push_back(makePawn(slot));
        pawns_.back().visible->setPosition(slot.x, slot.y);
    }
    // Every pawn seeds the C library's generator from the wall clock as it is built; seeding it again
    // here, once they all exist, makes the show's random choices depend on the seed alone.
    std::srand(setup.seed);
}

Stage::~Stage() {
    for (PawnSlot& pawn : pawns_)
        if (pawn.handle) media_->factory->destroyPlayer(pawn.handle);
    pawns_.clear();
    media_->producer.reset();
    // A score or buzz sound still playing delivers its end notice now and lets go of its data.
    engine_.drainEvents();
    media_->loader.release();
    media_.reset();
}

Stage::PawnSlot Stage::makePawn(const PlayerSlot& slot) {
    PawnSlot pawn;
    // What the making of this pawn logged and opened, so that a missing figure is named by its cause.
    const std::size_t logged = engine_.logLines().size();
    const std::size_t opened = media_->archives->directoriesOpened().size();
    pawn.handle = media_->factory->createPlayer(root_, slot.archive.c_str(), slot.number);
    const std::vector<hostengine::LogLine> creation(engine_.logLines().begin() + static_cast<std::ptrdiff_t>(logged), engine_.logLines().end());
    const std::vector<std::string> directories(media_->archives->directoriesOpened().begin() + static_cast<std::ptrdiff_t>(opened),
                                               media_->archives->directoriesOpened().end());
    for (std::string& note : pawnNotes(slot, creation, directories)) notes_.push_back(std::move(note));
    if (pawn.handle) {
        pawn.player = pawn.handle->find<IKTPlayer>("IKTPlayer");
        pawn.visible = pawn.handle->find<IVisible>("IVisible");
    }
    if (!pawn.player || !pawn.visible) {
        if (pawn.handle) media_->factory->destroyPlayer(pawn.handle);
        throw StageError("the plug-in made no pawn for player " + std::to_string(slot.number));
    }
    return pawn;
}

bool Stage::adoptScript(const ShowScript& script) {
    const std::uint32_t now = engine_.currentTime();
    auto sameSlot = [](const PlayerSlot& a, const PlayerSlot& b) { return a.number == b.number && a.archive == b.archive && a.x == b.x && a.y == b.y; };
    if (script.players.size() != script_.players.size() || now > script.lengthMs() ||
        !std::equal(script.players.begin(), script.players.end(), script_.players.begin(), sameSlot))
        return false;
    script_ = script;
    nextCue_ = 0;
    while (nextCue_ < script_.cues.size() && script_.cues[nextCue_].timeMs <= now) ++nextCue_;
    return true;
}

void Stage::remakePawn(std::size_t slotIndex, std::int32_t x, std::int32_t y) {
    if (slotIndex >= pawns_.size()) return;
    media_->factory->destroyPlayer(pawns_[slotIndex].handle);
    pawns_[slotIndex] = PawnSlot();
    // The module keeps every directory it opened, with what it listed then; a root of its own makes
    // the new pawn read its archive as it is now (its sequence table above all).
    if (ResourceDir* fresh = media_->archives->makeRootDir(samplesDir_)) root_ = fresh;
    pawns_[slotIndex] = makePawn(script_.players[slotIndex]);
    pawns_[slotIndex].visible->setPosition(x, y);
}

hostengine::SoundFactory& Stage::sounds() { return *media_->sounds; }

hostengine::HostVideoFactory& Stage::videos() { return *media_->videos; }

std::uint32_t Stage::now() { return engine_.currentTime(); }

void Stage::runFrame(std::uint32_t ms) {
    if (ms != engine_.currentTime()) engine_.setTime(ms);
    deliverCuesUntil(ms);
    for (PawnSlot& pawn : pawns_)
        if (pawn.player) pawn.player->update();
    engine_.pumpEvents();
}

void Stage::deliverCuesUntil(std::uint32_t ms) {
    while (nextCue_ < script_.cues.size() && script_.cues[nextCue_].timeMs <= ms) deliver(script_.cues[nextCue_++]);
}

void Stage::deliver(const Cue& cue) {
    for (std::size_t i = 0; i < pawns_.size(); ++i)
        if (pawns_[i].player && (cue.player == kAllPlayers || script_.players[i].number == cue.player))
            perform(*pawns_[i].player, *pawns_[i].visible, cue.action, cue.first, cue.second);
}

void Stage::command(std::size_t slotIndex, Action action, std::int32_t first, std::int32_t second) {
    if (slotIndex >= pawns_.size() || !pawns_[slotIndex].player) return;
    perform(*pawns_[slotIndex].player, *pawns_[slotIndex].visible, action, first, second);
}

void Stage::drawFrame() {
    for (std::int32_t y = 0; y < kStageHeight; ++y)
        std::copy_n(backdrop_.data() + static_cast<std::size_t>(y) * kStageWidth, kStageWidth, surface_.row(y));
    // A fresh context each frame: whatever a pawn left set on it does not carry over.
    Canvas canvas = hostengine::makeCanvas(surface_);
    assert(hostengine::clipInsideSurface(canvas, surface_.width(), surface_.height()));
    for (PawnSlot& pawn : pawns_)
        if (pawn.visible) pawn.visible->draw(&canvas);
}

std::vector<std::string> Stage::takeNotes() { return std::move(notes_); }

std::vector<hostengine::LogLine> Stage::takeLog() {
    std::vector<hostengine::LogLine> fresh = engine_.logLines();
    engine_.clearLog();
    return fresh;
}

std::vector<std::uint16_t> makeBackdrop() {
    constexpr std::int32_t kFloor = 426;  // where the figures' feet stand once they are up
    // Five bits a component would band a smooth gradient; an ordered dither hides the steps.
    constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    auto component = [&](double value, std::int32_t x, std::int32_t y) {
        const int level = static_cast<int>((value + kBayer[y & 3][x & 3] * 0.5) / 8.0);
        return std::min(std::max(level, 0), 31);
    };
    std::vector<std::uint16_t> pixels(static_cast<std::size_t>(kStageWidth) * kStageHeight);
    for (std::int32_t y = 0; y < kStageHeight; ++y) {
        double red, green, blue;
        if (y < kFloor) {
            // The back wall: deep blue at the top, lighter towards the floor.
            const double t = static_cast<double>(y) / kFloor;
            red = 10 + 30 * t;
            green = 12 + 28 * t;
            blue = 40 + 60 * t;
        } else if (y < kFloor + 3) {
            red = 150, green = 140, blue = 200;  // the floor's front edge
        } else {
            const double t = static_cast<double>(y - kFloor) / (kStageHeight - kFloor);
            red = 34 - 22 * t;
            green = 26 - 18 * t;
            blue = 50 - 34 * t;
        }
        for (std::int32_t x = 0; x < kStageWidth; ++x) {
            // A soft light from above the middle of the stage.
            const double dx = (x - kStageWidth / 2.0) / (kStageWidth / 2.0);
            const double light = y < kFloor ? 1.0 + 0.35 * (1.0 - dx * dx) * (1.0 - static_cast<double>(y) / kFloor) : 1.0;
            pixels[static_cast<std::size_t>(y) * kStageWidth + x] = static_cast<std::uint16_t>(
                (component(red * light, x, y) << 10) | (component(green * light, x, y) << 5) | component(blue * light, x, y));
        }
    }
    return pixels;
}

}  // namespace pawnstage
