// The show script as an author writes it: players, timed cues, relative times, and errors that point
// at the line and column where the script went wrong, with hostile text quoted safely.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/pawnstage/show_script.h"

using pawnstage::Action;
using pawnstage::ShowScript;

namespace {

ShowScript parse(const std::string& text) { return pawnstage::parseShowScript(text, "test.show"); }

std::string errorOf(const std::string& text) {
    try {
        parse(text);
    } catch (const pawnstage::ScriptError& error) {
        return error.what();
    }
    return "(no error)";
}

}  // namespace

TEST(StageScript, ReadsPlayersAndCuesInTimeOrderWithTheirParametersAndDefaults) {
    const ShowScript script = parse(
        "# two pawns\n"
        "player 2 frog at 180 280   # already up\n"
        "player 1 robot at 20\n"
        "\n"
        "0:00.000 1 comingUp 800\n"
        "+1.5 all BUZZ\n"
        "1:02.25 2 happy\n"
        "+0 1 loseScore 50\n"
        "0.1234 1 countAnswer reset\n"
        "2.0005 2 setPosition -10 300\n"
        "10:00 end\n");
    ASSERT_EQ(script.players.size(), 2u);
    EXPECT_EQ(script.players[0].archive, "robot");  // in slot order
    EXPECT_EQ(script.players[0].x + script.players[0].y, 20 + 480);  // below the stage unless placed
    EXPECT_EQ(script.players[1].y, 280);
    // Relative times count from the line before in file order; the cues are then put in time order.
    const struct {
        std::uint32_t time;
        std::int32_t player;
        Action action;
        std::int32_t first, second;
        int line;
    } expected[] = {{0, 1, Action::ComingUp, 800, 0, 5},   {123, 1, Action::CountAnswer, -1, 0, 9}, {1500, 0, Action::Buzz, 0, 0, 6},
                    {2001, 2, Action::SetPosition, -10, 300, 10}, {62250, 2, Action::Happy, 0, 0, 7}, {62250, 1, Action::LoseScore, 50, 0, 8}};
    ASSERT_EQ(script.cues.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const auto& cue = script.cues[i];
        const auto& e = expected[i];
        EXPECT_TRUE(cue.timeMs == e.time && cue.player == e.player && cue.action == e.action && cue.first == e.first && cue.second == e.second && cue.line == e.line)
            << "cue " << i << " at " << cue.timeMs << " line " << cue.line;
    }
    EXPECT_EQ(script.lengthMs(), 600000u);  // end fixes the length; without it, the last cue + 3 s
    EXPECT_EQ(parse("player 1 a at 0\n2 1 buzz\n").lengthMs(), 5000u);
}

TEST(StageScript, ErrorsNameLineColumnAndWhatWasExpectedAndQuoteHostileText) {
    const std::string huge(1 << 20, 'x');
    const struct {
        std::string text;
        std::string error;  // how the message starts
    } cases[] = {
        {"player 1 a at 0\n\n0:01 1 comingUp\n", "test.show:3:16: expected a number of milliseconds after 'comingUp'"},
        {"player 1 a at 0\n0 1 happy 3\n", "test.show:2:11: expected a level 0, 1 or 2 after 'happy', found '3'"},
        {"player 1 a at 0\n0 1 bonus 12\n", "test.show:2:11: expected a bonus number 1 to 10, or 16 for the penguin after 'bonus', found '12'"},
        {"player 1 a at 0\n0 1 showScore\n", "test.show:2:14: expected 0 or 1 after 'showScore'"},
        {"player 1 a at 0\n0 1 setPosition 10\n", "test.show:2:19: expected a y position after '10'"},
        {"player 1 a at 0\n0 1 buzz loud\n", "test.show:2:10: unexpected 'loud' after 'buzz'"},
        {"player 1 a at 0\n1:75 1 buzz\n", "test.show:2:1: expected a time (seconds like 1.5, minutes and seconds like 1:02.250, or +seconds after the line "
                                           "before) or 'player', found '1:75'"},
        {"player 1 a at 0\n1 two buzz\n", "test.show:2:3: expected a player number, 'all' or 'end' after the time, found 'two'"},
        {"player 1 a at 0\n  1 3 buzz\n", "test.show:2:5: player 3 is not on the stage (no 'player 3' line)"},
        {"player 1 robot\n", "test.show:1:15: expected 'at' and the pawn's x position after 'robot'"},
        {"player 1 robot at left\n", "test.show:1:19: expected an x position after 'at', found 'left'"},
        {"player 0 robot at 0\n", "test.show:1:8: expected a player number (1 or more) after 'player', found '0'"},
        {"player 1 a at 0\nplayer 1 b at 9\n", "test.show:2:8: player 1 is already on the stage (line 1)"},
        {"player 1 a at 0\n5 end\n6 end\n", "test.show:3:3: the show's end is already set (line 2)"},
        {"player 1 a at 0\n0 1 addScore 99999999999\n", "test.show:2:14: expected a number of points after 'addScore', found '99999999999'"},
        {std::string("0 all bu\0zz\n", 12), "test.show:1:7: unknown command 'bu\\x00zz'"},
        {"0 all \x1b[31mred\n", "test.show:1:7: unknown command '\\x1B[31mred'"},
        {"0 all " + huge + "\n", "test.show:1:7: unknown command 'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...' (1048576 bytes)"},
        {"\xEF\xBB\xBFplayer 1 robot at 0\r0 1 buzz\r0 1 comingUp\r", "test.show:3:13: expected a number of milliseconds after 'comingUp'"},
        {"player 1 robot at 0\r\n\r\n0 2 buzz\r\n", "test.show:3:3: player 2 is not on the stage (no 'player 2' line)"},
        // Every time too large for a show gets the same message, however it is written.
        {"player 1 a at 0\n90000 1 buzz\n", "test.show:2:1: time '90000' lies beyond the longest show of 24 hours"},
        {"99999999999999999999 end\n", "test.show:1:1: time '99999999999999999999' lies beyond the longest show of 24 hours"},
        {"999999:00 end\n", "test.show:1:1: time '999999:00' lies beyond the longest show of 24 hours"},
        {"24:00:00 end\n", "test.show:1:1: expected a time"},
        {"0 end\n", "test.show:1:3: the show must end after 0 s"},
        {"+0 end\n", "test.show:1:4: the show must end after 0 s"},
        // Sums a 32-bit score cannot show, as the pawn's rules make them.
        {"player 1 a at 0\n0 1 addScore 2000000000\n1 1 addScore 2000000000\n", "test.show:3:5: this addScore takes player 1's score to 4000000000, beyond what a score can show"},
        {"player 1 a at 0\nplayer 2 b at 0\n0 2 bonus 5\n0 2 useBonus\n1 all addBonusScore 600000000\n", "test.show:5:7: this addBonusScore takes player 2's score to 2400000000"},
        {"player 1 a at 0\n0 1 subtractScore -2147483648\n", "test.show:2:5: this subtractScore takes player 1's score to 2147483648"},
        // What the pawn's rules keep in range is accepted: losses stop at 0, a used-up bonus 10 and a penguin's after-effect change nothing beyond it.
        {"player 1 a at 0\n0 1 addScore 2147483647\n1 1 loseScore 2147483647\n2 1 loseScore 5\n3 1 addScore 2147483647\n4 1 bonus 16\n5 1 endBonus\n"
         "6 1 subtractScore 1\n7 1 addBonusScore 2\n", "(no error)"},
    };
    for (const auto& c : cases) {
        const std::string error = errorOf(c.text);
        EXPECT_EQ(error.substr(0, c.error.size()), c.error) << error.substr(0, 200);
    }
}
