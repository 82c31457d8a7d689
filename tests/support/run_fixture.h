// A whole run inside one test: a Runtime on the test platform with the real
// program, timer and frame threads. The run's end is recorded instead of
// ending the test process, so the Runtime is left alive (and leaked) with
// its halted threads when the test is over.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "runtime/runtime.h"
#include "support/test_platform.h"

namespace quendrel {

class RunFixture : public ::testing::Test {
protected:
    RunFixture() : platform(*new TestPlatform), rt(*new Runtime(platform)) {
        platform.park_on_exit = true;
        platform.real_sleep_cap_ms = 2;
        const char* args[] = {"quendrel"};
        rt.start_up(1, args);
    }

    void start(ProgramMain program) { rt.start_threads(program); }

    // Text of a row of the displayed page (1-based), trailing spaces kept.
    std::string row_text(int row) {
        const ScreenImage* page = rt.screen.display_page();
        std::string text;
        for (int c = 0; c < page->width; ++c)
            text += char(load_cell(*page, uint32_t((row - 1) * page->width + c)) & 0xFF);
        return text;
    }
    uint8_t attribute_at(int row, int column) {
        const ScreenImage* page = rt.screen.display_page();
        return uint8_t(load_cell(*page, uint32_t((row - 1) * page->width + column - 1)) >> 8);
    }
    std::string screen_text() {
        std::string all;
        for (int r = 1; r <= 25; ++r) all += row_text(r) + "\n";
        return all;
    }

    // Waits (real time) until the page shows the text somewhere.
    bool wait_for_text(const std::string& text, int timeout_ms = 5000) {
        return wait_until([&] { return screen_text().find(text) != std::string::npos; }, timeout_ms);
    }
    bool wait_for_exit(int timeout_ms = 5000) {
        return wait_until([&] { return platform.exit_status.load() >= 0; }, timeout_ms);
    }
    template <typename Condition>
    bool wait_until(Condition condition, int timeout_ms) {
        for (int waited = 0; waited < timeout_ms; waited += 2) {
            if (condition()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return condition();
    }

    // A key typed as the window's character callback reports it.
    void type(char c) {
        rt.keys.window_key(static_cast<unsigned char>(c), true, 0);
        rt.keys.window_key(static_cast<unsigned char>(c), false, 0);
    }
    void type(const std::string& text) {
        for (char c : text) type(c);
    }

    TestPlatform& platform;
    Runtime& rt;
};

}  // namespace quendrel
