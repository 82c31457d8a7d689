// The adventure on the real program and frame threads, keys through the key
// layer, the case clock on the test platform's clock.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "game/program.h"
#include "runtime/console/key_layer.h"
#include "support/run_fixture.h"

namespace quendrel {

// Rows of a screen: (row, its whole text without the trailing spaces).
using Rows = std::vector<std::pair<int, std::string>>;

class GameTest : public RunFixture {
protected:
    // Generous: the sanitizer builds run several of these at once on busy cores.
    static constexpr int kWait = 10000;
    static constexpr const char* kHint = "If you are stuck just type HELP.";
    static constexpr const char* kPressAnyKey = "PRESS ANY KEY...";
    static constexpr const char* kIntroPrompt = "Press any key to Continue...";
    static constexpr const char* kClosingPrompt = "Press any key to continue";

    // The reader paces itself on the clock: let the sleeps move it.
    GameTest() { platform.sleeps_advance_clock = true; }
    // A run still going is closed as the window's close box would close it,
    // so that it does not go on drawing behind the next tests.
    void TearDown() override {
        if (platform.exit_status.load() >= 0) return;
        rt.run.exit_requests.fetch_add(1);
        EXPECT_TRUE(wait_for_exit(kWait));
        EXPECT_EQ(platform.exit_status.load(), 0);
    }

    // The row shows `text` followed by nothing but spaces.
    bool row_is(int row, std::string_view text) {
        const std::string shown = row_text(row);
        return std::string_view(shown).substr(0, text.size()) == text &&
               shown.find_first_not_of(' ', text.size()) == std::string::npos;
    }
    bool rows_are(const Rows& rows) {
        for (const auto& [row, text] : rows)
            if (!row_is(row, text)) return false;
        return true;
    }
    std::string clock_text() { return row_text(2).substr(31, 11); }
    // The reader shows the case clock on row 2 only while it takes keys.
    bool reader_waiting() { return clock_text().find(':') != std::string::npos; }
    // Only the drains of the reader and of the key pauses read the key
    // buffer, so an empty one after typing means a drain has run since.
    bool keys_drained() {
        return rt.memory.load16(KeyLayer::kBufferHead) == rt.memory.load16(KeyLayer::kBufferTail);
    }
    bool main_screen_ready() { return keys_drained() && row_is(15, kHint) && reader_waiting(); }
    // Everything but the case clock, which moves.
    std::string screen_without_clock() {
        std::string all;
        for (int r = 1; r <= 25; ++r)
            if (r != 2) all += row_text(r) + "\n";
        return all;
    }
    ::testing::AssertionResult wait_for_main_screen() {
        if (wait_until([&] { return main_screen_ready(); }, kWait)) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "no main screen waiting for a command:\n" << screen_text();
    }

    // Keys typed before the reader has drained its queues would be thrown
    // away, so a command goes in only once it waits.
    ::testing::AssertionResult enter(const std::string& command) {
        if (!wait_until([&] { return reader_waiting() && keys_drained(); }, kWait))
            return ::testing::AssertionFailure() << "the reader is not waiting:\n" << screen_text();
        type(command);
        type('\r');
        return ::testing::AssertionSuccess();
    }

    // Ends a key pause: the keys go in once the pause has drained what came
    // before it, and again only if the screen stays.
    template <typename Shown>
    ::testing::AssertionResult dismiss(Shown shown, const std::string& keys = " ") {
        for (int attempt = 0; attempt < 4; ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            type(keys);
            if (wait_until([&] { return !shown(); }, 3000)) return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "the screen stays:\n" << screen_text();
    }
    ::testing::AssertionResult dismiss_text(const std::string& text) {
        return dismiss([&] { return screen_text().find(text) != std::string::npos; });
    }

    // Types keys without Enter and waits for their echo after the prompt.
    ::testing::AssertionResult echoes(const std::string& keys, int prompt_row, const std::string& echo) {
        if (!wait_until([&] { return reader_waiting() && keys_drained(); }, kWait))
            return ::testing::AssertionFailure() << "the reader is not waiting:\n" << screen_text();
        type(keys);
        if (wait_until([&] { return row_is(prompt_row, "> " + echo); }, kWait))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "no echo \"" << echo << "\":\n" << screen_text();
    }

    // The screen that follows a command shows `rows` and holds them until a
    // key, after which the main screen comes back.
    ::testing::AssertionResult screen_follows(const std::string& command, const Rows& rows) {
        if (!wait_until([&] { return rows_are(rows); }, kWait))
            return ::testing::AssertionFailure() << command << " did not show its screen:\n" << screen_text();
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        if (!rows_are(rows))
            return ::testing::AssertionFailure() << command << " did not wait for a key:\n" << screen_text();
        if (auto gone = dismiss([&] { return rows_are(rows); }); !gone) return gone << command;
        if (auto back = wait_for_main_screen(); !back) return back << "after " << command;
        return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult shows_screen(const std::string& command, const Rows& rows) {
        if (auto typed = enter(command); !typed) return typed;
        return screen_follows(command, rows);
    }

    // After a command that changes nothing the same main screen comes back
    // (once the next reader has drained the command's keys).
    ::testing::AssertionResult same_screen_follows(const std::string& command, const std::string& before) {
        if (wait_until([&] { return main_screen_ready() && screen_without_clock() == before; }, kWait))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << command << " changed the screen:\n" << screen_text();
    }
    ::testing::AssertionResult changes_nothing(const std::string& command) {
        if (auto ready = wait_for_main_screen(); !ready) return ready;
        const std::string before = screen_without_clock();
        if (auto typed = enter(command); !typed) return typed;
        return same_screen_follows(command, before);
    }

    bool page_attributes_are(uint8_t attribute) {
        for (int r = 1; r <= 25; ++r)
            for (int c = 1; c <= 80; ++c)
                if (attribute_at(r, c) != attribute) return false;
        return true;
    }

    // Past the intro page and the cleared page to the first main screen;
    // `before_clock_starts` runs on the cleared page, before its key.
    template <typename Hook>
    ::testing::AssertionResult reach_main_screen(Hook before_clock_starts) {
        start(game_main);
        if (!wait_for_text(kIntroPrompt, kWait)) return ::testing::AssertionFailure() << "no intro";
        if (auto left = dismiss_text(kIntroPrompt); !left) return left << "on the intro";
        before_clock_starts();
        type(' ');  // the cleared page has no drain before its wait
        return wait_for_main_screen();
    }
    ::testing::AssertionResult reach_main_screen() {
        return reach_main_screen([] {});
    }

    // Presses a key on the closing prompt and waits for the exit.
    ::testing::AssertionResult ends_after_closing_prompt() {
        if (!wait_until([&] { return row_is(25, kClosingPrompt); }, kWait))
            return ::testing::AssertionFailure() << "no closing prompt:\n" << screen_text();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        if (platform.exit_status.load() != -1) return ::testing::AssertionFailure() << "ended before a key";
        for (int i = 0; i < 20; ++i) {
            type(' ');
            if (wait_for_exit(500)) break;
        }
        if (platform.exit_status.load() != 0)
            return ::testing::AssertionFailure() << "exit status " << platform.exit_status.load();
        return ::testing::AssertionSuccess();
    }
};

}  // namespace quendrel
