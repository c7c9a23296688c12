// The show script: which pawns stand on the stage and what the game does to them, and when.
//
//   # a comment; blank lines are skipped
//   player 1 robot at 20          slot 1: the archive "robot", drawn at x 20 (y 480, below the stage)
//   player 2 frog at 180 280      slot 2 at x 180, already risen to y 280
//   0:00.000 1 comingUp 800       at 0 s, player 1 slides up over 800 ms
//   1.5 all buzz                  at 1.5 s, every player buzzes
//   +0.25 2 happy 1               0.25 s after the line before, player 2 cheers (level 1)
//   30 end                        the show lasts 30 s (else the last cue + 3 s)
//
// Times are seconds ("1.5"), minutes and seconds ("1:02.250") or, with a leading '+', relative to the
// time of the line before. Cues keep file order among equal times.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pawnstage {

// What a cue does to a pawn: one of the game's messages, a player operation or a bonus command.
enum class Action {
    // messages (family 0x000B)
    Freeze,
    Buzz,
    BuzzSilent,
    Happy,
    Unhappy,
    LookLeft,
    LookRight,
    Unfreeze,
    GoingDown,
    ComingUp,
    WaitHold,
    // score operations
    AddScore,
    AddBonusScore,
    LoseScore,
    SubtractScore,
    CountAnswer,
    // bonuses
    Bonus,
    UseBonus,
    EndBonus,
    EndBonusIfUsed,
    // other player operations
    ShowScore,
    SetHidden,
    SetPosition,
    SetScorePhase,
    Thaw,
    SetActivity,
};

// The script name of an action ("comingUp").
const char* actionName(Action action);
// The message code of an action that is sent as a message (0x000B000k), or 0 for the others.
std::uint32_t messageCode(Action action);

constexpr std::int32_t kAllPlayers = 0;

struct PlayerSlot {
    std::int32_t number = 0;  // the player's number, also the index handed to createPlayer
    std::string archive;      // the archive's name in the resource root
    std::int32_t x = 0;
    std::int32_t y = 480;     // out of view until the pawn comes up
    int line = 0;
};

struct Cue {
    std::uint32_t timeMs = 0;
    std::int32_t player = kAllPlayers;  // a slot number, or kAllPlayers
    Action action = Action::Buzz;
    std::int32_t first = 0;   // the parameter, points, level, bonus number or x
    std::int32_t second = 0;  // loseScore's alternative, setPosition's y
    int line = 0;
    int column = 0;  // of the command
};

struct ShowScript {
    std::string name;                  // the file name errors are reported under
    std::vector<PlayerSlot> players;   // in slot number order
    std::vector<Cue> cues;             // in time order
    std::optional<std::uint32_t> endMs;

    // The show's length: the `end` time, else 3 s after the last cue (3 s for a script without cues).
    std::uint32_t lengthMs() const;
    const PlayerSlot* slot(std::int32_t number) const;
};

// A script that cannot be read: what() is "name:line:column: message".
class ScriptError : public std::runtime_error {
public:
    ScriptError(const std::string& name, int line, int column, const std::string& message);
    int line() const { return line_; }
    int column() const { return column_; }
    const std::string& message() const { return message_; }

private:
    int line_;
    int column_;
    std::string message_;
};

// Throws ScriptError for the first fault found.
ShowScript parseShowScript(std::string_view text, const std::string& name);
// The text of a script file: a regular file of at most kLargestScriptBytes. Throws ScriptError
// (line 0) naming the file as given and why it is not read.
constexpr std::size_t kLargestScriptBytes = std::size_t{64} << 20;
std::string readScriptFile(const std::string& path);
// Reads and parses a file; the error names the file as given. Throws ScriptError.
ShowScript loadShowScript(const std::string& path);

// "12.345" or "1:02.345" for error texts and progress lines.
std::string formatTime(std::uint32_t ms);

}  // namespace pawnstage
