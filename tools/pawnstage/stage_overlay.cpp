#include "tools/pawnstage/stage_overlay.h"

#include <algorithm>

#include "media/alpha_video.h"

namespace pawnstage {

namespace {

constexpr std::int32_t kLineHeight = 12;  // 8-pixel glyphs and a margin
constexpr std::size_t kLogLinesShown = 3;
constexpr std::uint16_t kNoticeBox = (2 << 10) | (8 << 5) | 4;  // dark green
constexpr std::uint16_t kErrorBox = (20 << 10) | (2 << 5) | 2;  // red: a script that does not read
constexpr std::uint16_t kDetailBox = (2 << 10) | (2 << 5) | 6;  // dark blue

// Elapsed ticks as a signed difference: the SDL clock may wrap.
bool reached(std::uint32_t now, std::uint32_t until) { return static_cast<std::int32_t>(now - until) >= 0; }

}  // namespace

std::string describePawn(const PlayerSlot& slot, IKTPlayer& player) {
    std::string line = std::to_string(slot.number) + " " + slot.archive + "  ";
    const KTAlphaVideo* video = player.getVideo();
    const Sequence* sequence = video ? video->current : nullptr;
    if (sequence && sequence->name)
        line += std::string(sequence->name) + " " + std::to_string(sequence->position) + "/" + std::to_string(sequence->count);
    else
        line += "no figure";
    line += "  score " + std::to_string(player.getScore());
    const std::int32_t bonus = player.getBonusState();
    if (bonus & 0xff) line += "  bonus " + std::to_string(bonus & 0xff) + ((bonus >> 8) & 1 ? " in use" : " held");
    if (player.isFrozen()) line += "  frozen (" + std::to_string(player.getActivity()) + ")";
    if (player.isHidden()) line += "  hidden";
    return line;
}

StageOverlay::StageOverlay() : font_(1, 0) {}

void StageOverlay::notice(const std::string& text, std::uint32_t nowTicks, std::uint32_t showMs) {
    status_ = text;
    error_ = false;
    statusUntil_ = nowTicks + showMs;
    if (statusUntil_ == 0) statusUntil_ = 1;
}

void StageOverlay::error(const std::string& text) {
    status_ = text;
    error_ = true;
    statusUntil_ = 0;
}

void StageOverlay::keepLog(const std::vector<hostengine::LogLine>& lines) {
    for (const hostengine::LogLine& line : lines) {
        std::string text = line.text;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        log_.push_back("[" + std::to_string(line.level) + "] " + text);
        if (log_.size() > kLogLinesShown) log_.pop_front();
    }
}

void StageOverlay::drawLine(hostengine::Surface& surface, std::int32_t y, const std::string& text, std::uint16_t background,
                            Colour colour) {
    // Lines longer than the stage are cut: the whole text is on stderr as well.
    const std::size_t fits = static_cast<std::size_t>((kStageWidth - 8) / 6);
    const std::string shown = text.size() > fits ? text.substr(0, fits - 3) + "..." : text;
    surface.fillRect(Rect(0, y, kStageWidth, kLineHeight), background);
    Canvas canvas = hostengine::makeCanvas(surface);
    canvas.setFont(font_.font());
    canvas.setColour(colour);
    canvas.drawText(4, y + 2, shown.c_str());
}

void StageOverlay::draw(hostengine::Surface& surface, Stage* stage, bool paused, std::uint32_t nowTicks) {
    if (statusUntil_ != 0 && reached(nowTicks, statusUntil_)) status_.clear();
    std::int32_t y = 0;
    std::string top = status_;
    if (paused) top = top.empty() ? "paused (Return resumes, s steps)" : "paused | " + top;
    if (!top.empty()) {
        drawLine(surface, y, top, error_ ? kErrorBox : kNoticeBox, Colour(255, 255, 255));
        y += kLineHeight;
    }
    if (!details_ || !stage) return;
    std::vector<std::string> lines;
    lines.push_back("clock " + std::to_string(stage->now()) + " ms of " + std::to_string(stage->lengthMs()));
    for (std::size_t i = 0; i < stage->slotCount(); ++i)
        lines.push_back(stage->hasPawn(i) ? describePawn(stage->slot(i), stage->player(i)) : std::to_string(stage->slot(i).number) + " (no pawn)");
    lines.insert(lines.end(), log_.begin(), log_.end());
    for (const std::string& line : lines) {
        drawLine(surface, y, line, kDetailBox, Colour(255, 240, 160));
        y += kLineHeight;
    }
}

}  // namespace pawnstage
