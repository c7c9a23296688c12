// What `pawnstage play` writes over the stage: a status line (what was reloaded, or the script's
// error with its file:line:column) and, when toggled on, one line per pawn with what it is doing
// (its sequence and frame, score, bonus, activity) as the game reads it through IKTPlayer, followed
// by the module's latest log lines.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "host/core/bitmap_font.h"
#include "host/core/host_engine.h"
#include "host/core/surface.h"
#include "tools/pawnstage/stage.h"

namespace pawnstage {

// One pawn's line, from what IKTPlayer hands out: "1 robot  buzz02 3/10  score 120  bonus 3 in use".
std::string describePawn(const PlayerSlot& slot, IKTPlayer& player);

class StageOverlay {
public:
    StageOverlay();

    // Shown from now on: a notice fades after `showMs`, an error stays until the next status.
    void notice(const std::string& text, std::uint32_t nowTicks, std::uint32_t showMs = 4000);
    void error(const std::string& text);
    bool showingError() const { return error_; }
    const std::string& status() const { return status_; }

    void toggleDetails() { details_ = !details_; }
    bool details() const { return details_; }
    void keepLog(const std::vector<hostengine::LogLine>& lines);

    // Over the stage's surface, after the pawns have been drawn; without a stage (a reload that could
    // not make one) only the status line, on `surface`.
    void draw(hostengine::Surface& surface, Stage* stage, bool paused, std::uint32_t nowTicks);

private:
    void drawLine(hostengine::Surface& surface, std::int32_t y, const std::string& text, std::uint16_t background, Colour colour);

    hostengine::BitmapFont font_;
    std::string status_;
    bool error_ = false;
    std::uint32_t statusUntil_ = 0;  // ticks; 0 while an error stays
    bool details_ = false;
    std::deque<std::string> log_;    // the latest lines, oldest first
};

}  // namespace pawnstage
