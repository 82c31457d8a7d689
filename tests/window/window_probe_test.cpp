// The probe program in the real FreeGLUT window: what it shows, what it is
// told by the keyboard and by a window manager's close request.
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

#include "window/x11_support.h"

#include <X11/XKBlib.h>  // after the tests' headers: it defines None and Bool

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
    // The probe logs the request when its program sees it, then waits 600 ms
    // before the checkpoint that ends the run: the window must still be
    // there while it waits.
    const std::string log_path = dir + "/keys";
    ASSERT_TRUE(start({"QUENDREL_PROBE_SLOW_MS=600", "QUENDREL_KEY_LOG=" + log_path}));
    int w = 0, h = 0;
    ASSERT_FALSE(frame(1, w, h).empty());
    display.send_close_request(window);
    bool seen = false;
    for (int t = 0; t < 5000 && !seen; t += 20) {
        std::ifstream in(log_path);
        std::string line;
        while (std::getline(in, line)) seen |= line == "close";
        if (!seen) sleep_ms(20);
    }
    ASSERT_TRUE(seen) << "the program never saw the close request";
    sleep_ms(100);
    EXPECT_TRUE(display.window_exists(window));
    EXPECT_TRUE(probe->running());
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


bool num_lock_on(::Display* d) {
    unsigned state = 0;
    XkbGetIndicatorState(d, XkbUseCoreKbd, &state);
    return state & 2u;
}

// The codes a program reads for keys typed with xdotool, real input to the
// focused window as a user's keyboard gives it.
TEST_F(X11WindowTest, KeysTypedWithXdotoolReachPollKeyAndKeyHit) {
    const std::string log_path = dir + "/keys";
    ASSERT_TRUE(start({"QUENDREL_KEY_LOG=" + log_path}));
    int w = 0, h = 0;
    ASSERT_FALSE(frame(1, w, h).empty());
    ASSERT_FALSE(num_lock_on(display.get()));
    struct LockBack {
        ::Display* d;
        ~LockBack() {
            if (num_lock_on(d)) std::system("xdotool key Num_Lock");
        }
    } lock_back{display.get()};
    auto xdotool = [](const std::string& args) {
        return std::system(("xdotool " + args).c_str());
    };
    ASSERT_EQ(xdotool("type --delay 40 Look"), 0);
    ASSERT_EQ(xdotool("key --delay 40 BackSpace Return ctrl+c shift+Tab F1 KP_Up"), 0);
    // The frame thread takes the new Num Lock state from the server. With
    // Num Lock on, xdotool taps Num Lock itself around a keypad digit (the
    // release then comes as KP_Up), so that key goes through XTest directly.
    ASSERT_EQ(xdotool("key Num_Lock"), 0);
    sleep_ms(200);
    ASSERT_TRUE(num_lock_on(display.get()));
    display.tap_key(XK_KP_8);

    const std::vector<std::string> keys_expected = {
        "key 76", "key 111", "key 111", "key 107", "key 8", "key 13",
        "key 3", "key 0 15", "key 0 59", "key 0 72", "key 56"};
    // Presses and releases of the keys themselves, leaving out the
    // modifier and lock keys' own codes (100000 and up).
    const std::vector<int> hits_expected = {76,   -76,  111,    -111,   111, -111, 107,   -107,  8,  -8,
                                            13,   -13,  99,     -99,    9,   -9,   15104, -15104,
                                            18432, -18432, 56, -56};
    std::vector<std::string> keys;
    std::vector<int> hits;
    std::string log;
    for (int t = 0; t < 5000; t += 50) {
        keys.clear();
        hits.clear();
        log.clear();
        std::ifstream in(log_path);
        std::string line;
        while (std::getline(in, line)) {
            log += line + "; ";
            if (line.rfind("key", 0) == 0) keys.push_back(line);
            int code = 0;
            if (std::sscanf(line.c_str(), "hit %d", &code) == 1 && std::abs(code) < 100000)
                hits.push_back(code);
        }
        if (keys.size() >= keys_expected.size() && hits.size() >= hits_expected.size()) break;
        sleep_ms(50);
    }
    EXPECT_EQ(keys, keys_expected) << log;
    EXPECT_EQ(hits, hits_expected) << log;
    EXPECT_TRUE(probe->running());
}

}  // namespace
}  // namespace quendrel
