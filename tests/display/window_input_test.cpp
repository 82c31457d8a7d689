#include "runtime/display/window_input.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quendrel {
namespace {

class RecordingKeys : public KeyEvents {
public:
    void window_key(int c, bool pressed, int mods) override { log("key", c, pressed, mods); }
    void window_special_key(int k, bool pressed, int mods) override {
        log("special", k, pressed, mods);
    }
    void key_down(int32_t code) override { events.push_back("down " + std::to_string(code)); }
    void key_up(int32_t code) override { events.push_back("up " + std::to_string(code)); }
    void raw_key(uint32_t keysym, uint32_t, bool pressed) override {
        events.push_back("raw " + std::to_string(keysym) + (pressed ? " press" : " release"));
    }
    void log(const char* what, int v, bool pressed, int mods) {
        events.push_back(std::string(what) + " " + std::to_string(v) +
                         (pressed ? " press " : " release ") + std::to_string(mods));
    }
    std::vector<std::string> events;
};

class WindowInputTest : public ::testing::Test {
protected:
    WindowInputTest() { input.set_key_events(&keys); }
    MouseEvent last(uint64_t back = 0) const { return ring.at(ring.written() - 1 - back); }

    RunState run;
    std::vector<uint8_t> storage = std::vector<uint8_t>(MouseRing::kEntries * 12);
    MouseRing ring{storage.data()};
    WindowInput input{run, ring};
    RecordingKeys keys;
};

TEST_F(WindowInputTest, CloseRequestOnlySetsItsBit) {
    run.exit_requests.store(2);
    EXPECT_EQ(input.window_event_hook(1, 0, 0), 0);
    EXPECT_EQ(run.exit_requests.load(), 3);
    EXPECT_EQ(input.window_event_hook(9, 0, 0), -1);
}

TEST_F(WindowInputTest, PauseAndBreakCodesGoToTheKeyLayer) {
    EXPECT_EQ(input.window_event_hook(2, 100019, 1), 0);
    EXPECT_EQ(input.window_event_hook(2, 100318, -1), 0);
    EXPECT_EQ(input.window_event_hook(2, 65, 1), -1);
    EXPECT_EQ(keys.events, (std::vector<std::string>{"down 100019", "up 100318"}));
}

TEST_F(WindowInputTest, PauseKeyIsBreakWithControlAndReleasesAsItWasPressed) {
    const uint32_t pause = 0xFF13, control = 4;
    input.raw_key(pause, control, true);
    input.raw_key(pause, 0, false);  // Ctrl let go first
    input.raw_key(pause, 0, true);
    input.raw_key(pause, control, false);
    input.raw_key('a', 0, true);
    EXPECT_EQ(keys.events,
              (std::vector<std::string>{"down 100318", "raw 65299 press", "up 100318",
                                        "raw 65299 release", "down 100019", "raw 65299 press",
                                        "up 100019", "raw 65299 release", "raw 97 press"}));
}

TEST_F(WindowInputTest, ButtonsCountFromOneAndMotionCarriesTheMask) {
    input.mouse_button(0, 0, 10, 20);
    EXPECT_EQ(last().buttons, 1);
    input.mouse_button(2, 0, 11, 21);
    EXPECT_EQ(last().buttons, 5);
    input.mouse_motion(30, 40);
    EXPECT_EQ(last().x, 30);
    EXPECT_EQ(last().buttons, 5);
    input.mouse_button(0, 1, 30, 40);
    EXPECT_EQ(last().buttons, 4);
    input.mouse_wheel(0, -1, 5, 6);
    EXPECT_EQ(last(1).buttons, 4 | 16);  // button 5 down, then up
    EXPECT_EQ(last().buttons, 4);
    input.mouse_wheel(0, 1, 5, 6);
    EXPECT_EQ(last(1).buttons, 4 | 8);
    EXPECT_EQ(ring.written(), 8u);
}

TEST_F(WindowInputTest, RawMovementIsRelativeAndZeroMovesAreDropped) {
    input.window_event_hook(3, 0, 0);
    EXPECT_EQ(ring.written(), 0u);
    input.window_event_hook(3, -3, 4);
    EXPECT_EQ(last().relative, 1);
    EXPECT_EQ(last().x, -3);
    EXPECT_EQ(last().y, 4);
}

TEST_F(WindowInputTest, FullRingOverwritesTheOldest) {
    for (uint32_t i = 0; i < MouseRing::kEntries + 3; ++i) input.mouse_motion(int(i), 0);
    EXPECT_EQ(ring.at(ring.written() - MouseRing::kEntries).x, 3);
    EXPECT_EQ(last().x, int(MouseRing::kEntries + 2));
}

TEST_F(WindowInputTest, KeysArriveOnlyOnceTheKeyLayerIsThere) {
    input.set_key_events(nullptr);
    input.key('x', true, kModShift);
    input.set_key_events(&keys);
    input.key('y', true, kModShift | kModCtrl);
    input.special_key(101, false, 0);
    EXPECT_EQ(keys.events, (std::vector<std::string>{"key 121 press 3", "special 101 release 0"}));
}

}  // namespace
}  // namespace quendrel
