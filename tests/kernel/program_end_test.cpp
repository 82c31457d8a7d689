#include "support/run_fixture.h"

namespace quendrel {
namespace {

using ProgramEndTest = RunFixture;

std::atomic<int> reached_end{0};

void print_then_end(Runtime& rt) {
    rt.text.set_color(14, 1, 0, 3);
    rt.text.clear_screen(0, 0, 0);
    StringDescriptor* s = rt.strings.string_from_text("The case is closed.");
    rt.text.print_string(s, true);
    rt.strings.temp_cleanup(1, 0);
    reached_end = 1;
    rt.program_end();
}

TEST_F(ProgramEndTest, PromptOnTheBottomRowThenAKeyEndsTheRun) {
    type("xy");  // typed while the program was still printing: thrown away
    start(print_then_end);
    ASSERT_TRUE(wait_for_text("Press any key to continue"));
    EXPECT_EQ(row_text(25).substr(0, 26), "Press any key to continue ");
    EXPECT_EQ(row_text(1).substr(0, 19), "The case is closed.");
    EXPECT_EQ(attribute_at(25, 1), 0x1E);   // current colours: yellow on blue
    EXPECT_EQ(attribute_at(25, 80), 0x1E);  // the row was blanked in them too
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(platform.exit_status.load(), -1);  // the early keys did not count
    type('k');
    ASSERT_TRUE(wait_for_exit());
    EXPECT_EQ(platform.exit_status.load(), 0);
}

TEST_F(ProgramEndTest, ClosingTheWindowDuringThePromptEndsTheRun) {
    start(print_then_end);
    ASSERT_TRUE(wait_for_text("Press any key to continue"));
    rt.run.exit_requests.fetch_or(1);
    ASSERT_TRUE(wait_for_exit());
    EXPECT_EQ(platform.exit_status.load(), 0);
    EXPECT_EQ(rt.run.stopped_threads.load(), 3);
}

void end_in_manual_display(Runtime& rt) {
    rt.display.display_mode.store(0);
    rt.program_end();
}

TEST_F(ProgramEndTest, AutomaticDisplayComesBackForThePrompt) {
    start(end_in_manual_display);
    ASSERT_TRUE(wait_for_text("Press any key to continue"));
    ASSERT_TRUE(wait_until([&] { return rt.display.display_mode.load() == 1; }, 2000));
    type(' ');
    ASSERT_TRUE(wait_for_exit());
}

}  // namespace
}  // namespace quendrel
