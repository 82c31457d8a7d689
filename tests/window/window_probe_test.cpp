// The probe program in the real FreeGLUT window: what it shows, what it is
// told by the keyboard and by a window manager's close request.
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>

#include "window/x11_support.h"

namespace quendrel {
namespace {

using namespace x11_test;

class X11WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!display) GTEST_SKIP() << "no X display";
        dir = make_temp_dir();
        dump = dir + "/frame";
    }
    void TearDown() override {
        probe.reset();
        if (display) display.reset_focus();
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }

    // Starts the probe and waits for its window; true once it is placed.
    bool start(std::vector<std::string> environment = {}) {
        environment.push_back("QUENDREL_FRAME_DUMP=" + dump);
        probe = std::make_unique<Process>(WINDOW_PROBE, environment);
        window = display.wait_for_window("Untitled", 10000);
        if (!window) return false;
        display.place_and_focus(window);
        return true;
    }
    // The n-th frame the probe showed, waiting for it.
    std::vector<uint32_t> frame(int n, int& width, int& height) {
        std::string path = dump + "." + std::to_string(n);
        for (int t = 0; t < 10000; t += 20) {
            std::vector<uint32_t> pixels = read_frame_dump(path, width, height);
            if (!pixels.empty()) return pixels;
            sleep_ms(20);
        }
        return {};
    }
    // Pixels of the window that differ from the frame, once the window has
    // caught up (or the time is up).
    int differences_from(const std::vector<uint32_t>& pixels, int width, int height) {
        int differ = -1;
        for (int t = 0; t < 5000 && differ != 0; t += 50) {
            Screenshot shot = display.screenshot(window);
            if (shot.width != width || shot.height != height) {
                sleep_ms(50);
                continue;
            }
            differ = 0;
            for (size_t i = 0; i < pixels.size(); ++i)
                differ += (pixels[i] & 0xFFFFFF) != shot.rgb[i];
            if (differ) sleep_ms(50);
        }
        return differ;
    }

    x11_test::Display display;
    std::string dir, dump;
    std::unique_ptr<Process> probe;
    Window window = 0;
};

TEST_F(X11WindowTest, OpensUntitledAt640By400AndShowsTheBuiltFrameExactly) {
    ASSERT_TRUE(start());
    int w = 0, h = 0;
    display.size_of(window, w, h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 400);
    std::vector<uint32_t> pixels = frame(1, w, h);
    ASSERT_EQ(w, 640);
    ASSERT_EQ(h, 400);
    // The demo page has several colours; the comparison is not of a blank.
    std::set<uint32_t> colours(pixels.begin(), pixels.end());
    EXPECT_GE(colours.size(), 10u);
    EXPECT_EQ(differences_from(pixels, w, h), 0);
    EXPECT_TRUE(probe->running());
}

TEST_F(X11WindowTest, TheProgramsTitleNamesTheWindow) {
    probe = std::make_unique<Process>(WINDOW_PROBE, std::vector<std::string>{
                                                        "QUENDREL_PROBE_TITLE=Flight 714"});
    EXPECT_NE(display.wait_for_window("Flight 714", 10000), 0u);
    EXPECT_EQ(display.find_window("Untitled"), 0u);
}

TEST_F(X11WindowTest, TypedKeysReachTheProgramAndTheNewFrameIsShown) {
    ASSERT_TRUE(start());
    int w = 0, h = 0;
    ASSERT_FALSE(frame(1, w, h).empty());
    display.tap_key(XK_q);
    display.tap_key(XK_7);
    std::vector<uint32_t> second = frame(3, w, h);
    ASSERT_FALSE(second.empty()) << "both keys should have been echoed";
    // Row 20 now holds "q7" in yellow.
    int yellow = 0;
    for (int y = 19 * 16; y < 20 * 16; ++y)
        for (int x = 0; x < 16; ++x) yellow += second[size_t(y) * 640 + size_t(x)] == 0xFFFFFF55u;
    EXPECT_GT(yellow, 20);
    EXPECT_EQ(differences_from(second, w, h), 0);
}

TEST_F(X11WindowTest, CloseRequestKeepsTheWindowUntilTheProcessEndsWithStatusZero) {
    // The program reaches its checkpoints only every 600 ms, so the run
    // goes on for a while after the request.
    ASSERT_TRUE(start({"QUENDREL_PROBE_SLOW_MS=600"}));
    int w = 0, h = 0;
    ASSERT_FALSE(frame(1, w, h).empty());
    display.send_close_request(window);
    bool seen_alive_after = false;
    for (int t = 0; t < 5000 && probe->running(); t += 20) {
        bool exists = display.window_exists(window);
        if (probe->running()) {
            ASSERT_TRUE(exists) << "window gone while the process runs";
            if (t >= 200) seen_alive_after = true;
        }
        sleep_ms(20);
    }
    EXPECT_TRUE(seen_alive_after);
    EXPECT_EQ(probe->wait_exit(5000), 0);
}

TEST_F(X11WindowTest, CtrlBreakEndsTheRunWithStatusZero) {
    ASSERT_TRUE(start());
    int w = 0, h = 0;
    ASSERT_FALSE(frame(1, w, h).empty());
    display.tap_key(XK_Pause, true);
    EXPECT_EQ(probe->wait_exit(5000), 0);
}

TEST_F(X11WindowTest, PauseHoldsTheProgramUntilTheNextKey) {
    ASSERT_TRUE(start());
    int w = 0, h = 0;
    ASSERT_FALSE(frame(1, w, h).empty());
    display.tap_key(XK_Pause);
    sleep_ms(200);
    // The key that ends the pause is not typed.
    display.tap_key(XK_a);
    display.tap_key(XK_b);
    std::vector<uint32_t> shown = frame(2, w, h);
    ASSERT_FALSE(shown.empty());
    sleep_ms(300);
    int none_w = 0, none_h = 0;
    EXPECT_TRUE(read_frame_dump(dump + ".3", none_w, none_h).empty());
    // "b" in the first column of row 20.
    int yellow = 0;
    for (int y = 19 * 16; y < 20 * 16; ++y)
        for (int x = 0; x < 8; ++x) yellow += shown[size_t(y) * 640 + size_t(x)] == 0xFFFFFF55u;
    EXPECT_GT(yellow, 10);
}

}  // namespace
}  // namespace quendrel
