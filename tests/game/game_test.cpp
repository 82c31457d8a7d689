// The adventure on the real program and frame threads, keys through the key
// layer, the case clock on the test platform's clock.
#include "game/program.h"
#include "support/run_fixture.h"

namespace quendrel {
namespace {

class GameTest : public RunFixture {
protected:
    // The reader paces itself on the clock: let the sleeps move it.
    GameTest() { platform.sleeps_advance_clock = true; }

    // The reader shows the case clock on row 2 only while it takes keys;
    // keys typed before it has drained its queues would be thrown away.
    bool reader_waiting() { return row_text(2).substr(31, 11).find(':') != std::string::npos; }
    void enter(const std::string& command) {
        ASSERT_TRUE(wait_until([&] { return reader_waiting(); }, 5000));
        type(command);
        type('\r');
    }
    // Presses a key until `text` has left the screen (a key pause drains
    // the keys typed before it starts waiting).
    bool press_until_gone(const std::string& text) {
        for (int i = 0; i < 50; ++i) {
            type(' ');
            if (wait_until([&] { return screen_text().find(text) == std::string::npos; }, 100)) return true;
        }
        return false;
    }
    // Past the intro page and the blank page, to the first main screen.
    void reach_main_screen() {
        start(game_main);
        ASSERT_TRUE(wait_for_text("Press any key to Continue..."));
        ASSERT_TRUE(press_until_gone("Press any key to Continue..."));
        for (int i = 0; i < 50 && !wait_for_text("If you are stuck just type HELP.", 100); ++i) type(' ');
        ASSERT_TRUE(wait_for_text("If you are stuck just type HELP."));
        ASSERT_TRUE(wait_until([&] { return reader_waiting(); }, 5000));
    }
};

TEST_F(GameTest, MainScreenShowsBannerCompassAndSeat) {
    reach_main_screen();
    EXPECT_EQ(row_text(5).substr(22, 10), "/Tallowby ");
    EXPECT_EQ(row_text(6)[79], ' ');
    EXPECT_EQ(row_text(6).substr(22, 13), "/Written by: ");
    EXPECT_EQ(row_text(12).substr(36, 5), "  + E");  // location 1: only east
    EXPECT_EQ(row_text(11)[38], ' ');
    EXPECT_NE(row_text(17).find("your own seat"), std::string::npos);
    EXPECT_EQ(row_text(19).substr(0, 2), "> ");
    EXPECT_EQ(attribute_at(4, 30), 0x08);  // dark grey on black
}

TEST_F(GameTest, LookShowsTheExitsScreenThenTheMainScreenAgain) {
    reach_main_screen();
    enter("  look ");
    ASSERT_TRUE(wait_for_text("PRESS ANY KEY..."));
    EXPECT_EQ(row_text(1).substr(0, 5), "EAST ");
    ASSERT_TRUE(press_until_gone("PRESS ANY KEY..."));
    ASSERT_TRUE(wait_for_text("If you are stuck just type HELP."));
}

TEST_F(GameTest, TheShortestRouteSolvesTheCase) {
    reach_main_screen();
    const std::pair<const char*, const char*> route[] = {
        {"E", "standing in the aisle"},
        {"S", "nothing much to see here"},
        {"S", "at the end of the plane"},
        {"W", "ROBERT lies on the floor"},
    };
    for (const auto& [step, arrival] : route) {
        enter(step);
        ASSERT_TRUE(wait_for_text(arrival)) << step;
    }
    enter("PRESENT EVIDENCE");
    ASSERT_TRUE(wait_for_text("PRESS ANY KEY..."));
    EXPECT_EQ(attribute_at(1, 1), 0x1E);  // yellow on blue
    ASSERT_TRUE(press_until_gone("PRESS ANY KEY..."));
    ASSERT_TRUE(wait_for_text("Tallowby Episode 11: Morvast"));
    // The closing prompt comes under the last page, which stays.
    for (int i = 0; i < 50 && !wait_for_text("Press any key to continue", 100); ++i) type(' ');
    ASSERT_TRUE(wait_for_text("Press any key to continue"));
    EXPECT_NE(screen_text().find("Tallowby Episode 11: Morvast"), std::string::npos);
    EXPECT_EQ(attribute_at(25, 1), 0x1E);  // the closing prompt in yellow on blue
    for (int i = 0; i < 50 && !wait_for_exit(100); ++i) type(' ');
    ASSERT_TRUE(wait_for_exit());
    EXPECT_EQ(platform.exit_status.load(), 0);
}

TEST_F(GameTest, QuitEndsTheGameThroughTheClosingPrompt) {
    reach_main_screen();
    enter("q");
    ASSERT_TRUE(wait_for_text("Press any key to continue"));
    for (int i = 0; i < 50 && !wait_for_exit(100); ++i) type(' ');
    EXPECT_EQ(platform.exit_status.load(), 0);
}

TEST_F(GameTest, TimeRunningOutWhileTypingEndsInFailure) {
    reach_main_screen();
    platform.advance_ms(1801 * 1000);
    ASSERT_TRUE(wait_for_text("You have failed as a detective."));
    ASSERT_TRUE(wait_for_text("Press any key to continue"));
}

}  // namespace
}  // namespace quendrel
