// Title sequence, command screens, the case clock and the three endings.
#include "game/story.h"
#include "game_fixture.h"

namespace quendrel {
namespace {

constexpr const char* kHelpTitle = "HERE ARE SOME BASIC COMMANDS THAT CAN BE USED IN THE GAME...";

TEST_F(GameTest, MainScreenShowsBannerCompassAndSeat) {
    ASSERT_TRUE(reach_main_screen());
    EXPECT_EQ(row_text(5).substr(22, 10), "/Tallowby ");
    EXPECT_EQ(row_text(6)[79], ' ');
    EXPECT_EQ(row_text(6).substr(22, 13), "/Written by: ");
    EXPECT_EQ(row_text(12).substr(36, 5), "  + E");  // location 1: only east
    EXPECT_EQ(row_text(11)[38], ' ');
    EXPECT_NE(row_text(17).find("your own seat"), std::string::npos);
    EXPECT_EQ(row_text(19).substr(0, 2), "> ");
    EXPECT_EQ(attribute_at(4, 30), 0x08);  // dark grey on black
}

// Every accepted word of the commands that show a screen, in the order of
// the command table, walking to the seats where the people's commands work.
TEST_F(GameTest, EveryCommandWordShowsItsScreenUntilAKey) {
    struct Step {
        const char* command;
        Rows screen;                    // a response screen, or
        const char* arrival = nullptr;  // the first text row after a move
    };
    const Step steps[] = {
        {"HELP", {{1, kHelpTitle}, {3, "LOOK                         - CHECK FOR AVAILABLE EXITS"},
                  {13, "END                          - END GAME"}, {15, kPressAnyKey}}},
        {"H", {{1, kHelpTitle}, {15, kPressAnyKey}}},
        {"LOOK AROUND", {{1, "EAST"}, {2, ""}, {3, kPressAnyKey}}},
        {"LOOK", {{1, "EAST"}, {3, kPressAnyKey}}},
        {"L", {{1, "EAST"}, {3, kPressAnyKey}}},
        {"INVENTORY", {{1, "INVENTORY..."}, {2, ""}, {3, "The murder weapon."}, {5, kPressAnyKey}}},
        {"INV", {{1, "INVENTORY..."}, {3, "The murder weapon."}, {5, kPressAnyKey}}},
        {"ITEMS", {{1, "INVENTORY..."}, {3, "The murder weapon."}, {5, kPressAnyKey}}},
        {"I", {{1, "INVENTORY..."}, {3, "The murder weapon."}, {5, kPressAnyKey}}},
        {"EXAMINE KNIFE", {{1, story::kKnife[0]}, {2, story::kKnife[1]}, {3, ""}}},
        {"E", {}, story::kAisle2},
        {"N", {}, story::kAisle4},
        {"E", {}, story::kHankSeat5},
        {"EXAMINE HANK", {{1, story::kHank[0]}, {3, ""}, {4, "TALK TO HANK"}}},
        {"TALK TO HANK", {{1, story::kHankAccount[0]}, {2, story::kHankAccount[1]}, {3, ""}}},
        {"W", {}, story::kAisle4},
        {"S", {}, story::kAisle2},
        {"S", {}, story::kAisle8},
        {"E", {}, story::kFranSeat9},
        {"EXAMINE FRAN", {{1, story::kFran[0]}, {3, ""}, {4, "TALK TO FRAN"}, {5, "ASK ABOUT VICTIM"}}},
        {"TALK TO FRAN", {{1, story::kFranAccount[0]}, {3, story::kFranAccount[2]}, {4, ""}}},
        {"ASK ABOUT VICTIM", {{1, story::kFranOnVictim}, {2, ""}}},
        {"W", {}, story::kAisle8},
        {"W", {}, story::kDocSeat10},
        {"EXAMINE DOC", {{1, story::kDoc[0]}, {3, ""}, {4, "TALK TO DOC"}}},
        {"TALK TO DOC", {{1, story::kDocAccount[0]}, {3, story::kDocAccount[2]}, {4, ""}}},
        {"E", {}, story::kAisle8},
        {"S", {}, story::kPlaneEnd11},
        {"W", {}, story::kRestRoom12[0]},
        {"EXAMINE ROBERT", {{1, story::kRobert[0]}, {3, story::kRobert[2]}, {4, ""}, {5, ""}}},
        {"EXAMINE KNIFE", {{1, story::kKnife[0]}}},  // anywhere, any time
    };
    ASSERT_TRUE(reach_main_screen());
    for (const Step& step : steps) {
        if (!step.arrival) {
            ASSERT_TRUE(shows_screen(step.command, step.screen));
            continue;
        }
        ASSERT_TRUE(enter(step.command));
        ASSERT_TRUE(wait_until([&] { return main_screen_ready() && row_is(17, step.arrival); }, kWait))
            << step.command << "\n" << screen_text();
    }
}

// What is typed is echoed upper case without the keys the reader ignores,
// and the command is compared without its surrounding spaces.
TEST_F(GameTest, CommandsAreUpperCasedAndTrimmed) {
    struct Case {
        const char* keys;
        const char* echo;
        Rows screen;
    };
    const Case cases[] = {
        {"  look ", "  LOOK ", {{1, "EAST"}}},
        {"Inv", "INV", {{1, "INVENTORY..."}}},
        {" hElP", " HELP", {{1, kHelpTitle}}},
        {"examine knife   ", "EXAMINE KNIFE   ", {{1, story::kKnife[0]}}},
        {"l?o.o1k?", "LOOK", {{1, "EAST"}}},
    };
    ASSERT_TRUE(reach_main_screen());
    for (const Case& c : cases) {
        ASSERT_TRUE(echoes(c.keys, 19, c.echo));
        type('\r');
        ASSERT_TRUE(screen_follows(c.keys, c.screen));
    }
    ASSERT_TRUE(echoes(" go east ", 19, " GO EAST "));
    type('\r');
    ASSERT_TRUE(wait_until([&] { return main_screen_ready() && row_is(17, story::kAisle2); }, kWait))
        << screen_text();
}

// Anything not in the command table, and the people's commands away from
// their seats, leave the same main screen: no message, no move.
TEST_F(GameTest, CommandsOutsideTheTableChangeNothing) {
    struct Case {
        const char* keys;
        const char* echo;
    };
    const Case cases[] = {
        {"GO  NORTH", "GO  NORTH"},
        {"GO?NORTH", "GONORTH"},
        {"?", ""},
        {"", ""},
        {"NORTH EAST", "NORTH EAST"},
        {"USE KNIFE", "USE KNIFE"},
        {"TALK TO FRAN", "TALK TO FRAN"},
        {"EXAMINE ROBERT", "EXAMINE ROBERT"},
        {"TALK TO DOC", "TALK TO DOC"},
        {"PRESENT EVIDENCE", "PRESENT EVIDENCE"},
    };
    ASSERT_TRUE(reach_main_screen());
    ASSERT_TRUE(enter("E"));  // the aisle, where NORTH would move
    ASSERT_TRUE(wait_until([&] { return main_screen_ready() && row_is(17, story::kAisle2); }, kWait));
    const std::string aisle = screen_without_clock();
    for (const Case& c : cases) {
        ASSERT_TRUE(echoes(c.keys, 18, c.echo));
        type('\r');
        ASSERT_TRUE(same_screen_follows(c.keys, aisle));
    }
}

TEST_F(GameTest, KeysTypedOnAPressAnyKeyScreenAreThrownAwayByTheReader) {
    ASSERT_TRUE(reach_main_screen());
    const std::string seat = screen_without_clock();
    ASSERT_TRUE(enter("L"));
    auto exits_shown = [&] { return row_is(1, "EAST") && row_is(3, kPressAnyKey); };
    ASSERT_TRUE(wait_until(exits_shown, kWait));
    // E ends the pause; kept, E and Enter would move to the aisle.
    ASSERT_TRUE(dismiss(exits_shown, "E\r"));
    ASSERT_TRUE(wait_for_main_screen());
    EXPECT_TRUE(row_is(19, "> "));
    // Kept keys would be taken first, and this would look around the aisle.
    ASSERT_TRUE(shows_screen("L", {{1, "EAST"}}));
    EXPECT_EQ(screen_without_clock(), seat);
}

class FailureTest : public GameTest {
protected:
    // Two rows in dark grey on black, the closing prompt under them, then
    // the exit.
    void expect_failure_ending() {
        ASSERT_TRUE(wait_until([&] { return row_is(25, kClosingPrompt); }, kWait)) << screen_text();
        EXPECT_TRUE(row_is(1, story::kFailFirst));
        EXPECT_TRUE(row_is(2, story::kFailSecond));
        for (int r = 3; r <= 24; ++r) EXPECT_TRUE(row_is(r, "")) << r;
        EXPECT_TRUE(page_attributes_are(0x08));
        EXPECT_TRUE(ends_after_closing_prompt());
    }
};

// The clock held still and driven to chosen points: row 2 from column 32
// shows the time left as " ###:##.###", and passing the deadline ends it.
TEST_F(FailureTest, CaseClockShowsTheTimeLeftToTheMillisecond) {
    uint32_t started = 0;
    ASSERT_TRUE(reach_main_screen([&] {
        platform.sleeps_advance_clock = false;
        // A sleep under way may still add its length once.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        // Ten minutes on from start-up: whole seconds since midnight, so
        // the deadline is exact in binary.
        started = uint32_t(rt.run.clock_base_ms) + 600000;
        platform.set_clock_ms(started);
    }));
    struct Point {
        uint32_t elapsed_ms;
        const char* shown;
    };
    const Point points[] = {
        {0, "  30: 0.000"},
        {500, "  29:59.500"},
        {1234, "  29:58.766"},
        {1800000 - 90400, "   1:30.400"},
        {1800000 - 59600, "   0:59.600"},
        {1800000 - 1, "   0: 0.001"},
    };
    for (const Point& p : points) {
        platform.set_clock_ms(started + p.elapsed_ms);
        EXPECT_TRUE(wait_until([&] { return row_is(2, std::string(31, ' ') + p.shown); }, kWait))
            << p.elapsed_ms << " ms: [" << clock_text() << "]";
        EXPECT_TRUE(row_is(15, kHint));
    }
    platform.set_clock_ms(started + 1800000 + 1000);
    expect_failure_ending();
}

TEST_F(FailureTest, TimeRunningOutWhileTypingEndsInFailure) {
    ASSERT_TRUE(reach_main_screen());
    type("LOO");
    platform.advance_ms(1801 * 1000);
    expect_failure_ending();
}

// Time on a press-any-key screen counts: the next reader call ends the game
// in its first pass, before any command.
TEST_F(FailureTest, TimeSpentOnAPressAnyKeyScreenCountsAgainstTheClock) {
    ASSERT_TRUE(reach_main_screen());
    ASSERT_TRUE(enter("I"));
    auto inventory = [&] { return row_is(1, "INVENTORY..."); };
    ASSERT_TRUE(wait_until(inventory, kWait));
    platform.advance_ms(1801 * 1000);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(row_is(1, "INVENTORY..."));  // still waiting for its key
    ASSERT_TRUE(dismiss(inventory));
    expect_failure_ending();
}

TEST_F(GameTest, TheShortestRouteSolvesTheCase) {
    ASSERT_TRUE(reach_main_screen());
    const std::pair<const char*, const char*> route[] = {
        {"E", story::kAisle2},
        {"S", story::kAisle8},
        {"S", story::kPlaneEnd11},
        {"W", story::kRestRoom12[0]},
    };
    for (const auto& [step, arrival] : route) {
        ASSERT_TRUE(enter(step));
        ASSERT_TRUE(wait_until([&] { return main_screen_ready() && row_is(17, arrival); }, kWait)) << step;
    }
    ASSERT_TRUE(enter("PRESENT EVIDENCE"));
    // Both pages in yellow on blue, each held until a key.
    auto first_page = [&] { return row_is(1, story::kWinFirst[0]) && row_is(15, kPressAnyKey); };
    ASSERT_TRUE(wait_until(first_page, kWait)) << screen_text();
    EXPECT_TRUE(row_is(13, story::kWinThird[1]));
    EXPECT_TRUE(page_attributes_are(0x1E));
    ASSERT_TRUE(dismiss(first_page));
    auto second_page = [&] { return row_is(1, story::kTrain[0]) && row_is(12, "Tallowby Episode 11: Morvast"); };
    ASSERT_TRUE(wait_until(second_page, kWait)) << screen_text();
    EXPECT_TRUE(row_is(10, story::kNextCase));
    EXPECT_TRUE(page_attributes_are(0x1E));
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_FALSE(row_is(25, kClosingPrompt));  // the page waits for its own key first
    ASSERT_TRUE(dismiss([&] { return !row_is(25, kClosingPrompt); }));
    // The closing prompt comes under the last page, which stays, all in
    // yellow on blue.
    EXPECT_TRUE(second_page());
    EXPECT_TRUE(page_attributes_are(0x1E));
    EXPECT_TRUE(ends_after_closing_prompt());
}

// Each word ends the game at once: the closing prompt comes under the main
// screen, with no screen or question of the game's own.
class QuitTest : public GameTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(QuitTest, EndsTheGameAtOnce) {
    ASSERT_TRUE(reach_main_screen());
    ASSERT_TRUE(enter(GetParam()));
    ASSERT_TRUE(wait_until([&] { return row_is(25, kClosingPrompt); }, kWait)) << screen_text();
    EXPECT_TRUE(row_is(15, kHint));
    EXPECT_TRUE(row_is(17, story::kSeat1[0]));
    EXPECT_TRUE(row_is(19, std::string("> ") + GetParam()));
    EXPECT_TRUE(ends_after_closing_prompt());
}

INSTANTIATE_TEST_SUITE_P(EveryWord, QuitTest, ::testing::Values("END", "QUIT", "EXIT", "Q"));

}  // namespace
}  // namespace quendrel
