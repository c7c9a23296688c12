// The shared world (tests/support/world.h) with pawn.kvx loaded, and what a test reads back of a pawn:
// the frame on show from the screen's pixels or from its video, and which sounds played.
#pragma once

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "media/alpha_video.h"
#include "tests/support/world.h"

namespace pawntest {

// The sequence and the frame within it that an absolute frame belongs to ("" when none does).
struct SequenceFrame {
    std::string name;
    int index = 0;
    bool operator==(const SequenceFrame& other) const { return name == other.name && index == other.index; }
};

inline SequenceFrame sequenceFrameOf(const std::vector<SequenceRun>& runs, int frame) {
    for (const SequenceRun& run : runs)
        if (frame >= run.first && frame < run.first + run.count) return SequenceFrame{run.name, frame - run.first};
    return SequenceFrame{};
}

inline std::ostream& operator<<(std::ostream& out, const SequenceFrame& shown) {
    return out << (shown.name.empty() ? "<nothing>" : shown.name) << " frame " << shown.index;
}

class PawnWorld : public WorldFiles, public Stage, public Game {
public:
    explicit PawnWorld(WorldOptions options = {})
        : WorldFiles(options), Stage(dir, options), Game(host), sequences_(std::move(options.sequences)) {}
    ~PawnWorld() { close(host, producer); }

    PawnHandle create(const char* archiveName = "pawn", std::int32_t playerIndex = 1) { return Game::create(root, archiveName, playerIndex); }

    // One pass of the game loop: the clock moves on, the host delivers its events, the pawn updates.
    void tick(const PawnHandle& pawn, std::uint32_t milliseconds) {
        host.advance(milliseconds);
        host.pumpEvents();
        pawn.player->update();
    }

    // Draws the pawn on a cleared screen, with a fresh record of the font's calls.
    void drawFresh(const PawnHandle& pawn) {
        surface.fill(0);
        font.calls.clear();
        EXPECT_TRUE(hostengine::clipInsideSurface(canvas, surface.width(), surface.height())) << "the host keeps the clip on its surface";
        pawn.visible->draw(&canvas);
    }

    // The frame of the figure drawn with its top-left corner at (x, y), read from its centre pixel.
    SequenceFrame figureAt(std::int32_t x, std::int32_t y) const {
        const std::uint16_t pixel = surface.pixel(x + kFigureSize / 2, y + kFigureSize / 2);
        const int frame = ((pixel >> 10) & 31) | (((pixel >> 5) & 31) << 5);
        if (colourSetAt(x, y) == kPawnColours) return sequenceFrameOf(sequences_, frame);
        if (colourSetAt(x, y) == kPenguinColours) return sequenceFrameOf(penguinSequences(), frame);
        return SequenceFrame{};
    }
    // 0: the background, nothing drawn there.
    int colourSetAt(std::int32_t x, std::int32_t y) const { return surface.pixel(x + kFigureSize / 2, y + kFigureSize / 2) & 31; }

    // The sequence and frame the pawn's figure stands at, as its video reports them.
    static SequenceFrame videoState(const PawnHandle& pawn) {
        KTAlphaVideo* video = pawn.player->getVideo();
        if (!video || !video->current) return SequenceFrame{};
        return SequenceFrame{video->current->name, video->currentFrame()};
    }

    // Playbacks of the buzz WAVs (1..4 by length) and of the score sound.
    std::vector<int> buzzesPlayed() const {
        std::vector<int> played;
        for (const auto& playback : sounds.playbackLog()) {
            const std::int64_t frames = playback.sound ? playback.sound->frames() : 0;
            if (frames && frames % kBuzzFrameUnit == 0 && frames / kBuzzFrameUnit <= 4) played.push_back(static_cast<int>(frames / kBuzzFrameUnit));
        }
        return played;
    }
    std::vector<hostengine::Playback> scoreSoundsPlayed() const {
        std::vector<hostengine::Playback> played;
        for (const auto& playback : sounds.playbackLog())
            if (playback.sound && playback.sound->frames() == kScoreSoundFrames) played.push_back(playback);
        return played;
    }

private:
    std::vector<SequenceRun> sequences_;
};

}  // namespace pawntest
