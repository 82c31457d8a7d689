// The game itself in its real window: the solved path played with keys typed
// by xdotool, the screens read back from screenshots that must equal the
// frames the presenter showed, and the ways the run ends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "game/story.h"
#include "runtime/display/glyphs_8x16.h"
#include "window/x11_support.h"

extern char** environ;

namespace quendrel {
namespace {

using namespace x11_test;
using Rows = std::vector<std::string>;

constexpr int kWidth = 640, kHeight = 400, kColumns = 80, kRowCount = 25;
constexpr uint32_t kBlack = 0x000000, kDarkGrey = 0x555555;
constexpr uint32_t kBlue = 0x0000AA, kYellow = 0xFFFF55;

// The text of a 640 x 400 frame drawn with the 8 x 16 font in one pair of
// colours; a cell that shows no glyph of the font in exactly those colours
// reads as '?'.
Rows read_text(const std::vector<uint32_t>& pixels, uint32_t foreground, uint32_t background) {
    static const std::unordered_map<std::string, char> glyphs = [] {
        std::unordered_map<std::string, char> m;
        auto add = [&m](int code) {
            std::string bits(16, '\0');
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 8; ++x)
                    if (stored::glyphs_8x16[size_t(code * 128 + y * 8 + x)])
                        bits[size_t(y)] = char(bits[size_t(y)] | (0x80 >> x));
            m.emplace(bits, char(code));  // the first code with a shape wins
        };
        for (int code = 32; code < 127; ++code) add(code);
        return m;
    }();
    Rows rows(kRowCount, std::string(kColumns, ' '));
    for (int row = 0; row < kRowCount; ++row)
        for (int column = 0; column < kColumns; ++column) {
            std::string bits(16, '\0');
            bool clean = true;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 8; ++x) {
                    const size_t at = size_t(row * 16 + y) * kWidth + size_t(column * 8 + x);
                    const uint32_t p = pixels[at] & 0xFFFFFF;
                    if (p == foreground)
                        bits[size_t(y)] = char(bits[size_t(y)] | (0x80 >> x));
                    else if (p != background)
                        clean = false;
                }
            auto found = glyphs.find(bits);
            if (clean && found != glyphs.end()) rows[size_t(row)][size_t(column)] = found->second;
            else rows[size_t(row)][size_t(column)] = '?';
        }
    return rows;
}

std::string padded(std::string text) {
    text.resize(kColumns, ' ');
    return text;
}

Rows blank_screen() { return Rows(kRowCount, std::string(kColumns, ' ')); }

// Runs a program to its end; its exit status.
int run(std::vector<std::string> args, bool quiet = false) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool xdotool_available() { return run({"xdotool", "version"}, true) == 0; }

// The main screen as it stands above the location text, for a location
// whose only exit is east.
Rows main_screen_with_east_exit() {
    Rows r = blank_screen();
    const std::string bar(32, '_');
    auto banner = [](std::string text) {
        text.resize(32, ' ');
        return text;
    };
    r[3] = padded(std::string(23, ' ') + bar);
    r[4] = padded(std::string(22, ' ') + "/" + banner(story::kSeriesTitle) + "\\");
    r[5] = padded(std::string(22, ' ') + "/" + banner(story::kCredit) + "\\");
    r[6] = padded(std::string(22, ' ') + "/" + bar + "\\");
    r[8] = padded(std::string(33, ' ') + "Episode Ten:");
    r[9] = padded(std::string(28, ' ') + story::kEpisodeTitle);
    r[11] = "*---------------------------------* " + std::string(" ") + " + " + "E" +
            " *------------------------------------*";
    r[14] = padded("If you are stuck just type HELP.");
    return r;
}

class GameWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!display) GTEST_SKIP() << "no X display";
        if (!xdotool_available()) FAIL() << "xdotool is needed (scripts/deps)";
        dir = make_temp_dir();
    }
    void TearDown() override {
        game.reset();
        if (display) display.reset_focus();
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }

    // Starts the game and waits for its window; true once it is placed.
    bool start() {
        // A window of the game before may still be on its way out.
        for (int t = 0; window && display.window_exists(window) && t < 5000; t += 20)
            sleep_ms(20);
        dump = dir + "/shown" + std::to_string(++runs);
        newest = 0;
        game = std::make_unique<Process>(QUENDREL_GAME,
                                         std::vector<std::string>{"QUENDREL_SHOWN_FRAMES=" + dump});
        window = display.wait_for_window("Untitled", 20000);
        if (!window) return false;
        display.place_and_focus(window);
        return true;
    }

    // The number of the newest frame shown so far; older dumps than the
    // last few are removed, at 30 frames a second they add up.
    int newest_shown() {
        while (std::filesystem::exists(dump + "." + std::to_string(newest + 1))) {
            ++newest;
            if (newest > 4) std::filesystem::remove(dump + "." + std::to_string(newest - 4));
        }
        return newest;
    }

    // Waits until the window shows exactly a frame the presenter showed and
    // its text, read in the given colours, passes the check; that text.
    // The picture may change 30 times a second, so a screenshot is matched
    // with the newest few frames.
    bool wait_for_screen(const std::function<bool(const Rows&)>& check, Rows& text,
                         uint32_t foreground = kDarkGrey, uint32_t background = kBlack,
                         int timeout_ms = 20000) {
        last_seen.clear();
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (std::chrono::steady_clock::now() < end) {
            Screenshot shot = display.screenshot(window);
            const int n = newest_shown();
            if (shot.width == kWidth && shot.height == kHeight) {
                for (int k = n; k >= 1 && k > n - 4; --k) {
                    int w = 0, h = 0;
                    const std::string path = dump + "." + std::to_string(k);
                    const std::vector<uint32_t> frame = read_frame_dump(path, w, h);
                    if (w != kWidth || h != kHeight) continue;
                    bool same = true;
                    for (size_t i = 0; i < frame.size() && same; ++i)
                        same = (frame[i] & 0xFFFFFF) == shot.rgb[i];
                    if (!same) continue;
                    last_seen = read_text(frame, foreground, background);
                    if (check(last_seen)) {
                        text = last_seen;
                        return true;
                    }
                    break;
                }
            }
            sleep_ms(20);
        }
        return false;
    }
    std::string last_screen() const {
        std::string seen = "the last screen shown:\n";
        for (const std::string& row : last_seen) seen += "|" + row + "|\n";
        return seen;
    }

    // Presses a key until the screen it leads to is shown: a key that came
    // before the game's wait drained its keys would be lost, and at every
    // wait but the title's blank page a second key is drained unseen.
    bool key_until(const std::string& key, const std::function<bool(const Rows&)>& check,
                   Rows& text, uint32_t foreground = kDarkGrey, uint32_t background = kBlack) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (run({"xdotool", "key", key}) != 0) return false;
            if (wait_for_screen(check, text, foreground, background, 6000)) return true;
        }
        return false;
    }

    // Types a command at the prompt, waits for its echo and sends Return;
    // true once the screen it leads to is shown.
    bool command(const std::string& words, int prompt_row,
                 const std::function<bool(const Rows&)>& check, Rows& text,
                 uint32_t foreground = kDarkGrey, uint32_t background = kBlack) {
        if (run({"xdotool", "type", "--delay", "40", words}) != 0) return false;
        Rows echo;
        if (!wait_for_screen(
                [&](const Rows& r) { return r[size_t(prompt_row - 1)] == padded("> " + words); },
                echo))
            return false;
        if (run({"xdotool", "key", "Return"}) != 0) return false;
        return wait_for_screen(check, text, foreground, background);
    }

    static bool intro_shown(const Rows& r) {
        return r[14] == padded("Press any key to Continue...");
    }
    static bool clock_shown(const Rows& r) {
        static const std::regex clock(" {31} +[0-9]+:[0-9]{2}\\.[0-9]{3} *");
        return std::regex_match(r[1], clock);
    }
    // The main screen of a location while the command reader waits.
    static std::function<bool(const Rows&)> at_prompt_in(const char* first_row) {
        return [first_row](const Rows& r) { return clock_shown(r) && r[16] == padded(first_row); };
    }

    // From the start to the closing prompt, checking the intro page, the
    // main screen of the first location and the last page on the way.
    void play_to_closing_prompt() {
        Rows text;
        ASSERT_TRUE(wait_for_screen(intro_shown, text)) << last_screen();
        Rows intro = blank_screen();
        for (int i = 0; i < 5; ++i) intro[size_t(2 + i)] = padded(story::kIntroFirst[i]);
        for (int i = 0; i < 4; ++i) intro[size_t(8 + i)] = padded(story::kIntroSecond[i]);
        intro[14] = padded("Press any key to Continue...");
        EXPECT_EQ(text, intro);

        ASSERT_TRUE(key_until("space", [](const Rows& r) { return r == blank_screen(); }, text))
            << last_screen();
        // The second key starts the case clock and the first command prompt.
        ASSERT_TRUE(key_until("space", at_prompt_in(story::kSeat1[0]), text)) << last_screen();
        Rows main = main_screen_with_east_exit();
        main[16] = padded(story::kSeat1[0]);
        main[17] = padded(story::kSeat1[1]);
        main[18] = padded("> ");
        Rows shown = text;
        shown[1] = padded("");
        EXPECT_EQ(shown, main);
        // The case clock has just started from 30 minutes.
        EXPECT_TRUE(std::regex_match(text[1], std::regex(" {31}  29:5[0-9]\\.[0-9]{3} *")))
            << text[1];

        ASSERT_TRUE(command("E", 19, at_prompt_in(story::kAisle2), text)) << last_screen();
        ASSERT_TRUE(command("S", 18, at_prompt_in(story::kAisle8), text)) << last_screen();
        ASSERT_TRUE(command("S", 18, at_prompt_in(story::kPlaneEnd11), text)) << last_screen();
        ASSERT_TRUE(command("W", 18, at_prompt_in(story::kRestRoom12[0]), text)) << last_screen();
        auto first_page_shown = [](const Rows& r) { return r[14] == padded("PRESS ANY KEY..."); };
        ASSERT_TRUE(command("PRESENT EVIDENCE", 20, first_page_shown, text, kYellow, kBlue))
            << last_screen();
        EXPECT_EQ(text[0], padded(story::kWinFirst[0]));

        Rows last = blank_screen();
        last[0] = padded(story::kTrain[0]);
        last[1] = padded(story::kTrain[1]);
        for (int i = 0; i < 4; ++i) last[size_t(4 + i)] = padded(story::kTelegram[i]);
        last[9] = padded(story::kNextCase);
        last[11] = padded(story::kNextEpisode);
        auto second_page_shown = [&](const Rows& r) { return r == last; };
        ASSERT_TRUE(key_until("space", second_page_shown, text, kYellow, kBlue)) << last_screen();
        // The closing prompt goes below the page, which stays as it was.
        last[24] = padded("Press any key to continue");
        auto prompt_shown = [](const Rows& r) {
            return r[24].compare(0, 25, "Press any key to continue") == 0;
        };
        ASSERT_TRUE(key_until("space", prompt_shown, text, kYellow, kBlue)) << last_screen();
        EXPECT_EQ(text, last);
    }

    x11_test::Display display;
    std::string dir, dump;
    std::unique_ptr<Process> game;
    Window window = 0;
    int runs = 0, newest = 0;
    Rows last_seen;  // the last screen wait_for_screen read
};

TEST_F(GameWindowTest, TheSolvedPathEndsAtTheClosingPromptAndAKeyEndsTheRun) {
    auto files_beside_the_game = [] {
        std::set<std::filesystem::path> files;
        const std::filesystem::path folder = std::filesystem::path(QUENDREL_GAME).parent_path();
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            files.insert(entry.path());
        return files;
    };
    const std::set<std::filesystem::path> before = files_beside_the_game();
    ASSERT_TRUE(start());
    ASSERT_NO_FATAL_FAILURE(play_to_closing_prompt());
    // As at every key wait, a key that beat the wait's drain is pressed again.
    int status = -1;
    for (int attempt = 0; attempt < 3 && status == -1; ++attempt) {
        ASSERT_EQ(run({"xdotool", "key", "space"}), 0);
        status = game->wait_exit(6000);
    }
    EXPECT_EQ(status, 0);
    // The game runs in its own folder and leaves nothing there.
    EXPECT_EQ(files_beside_the_game(), before);
}

TEST_F(GameWindowTest, ACloseRequestAtAKeyWaitEndsTheRunWithStatusZeroWithinASecond) {
    for (bool at_closing_prompt : {false, true}) {
        SCOPED_TRACE(at_closing_prompt ? "at the closing prompt" : "on the intro page");
        ASSERT_TRUE(start());
        if (at_closing_prompt) {
            ASSERT_NO_FATAL_FAILURE(play_to_closing_prompt());
        } else {
            Rows text;
            ASSERT_TRUE(wait_for_screen(intro_shown, text)) << last_screen();
        }
        display.send_close_request(window);
        const auto sent = std::chrono::steady_clock::now();
        EXPECT_EQ(game->wait_exit(10000), 0);
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - sent);
        EXPECT_LT(took.count(), 1000);
    }
}

}  // namespace
}  // namespace quendrel
