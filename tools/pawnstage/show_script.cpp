#include "tools/pawnstage/show_script.h"

#include "tools/pawnstage/script_scores.h"
#include "tools/pawnstage/terminal_text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>

namespace pawnstage {

namespace fs = std::filesystem;

namespace {

// A show longer than a day is a typo, not a show; it also keeps times far from the clock's wrap.
constexpr std::uint64_t kLongestShowMs = 24ull * 3600 * 1000;
constexpr std::uint32_t kTailMs = 3000;

// What an argument may hold; each kind names itself in error texts.
enum class Arg { None, Milliseconds, Points, Level, Flag, BonusNumber, Outcome, Integer, X, Y };

struct ActionSpec {
    const char* name;
    Action action;
    std::uint32_t code;       // message code, 0 for operations
    Arg args[2];
    int required;             // leading arguments that must be given
    std::int32_t defaults[2]; // for the optional ones
};

const ActionSpec kActions[] = {
    {"freeze", Action::Freeze, 0x000B0001, {Arg::Integer, Arg::None}, 0, {0, 0}},
    {"buzz", Action::Buzz, 0x000B0003, {Arg::None, Arg::None}, 0, {0, 0}},
    {"buzzSilent", Action::BuzzSilent, 0x000B0003, {Arg::None, Arg::None}, 0, {0, 0}},
    {"happy", Action::Happy, 0x000B0004, {Arg::Level, Arg::None}, 0, {0, 0}},
    {"unhappy", Action::Unhappy, 0x000B0005, {Arg::Level, Arg::None}, 0, {0, 0}},
    {"lookLeft", Action::LookLeft, 0x000B0006, {Arg::None, Arg::None}, 0, {0, 0}},
    {"lookRight", Action::LookRight, 0x000B0007, {Arg::None, Arg::None}, 0, {0, 0}},
    {"unfreeze", Action::Unfreeze, 0x000B0008, {Arg::None, Arg::None}, 0, {0, 0}},
    {"goingDown", Action::GoingDown, 0x000B0009, {Arg::Milliseconds, Arg::None}, 1, {0, 0}},
    {"comingUp", Action::ComingUp, 0x000B000A, {Arg::Milliseconds, Arg::None}, 1, {0, 0}},
    {"waitHold", Action::WaitHold, 0x000B000B, {Arg::Milliseconds, Arg::None}, 1, {0, 0}},
    {"addScore", Action::AddScore, 0, {Arg::Points, Arg::None}, 1, {0, 0}},
    {"addBonusScore", Action::AddBonusScore, 0, {Arg::Points, Arg::None}, 1, {0, 0}},
    {"loseScore", Action::LoseScore, 0, {Arg::Points, Arg::Points}, 1, {0, 0}},
    {"subtractScore", Action::SubtractScore, 0, {Arg::Points, Arg::None}, 1, {0, 0}},
    {"countAnswer", Action::CountAnswer, 0, {Arg::Outcome, Arg::None}, 1, {0, 0}},
    {"bonus", Action::Bonus, 0, {Arg::BonusNumber, Arg::None}, 1, {0, 0}},
    {"useBonus", Action::UseBonus, 0, {Arg::None, Arg::None}, 0, {0, 0}},
    {"endBonus", Action::EndBonus, 0, {Arg::None, Arg::None}, 0, {0, 0}},
    {"endBonusIfUsed", Action::EndBonusIfUsed, 0, {Arg::None, Arg::None}, 0, {0, 0}},
    {"showScore", Action::ShowScore, 0, {Arg::Flag, Arg::None}, 1, {0, 0}},
    {"setHidden", Action::SetHidden, 0, {Arg::Flag, Arg::None}, 1, {0, 0}},
    {"setPosition", Action::SetPosition, 0, {Arg::X, Arg::Y}, 2, {0, 0}},
    {"setScorePhase", Action::SetScorePhase, 0, {Arg::Integer, Arg::None}, 1, {0, 0}},
    {"thaw", Action::Thaw, 0, {Arg::None, Arg::None}, 0, {0, 0}},
    {"setActivity", Action::SetActivity, 0, {Arg::Integer, Arg::None}, 1, {0, 0}},
};

const ActionSpec& specOf(Action action) {
    for (const ActionSpec& known : kActions)
        if (known.action == action) return known;
    return kActions[0];
}

bool sameWord(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

const ActionSpec* findAction(std::string_view word) {
    for (const ActionSpec& known : kActions)
        if (sameWord(word, known.name)) return &known;
    return nullptr;
}

const char* describe(Arg arg, Action action) {
    switch (arg) {
    case Arg::Milliseconds: return "a number of milliseconds";
    case Arg::Points: return action == Action::LoseScore ? "a number of points (then optionally the alternative points)" : "a number of points";
    case Arg::Level: return "a level 0, 1 or 2";
    case Arg::Flag: return "0 or 1";
    case Arg::BonusNumber: return "a bonus number 1 to 10, or 16 for the penguin";
    case Arg::Outcome: return "an answer outcome: right, wrong, reset or a number";
    case Arg::Integer: return action == Action::SetScorePhase ? "a font phase number" : "an activity level";
    case Arg::X: return "an x position";
    case Arg::Y: return "a y position";
    case Arg::None: break;
    }
    return "nothing";
}

struct Token {
    std::string_view text;
    int column;  // 1-based
    int end() const { return column + static_cast<int>(text.size()); }
};

// Splits a line at blanks; a token starting with '#' begins a comment that runs to the end.
std::vector<Token> tokenize(std::string_view line) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        if (i >= line.size() || line[i] == '#') break;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
        tokens.push_back(Token{line.substr(start, i - start), static_cast<int>(start) + 1});
    }
    return tokens;
}

std::optional<std::int32_t> parseInteger(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i >= text.size()) return std::nullopt;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

bool allDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Digits as a number held far beyond the longest show, so that every time too large for one gets the
// same message however many digits it has.
std::uint64_t saturatedDigits(std::string_view digits) {
    constexpr std::uint64_t kHeld = std::uint64_t{1} << 40;
    std::uint64_t value = 0;
    for (char c : digits) value = std::min(value * 10 + static_cast<std::uint64_t>(c - '0'), kHeld);
    return value;
}

// "12", "12.5", "1:02", "1:02.250" -> milliseconds (fractions rounded to the millisecond).
std::optional<std::uint64_t> parseClock(std::string_view text) {
    std::uint64_t minutes = 0;
    const std::size_t colon = text.find(':');
    if (colon != std::string_view::npos) {
        std::string_view head = text.substr(0, colon);
        if (!allDigits(head)) return std::nullopt;
        minutes = saturatedDigits(head);
        text = text.substr(colon + 1);
    }
    const std::size_t dot = text.find('.');
    std::string_view whole = text.substr(0, dot);
    std::string_view fraction = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    if (!allDigits(whole)) return std::nullopt;
    if (dot != std::string_view::npos && !allDigits(fraction)) return std::nullopt;
    const std::uint64_t seconds = saturatedDigits(whole);
    if (colon != std::string_view::npos && (whole.size() != 2 || seconds >= 60)) return std::nullopt;
    // Rounded to the nearest millisecond from the first four decimals.
    std::uint64_t tenths = 0;  // of a millisecond
    for (std::size_t k = 0; k < 4; ++k) tenths = tenths * 10 + (k < fraction.size() ? static_cast<std::uint64_t>(fraction[k] - '0') : 0);
    return (minutes * 60 + seconds) * 1000 + (tenths + 5) / 10;
}

class Parser {
public:
    Parser(std::string_view text, const std::string& name) : text_(text) { script_.name = name; }

    ShowScript run() {
        // An editor's byte-order mark is not part of the first line.
        std::size_t start = text_.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
        int lineNumber = 0;
        while (start <= text_.size()) {
            // Lines end in LF, CR LF or a lone CR.
            std::size_t stop = text_.find_first_of("\r\n", start);
            if (stop == std::string_view::npos) stop = text_.size();
            ++lineNumber;
            parseLine(text_.substr(start, stop - start), lineNumber);
            start = stop + (text_.compare(stop, 2, "\r\n") == 0 ? 2 : 1);
        }
        for (const Target& target : targets_)
            if (!script_.slot(target.player))
                fail(target.line, target.column, "player " + std::to_string(target.player) + " is not on the stage (no 'player " +
                                                     std::to_string(target.player) + "' line)");
        std::stable_sort(script_.players.begin(), script_.players.end(),
                         [](const PlayerSlot& a, const PlayerSlot& b) { return a.number < b.number; });
        std::stable_sort(script_.cues.begin(), script_.cues.end(), [](const Cue& a, const Cue& b) { return a.timeMs < b.timeMs; });
        checkScores(script_);
        return std::move(script_);
    }

private:
    struct Target {
        std::int32_t player;
        int line;
        int column;
    };

    [[noreturn]] void fail(int line, int column, const std::string& message) const {
        throw ScriptError(script_.name, line, column, message);
    }

    static std::string quoted(std::string_view text) { return quotedToken(text); }

    // A missing token is reported just past the last one, where it should have followed.
    [[noreturn]] void expected(int line, const std::vector<Token>& tokens, std::size_t index, const std::string& what,
                               const std::string& after) const {
        if (index < tokens.size())
            fail(line, tokens[index].column, "expected " + what + " after " + after + ", found " + quoted(tokens[index].text));
        fail(line, tokens.empty() ? 1 : tokens.back().end(), "expected " + what + " after " + after);
    }

    void parseLine(std::string_view line, int lineNumber) {
        const std::vector<Token> tokens = tokenize(line);
        if (tokens.empty()) return;
        if (sameWord(tokens[0].text, "player")) {
            parsePlayer(tokens, lineNumber);
            return;
        }
        parseCue(tokens, lineNumber);
    }

    // player N ARCHIVE at X [Y]
    void parsePlayer(const std::vector<Token>& tokens, int line) {
        PlayerSlot slot;
        slot.line = line;
        std::optional<std::int32_t> number = tokens.size() > 1 ? parseInteger(tokens[1].text) : std::nullopt;
        if (!number || *number < 1) expected(line, tokens, 1, "a player number (1 or more)", "'player'");
        slot.number = *number;
        for (const PlayerSlot& other : script_.players)
            if (other.number == slot.number)
                fail(line, tokens[1].column, "player " + std::to_string(slot.number) + " is already on the stage (line " +
                                                 std::to_string(other.line) + ")");
        const std::string introduction = "'player " + std::string(tokens[1].text) + "'";
        if (tokens.size() < 3) expected(line, tokens, 2, "the name of the pawn's archive", introduction);
        slot.archive = std::string(tokens[2].text);
        if (tokens.size() < 4 || !sameWord(tokens[3].text, "at")) expected(line, tokens, 3, "'at' and the pawn's x position", quoted(tokens[2].text));
        std::optional<std::int32_t> x = tokens.size() > 4 ? parseInteger(tokens[4].text) : std::nullopt;
        if (!x) expected(line, tokens, 4, "an x position", "'at'");
        slot.x = *x;
        if (tokens.size() > 5) {
            std::optional<std::int32_t> y = parseInteger(tokens[5].text);
            if (!y) expected(line, tokens, 5, "a y position or the end of the line", quoted(tokens[4].text));
            slot.y = *y;
        }
        if (tokens.size() > 6) fail(line, tokens[6].column, "unexpected " + quoted(tokens[6].text) + " after the y position");
        script_.players.push_back(std::move(slot));
    }

    std::uint32_t parseTime(const Token& token, int line) {
        std::string_view text = token.text;
        const bool relative = !text.empty() && text[0] == '+';
        if (relative) text.remove_prefix(1);
        std::optional<std::uint64_t> ms = parseClock(text);
        if (!ms)
            fail(line, token.column,
                 "expected a time (seconds like 1.5, minutes and seconds like 1:02.250, or +seconds after the line before) or "
                 "'player', found " + quoted(token.text));
        const std::uint64_t at = relative ? lastTime_ + *ms : *ms;
        if (at > kLongestShowMs) fail(line, token.column, "time " + quoted(token.text) + " lies beyond the longest show of 24 hours");
        lastTime_ = static_cast<std::uint32_t>(at);
        return lastTime_;
    }

    // TIME TARGET ACTION [ARGS] | TIME end
    void parseCue(const std::vector<Token>& tokens, int line) {
        const std::uint32_t time = parseTime(tokens[0], line);
        if (tokens.size() > 1 && sameWord(tokens[1].text, "end")) {
            if (script_.endMs) fail(line, tokens[1].column, "the show's end is already set (line " + std::to_string(endLine_) + ")");
            if (time == 0) fail(line, tokens[1].column, "the show must end after 0 s: a show of no frames has nothing to show");
            if (tokens.size() > 2) fail(line, tokens[2].column, "unexpected " + quoted(tokens[2].text) + " after 'end'");
            script_.endMs = time;
            endLine_ = line;
            return;
        }
        Cue cue;
        cue.timeMs = time;
        cue.line = line;
        cue.column = tokens.size() > 2 ? tokens[2].column : tokens[0].column;
        if (tokens.size() < 2) expected(line, tokens, 1, "a player number, 'all' or 'end'", "the time");
        if (sameWord(tokens[1].text, "all")) {
            cue.player = kAllPlayers;
        } else {
            std::optional<std::int32_t> player = parseInteger(tokens[1].text);
            if (!player || *player < 1) expected(line, tokens, 1, "a player number, 'all' or 'end'", "the time");
            cue.player = *player;
            targets_.push_back(Target{cue.player, line, tokens[1].column});
        }
        if (tokens.size() < 3) expected(line, tokens, 2, "a command (comingUp, buzz, happy, addScore, ...)", quoted(tokens[1].text));
        const ActionSpec* known = findAction(tokens[2].text);
        if (!known) fail(line, tokens[2].column, "unknown command " + quoted(tokens[2].text));
        cue.action = known->action;
        std::int32_t values[2] = {known->defaults[0], known->defaults[1]};
        std::size_t index = 3;
        for (int k = 0; k < 2 && known->args[k] != Arg::None; ++k, ++index) {
            const std::string after = quoted(tokens[index - 1].text);
            if (index >= tokens.size()) {
                if (k < known->required) expected(line, tokens, index, describe(known->args[k], known->action), after);
                break;
            }
            std::optional<std::int32_t> value = argument(known->args[k], tokens[index].text);
            if (!value) expected(line, tokens, index, describe(known->args[k], known->action), after);
            values[k] = *value;
        }
        if (index < tokens.size())
            fail(line, tokens[index].column, "unexpected " + quoted(tokens[index].text) + " after " + quoted(tokens[index - 1].text));
        cue.first = values[0];
        cue.second = values[1];
        script_.cues.push_back(cue);
    }

    static std::optional<std::int32_t> argument(Arg arg, std::string_view text) {
        if (arg == Arg::Outcome) {
            if (sameWord(text, "right")) return 1;
            if (sameWord(text, "wrong")) return 0;
            if (sameWord(text, "reset")) return -1;
        }
        std::optional<std::int32_t> value = parseInteger(text);
        if (!value) return std::nullopt;
        switch (arg) {
        case Arg::Milliseconds:
            if (*value < 0) return std::nullopt;
            break;
        case Arg::Level:
            if (*value < 0 || *value > 2) return std::nullopt;
            break;
        case Arg::Flag:
            if (*value != 0 && *value != 1) return std::nullopt;
            break;
        case Arg::BonusNumber:
            if (!((*value >= 1 && *value <= 10) || *value == 16)) return std::nullopt;
            break;
        default:
            break;
        }
        return value;
    }

    std::string_view text_;
    ShowScript script_;
    std::vector<Target> targets_;
    std::uint32_t lastTime_ = 0;
    int endLine_ = 0;
};

}  // namespace

const char* actionName(Action action) { return specOf(action).name; }

std::uint32_t messageCode(Action action) { return specOf(action).code; }

std::uint32_t ShowScript::lengthMs() const {
    if (endMs) return *endMs;
    return (cues.empty() ? 0 : cues.back().timeMs) + kTailMs;
}

const PlayerSlot* ShowScript::slot(std::int32_t number) const {
    for (const PlayerSlot& player : players)
        if (player.number == number) return &player;
    return nullptr;
}

ScriptError::ScriptError(const std::string& name, int line, int column, const std::string& message)
    : std::runtime_error(line > 0 ? name + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " + message : name + ": " + message),
      line_(line),
      column_(column),
      message_(message) {}

ShowScript parseShowScript(std::string_view text, const std::string& name) { return Parser(text, name).run(); }

std::string readScriptFile(const std::string& path) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found) throw ScriptError(path, 0, 0, "cannot read the show script");
    if (fs::is_directory(status)) throw ScriptError(path, 0, 0, "a directory, not a show script");
    // A device or a pipe may never end (/dev/zero), and the script is read whole before the show starts.
    if (!fs::is_regular_file(status)) throw ScriptError(path, 0, 0, "not a regular file, so not read as a show script");
    std::ifstream file(path, std::ios::binary);
    if (!file) throw ScriptError(path, 0, 0, "cannot read the show script");
    std::string text;
    char chunk[64 * 1024];
    // A file may grow while it is read: the limit holds for what is read, not for what stat said.
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        text.append(chunk, static_cast<std::size_t>(file.gcount()));
        if (text.size() > kLargestScriptBytes)
            throw ScriptError(path, 0, 0, "larger than " + std::to_string(kLargestScriptBytes >> 20) + " MB, far beyond any show; not read");
    }
    if (file.bad()) throw ScriptError(path, 0, 0, "cannot read the show script");
    return text;
}

ShowScript loadShowScript(const std::string& path) { return parseShowScript(readScriptFile(path), path); }

std::string formatTime(std::uint32_t ms) {
    char text[32];
    if (ms >= 60000)
        std::snprintf(text, sizeof text, "%u:%02u.%03u", ms / 60000, ms / 1000 % 60, ms % 1000);
    else
        std::snprintf(text, sizeof text, "%u.%03u", ms / 1000, ms % 1000);
    return text;
}

}  // namespace pawnstage
