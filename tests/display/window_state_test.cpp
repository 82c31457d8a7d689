#include "runtime/display/window_state.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_platform.h"

namespace quendrel {
namespace {

class RecordingHost : public WindowHost {
public:
    void reshape_window(int width, int height) override {
        calls.push_back("reshape " + std::to_string(width) + "x" + std::to_string(height));
    }
    void full_screen() override { calls.push_back("full screen"); }
    void post_redisplay() override { calls.push_back("redisplay"); }
    void swap_buffers() override { calls.push_back("swap"); }
    std::vector<std::string> calls;
};

class WindowStateTest : public ::testing::Test {
protected:
    WindowStateTest() { window.reshape(640, 400); }
    // A redraw of a frame, then the library granting what was asked.
    std::vector<std::string> redraw(int fw = 640, int fh = 400) {
        host.calls.clear();
        window.apply_window_policy(host, fw, fh);
        return host.calls;
    }
    using Calls = std::vector<std::string>;

    TestPlatform platform;
    RunState run;
    RuntimeErrors errors{run, platform};
    DisplayState display;
    WindowState window{errors, display};
    RecordingHost host;
};

TEST_F(WindowStateTest, ByDefaultTheWindowReturnsToTheFrameSize) {
    EXPECT_EQ(redraw(), Calls{});
    window.reshape(800, 600);  // the user drags the border
    EXPECT_EQ(redraw(), (Calls{"reshape 640x400", "redisplay"}));
    EXPECT_TRUE(window.reshape_pending);
    window.reshape(640, 400);
    EXPECT_EQ(redraw(), Calls{});
    // A frame of another size takes the window with it.
    EXPECT_EQ(redraw(640, 200), (Calls{"reshape 640x200", "redisplay"}));
}

TEST_F(WindowStateTest, StretchingKeepsTheSideTheUserDidNotDrag) {
    window.set_resize_mode(true, 1);
    struct Case {
        int w, h;
        const char* expected;
    } cases[] = {
        {640, 500, "reshape 800x500"},    // bottom edge only
        {1000, 400, "reshape 1000x625"},  // right edge only
        {900, 450, "reshape 900x562"},    // both, width moved more
        {700, 700, "reshape 1120x700"},   // both, height moved more
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        window.reshape(640, 400);
        window.applied_aspect = 1.6f;
        window.reshape(c.w, c.h);
        EXPECT_EQ(redraw(), (Calls{c.expected, "redisplay"}));
    }
    // A window of the frame's aspect is left as it is.
    window.reshape(1280, 800);
    EXPECT_EQ(redraw(), Calls{});
}

TEST_F(WindowStateTest, ResizingOnLetsTheUserKeepAnySizeWithoutStretching) {
    window.set_resize_mode(true, 0);
    window.reshape(800, 600);
    EXPECT_EQ(redraw(), Calls{});
    EXPECT_EQ(window.resize_happened(), -1);
    EXPECT_EQ(window.resize_happened(), 0);
    window.set_resize_mode(false, 0);
    window.reshape(700, 500);
    EXPECT_EQ(window.resize_happened(), 0);
}

TEST_F(WindowStateTest, FullScreenRequestsWaitForThePendingReshapeAndCycle) {
    window.request_full_screen(3, false);
    EXPECT_EQ(window.full_screen_mode(), 2);
    EXPECT_EQ(display.force_new_frame.load(), 1);
    window.reshape_pending = true;
    EXPECT_EQ(redraw(), Calls{});
    window.reshape_pending = false;
    EXPECT_EQ(redraw(), Calls{"full screen"});
    EXPECT_EQ(window.full_screen_state.load(), 2);
    EXPECT_EQ(window.full_screen_request.load(), -1);
    window.request_full_screen(1, false);
    EXPECT_EQ(redraw(), (Calls{"reshape 640x400", "redisplay"}));
    EXPECT_EQ(window.full_screen_state.load(), 0);
    // Asking for what is in force is no request.
    window.request_full_screen(1, false);
    EXPECT_EQ(window.full_screen_request.load(), -1);
}

TEST_F(WindowStateTest, AltEnterStepsThroughTheFiveModes) {
    struct Step {
        int mode;
        bool smooth;
        // Back in the window the smoothing flag stays set; it only matters in
        // full screen, and the next step clears it.
    } expected[] = {{1, false}, {1, true}, {2, false}, {2, true}, {0, true}, {1, false}};
    for (const Step& s : expected) {
        window.step_full_screen();
        EXPECT_EQ(window.full_screen_mode(), s.mode);
        EXPECT_EQ(window.full_screen_smooth.load() != 0, s.smooth);
        window.reshape_pending = false;
        redraw();
    }
}

TEST_F(WindowStateTest, FullScreenArgumentsMapToModes) {
    const int expected[] = {1, 0, 1, 2};
    for (int mode = 0; mode < 4; ++mode) {
        window.full_screen_request.store(-1);
        window.full_screen_state.store(mode == 1 ? 1 : 0);
        window.request_full_screen(mode, false);
        EXPECT_EQ(window.full_screen_mode(), expected[mode]) << mode;
    }
    window.request_full_screen(4, false);
    EXPECT_EQ(run.pending_error.load(), 5);
}

TEST_F(WindowStateTest, RefreshRateIsCheckedAndCapped) {
    window.set_refresh_rate(250);
    EXPECT_EQ(window.refresh_rate(), 200);
    window.set_refresh_rate(30);
    EXPECT_EQ(window.refresh_rate(), 30);
    window.set_refresh_rate(0.5);
    EXPECT_EQ(run.pending_error.load(), 5);
    EXPECT_EQ(window.refresh_rate(), 30);
}

TEST_F(WindowStateTest, TheNewestTitleIsHandedOverOnce) {
    EXPECT_EQ(window.take_title(), nullptr);
    window.set_window_title("First");
    window.set_window_title("Case file");
    auto title = window.take_title();
    ASSERT_NE(title, nullptr);
    EXPECT_STREQ(title.get(), "Case file");
    EXPECT_EQ(window.take_title(), nullptr);
}

}  // namespace
}  // namespace quendrel
