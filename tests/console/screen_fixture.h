// A started-up text screen on the test platform, fresh for every test, plus
// helpers to read cells and to play the frame builder's side of the pause
// handshake.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <string>
#include <thread>

#include "runtime/console/screen.h"
#include "runtime/console/text_output.h"
#include "runtime/display/display_tables.h"
#include "support/test_platform.h"

namespace quendrel {

// Acknowledges every pause request, as the frame builder does, and counts them.
class PauseAcknowledger {
public:
    explicit PauseAcknowledger(DisplayState& display) : display_(display) {
        thread_ = std::thread([this] {
            while (!stop_.load()) {
                int32_t requested = 1;
                if (display_.pause_state.compare_exchange_strong(requested, 2)) ++acknowledged;
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
    }
    ~PauseAcknowledger() {
        stop_.store(true);
        thread_.join();
    }
    std::atomic<int> acknowledged{0};

private:
    DisplayState& display_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class ScreenTest : public ::testing::Test {
protected:
    ScreenTest() {
        tables.init_display_tables();
        screen.start_up();
    }

    int32_t error() const { return run.pending_error.load(); }
    void clear_error() {
        run.pending_error.store(0);
        run.pending_event.store(0);
    }

    ScreenImage& page(int32_t number) { return *screen.image(screen.page_slot(number)); }
    ScreenImage& dest() { return screen.destination(); }

    // Cell (row, column), 1-based, of an image as attribute * 256 + character.
    static uint16_t cell(const ScreenImage& image, int row, int column) {
        return load_cell(image, uint32_t((row - 1) * image.width + column - 1));
    }
    static uint8_t cell_char(const ScreenImage& image, int row, int column) {
        return uint8_t(cell(image, row, column));
    }
    static uint8_t cell_attr(const ScreenImage& image, int row, int column) {
        return uint8_t(cell(image, row, column) >> 8);
    }
    // The characters of one row from a column on, as text.
    static std::string row_text(const ScreenImage& image, int row, int column = 1,
                                int count = -1) {
        std::string out;
        if (count < 0) count = image.width - column + 1;
        for (int c = column; c < column + count; ++c) out += char(cell_char(image, row, c));
        return out;
    }

    TestPlatform platform;
    RunState run;
    RuntimeErrors errors{run, platform};
    EmulatedMemory memory;
    DisplayTables tables;
    DisplayState display;
    Screen screen{errors, platform, memory, tables, display};
};

// A string descriptor over text owned by the test.
struct TestString {
    explicit TestString(std::string s) : text(std::move(s)) {
        descriptor.text = reinterpret_cast<uint8_t*>(text.data());
        descriptor.length = int32_t(text.size());
    }
    const StringDescriptor* get() const { return &descriptor; }
    std::string text;
    StringDescriptor descriptor;
};

class TextOutputTest : public ScreenTest {
protected:
    void print(const std::string& s, bool line_end) {
        TestString t(s);
        out.print_string(t.get(), line_end);
    }
    void at(int row, int column) { out.set_cursor(row, column, 0, 0, 0, 3); }
    int row() { return screen.destination().cursor_row; }
    int column() { return screen.destination().cursor_column; }

    std::ostringstream console;
    TextOutput out{errors, screen, platform, console};
};

}  // namespace quendrel
