#include "runtime/console/clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <numeric>
#include <thread>
#include <unistd.h>
#include <vector>

#include "runtime/console/key_traps.h"
#include "support/test_platform.h"

namespace quendrel {
namespace {

using namespace std::chrono_literals;

// Records every sleep the waits take.
class RecordingPlatform : public TestPlatform {
public:
    void sleep_ms(uint32_t ms) override {
        {
            std::lock_guard lock(mutex_);
            sleeps_.push_back(ms);
        }
        TestPlatform::sleep_ms(ms);
        if (on_sleep) on_sleep();
    }
    std::vector<uint32_t> sleeps() {
        std::lock_guard lock(mutex_);
        return sleeps_;
    }
    uint32_t slept_ms() {
        auto s = sleeps();
        return std::accumulate(s.begin(), s.end(), 0u);
    }
    void forget_sleeps() {
        std::lock_guard lock(mutex_);
        sleeps_.clear();
    }
    std::function<void()> on_sleep;

private:
    std::mutex mutex_;
    std::vector<uint32_t> sleeps_;
};

class CountingFrames : public FrameSource {
public:
    void build_frame() override { ++built; }
    std::atomic<int> built{0};
};

class ClockTest : public ::testing::Test {
protected:
    ClockTest() {
        keys.start_up(LockKeyStates{});
        platform.sleeps_advance_clock = true;
    }

    // Puts the clock at a time of day, in milliseconds since midnight.
    void set_time_of_day(uint32_t base_ms, uint32_t elapsed_ms) {
        run.clock_base_ms = 5000;
        run.midnight_base_ms = int32_t(base_ms);
        platform.set_clock_ms(5000 + elapsed_ms);
    }

    int32_t error() const { return run.pending_error.load(); }
    void clear_error() {
        run.pending_error.store(0);
        run.pending_event.store(0);
    }
    bool all_slices_short() {
        for (uint32_t ms : platform.sleeps())
            if (ms > Clock::kSliceMs) return false;
        return true;
    }

    RecordingPlatform platform;
    RunState run;
    RuntimeErrors errors{run, platform};
    EmulatedMemory memory;
    StringHeap strings{errors, memory};
    KeyTrapTable traps{errors, strings};
    KeyLayer keys{errors, platform, memory, strings, traps};
    DisplayState display;
    CountingFrames frames;
    Clock clock{errors, platform, display, keys, &frames};
};

// ---------------------------------------------------------------- timer_seconds

TEST_F(ClockTest, TimerJustAfterMidnight) {
    set_time_of_day(0, 5);
    EXPECT_DOUBLE_EQ(clock.timer_seconds(0.001, true), 0.005);
    EXPECT_EQ(clock.timer_seconds(0, false), 0.0);  // 5 ms * 18.2 rounds to 0
}

TEST_F(ClockTest, TimerShortlyAfterNoonShowsSinglePrecisionSteps) {
    set_time_of_day(12 * 3600 * 1000, 30);
    EXPECT_EQ(clock.timer_seconds(0, false), 43200.0 + 14.0 / 256.0);
    EXPECT_EQ(clock.timer_seconds(0.001, true), 43200.03);
}

TEST_F(ClockTest, TimerRoundsHalvesToEven) {
    const std::pair<uint32_t, double> cases[] = {{500, 0}, {1500, 2}, {2500, 2}, {3500, 4}};
    for (const auto& [ms, seconds] : cases) {
        set_time_of_day(0, ms);
        EXPECT_EQ(clock.timer_seconds(1, true), seconds) << ms;
    }
    set_time_of_day(0, 250);
    EXPECT_EQ(clock.timer_seconds(0.5, true), 0.0);
    set_time_of_day(0, 750);
    EXPECT_EQ(clock.timer_seconds(0.5, true), 1.0);
}

TEST_F(ClockTest, TimerWrapsAtMidnightAndAcrossTheClockCount) {
    set_time_of_day(86399000, 1500);
    EXPECT_EQ(clock.timer_seconds(0.001, true), 0.5);
    // The processor count wrapping past 2^32 does not disturb the time.
    run.clock_base_ms = int32_t(0xFFFFFF00u);
    run.midnight_base_ms = 1000;
    platform.set_clock_ms(0x100);
    EXPECT_EQ(clock.timer_seconds(0.001, true), 1.512);
}

TEST_F(ClockTest, TimerRefusesAccuracyZeroOrBelow) {
    set_time_of_day(0, 5000);
    for (double accuracy : {0.0, -1.0}) {
        EXPECT_EQ(clock.timer_seconds(accuracy, true), 0.0);
        EXPECT_EQ(error(), 5);
        clear_error();
    }
}

// ---------------------------------------------------------------- frame_limit

TEST_F(ClockTest, FrameLimitKeepsThirtyFramesASecond) {
    clock.frame_limit(30);  // the first call only takes the time
    uint32_t first = platform.clock_ms();
    std::vector<uint32_t> steps;
    uint32_t last = first;
    for (int i = 0; i < 30; ++i) {
        clock.frame_limit(30);
        steps.push_back(platform.clock_ms() - last);
        last = platform.clock_ms();
    }
    for (uint32_t step : steps) {
        EXPECT_GE(step, 33u);
        EXPECT_LE(step, 34u);
    }
    EXPECT_NEAR(double(last - first), 1000.0, 1.0);
    EXPECT_TRUE(all_slices_short());
}

TEST_F(ClockTest, FrameLimitAbsorbsAShortPauseAndRestartsAfterALongOne) {
    clock.frame_limit(30);
    clock.frame_limit(30);
    const double period = 1000.0 / 30;
    double due = clock.limit_last();

    platform.advance_ms(40);  // the loop body took 40 ms
    uint32_t before = platform.clock_ms();
    clock.frame_limit(30);
    EXPECT_EQ(platform.clock_ms(), before);  // returns at once
    EXPECT_DOUBLE_EQ(clock.limit_last(), due + period);
    clock.frame_limit(30);
    EXPECT_DOUBLE_EQ(clock.limit_last(), due + 2 * period);
    EXPECT_LE(platform.clock_ms() - (due + 2 * period), 1.0);  // back on the cadence

    platform.advance_ms(100);
    uint32_t restart = platform.clock_ms();
    clock.frame_limit(30);
    EXPECT_EQ(platform.clock_ms(), restart);
    EXPECT_EQ(clock.limit_last(), double(restart));
    clock.frame_limit(30);
    EXPECT_EQ(platform.clock_ms(), restart + 34);
}

TEST_F(ClockTest, FrameLimitRefusesRatesOutsideItsRange) {
    for (double rate : {0.01, 0.0, -30.0}) {
        clock.frame_limit(rate);
        EXPECT_EQ(error(), 5) << rate;
        clear_error();
    }
    clock.frame_limit(1.0 / 60);  // one frame a minute is the slowest
    EXPECT_EQ(error(), 0);
}

TEST_F(ClockTest, FrameLimitStartsOverWhenTheClockGoesBack) {
    clock.frame_limit(30);
    platform.set_clock_ms(platform.clock_ms() - 500);
    uint32_t now = platform.clock_ms();
    clock.frame_limit(30);
    EXPECT_EQ(platform.clock_ms(), now);
    EXPECT_EQ(clock.limit_last(), double(clock.clock_ms()));
}

// ---------------------------------------------------------------- delay_seconds

TEST_F(ClockTest, DelayWaitsInShortSlices) {
    uint32_t start = platform.clock_ms();
    clock.delay_seconds(0);
    EXPECT_EQ(platform.clock_ms(), start);
    EXPECT_TRUE(platform.sleeps().empty());

    clock.delay_seconds(0.05);
    EXPECT_EQ(platform.clock_ms(), start + 50);
    EXPECT_TRUE(all_slices_short());
}

TEST_F(ClockTest, DelayRefusesValuesOutOfRange) {
    for (double seconds : {2147483.648, -0.001}) {
        clock.delay_seconds(seconds);
        EXPECT_EQ(error(), 5) << seconds;
        clear_error();
    }
    EXPECT_TRUE(platform.sleeps().empty());
}

TEST_F(ClockTest, DelayDoesNotWaitOutAClockSetBack) {
    int sleeps = 0;
    platform.on_sleep = [&] {
        if (++sleeps == 2) platform.set_clock_ms(platform.clock_ms() - 5000);
    };
    clock.delay_seconds(0.05);
    EXPECT_LT(platform.slept_ms(), 100u);
    EXPECT_GE(platform.slept_ms(), 50u);
}

TEST_F(ClockTest, WaitsServeTrapsThroughTheCheckpoint) {
    int handled = 0;
    traps.set_handler(1, [&] { ++handled; });
    traps.set_trap_state(1, KeyTrapTable::kTrapOn);
    keys.key_down(kKeyF1);
    clock.delay_seconds(0.03);
    EXPECT_EQ(handled, 1);
    keys.key_down(kKeyF1);
    clock.frame_limit(30);
    clock.frame_limit(30);
    EXPECT_EQ(handled, 2);
}

// ---------------------------------------------------------------- sleep_statement

TEST_F(ClockTest, KeyPressEndsALongSleepAtOnce) {
    platform.sleeps_advance_clock = false;  // only the key can end it
    keys.key_down('a');                      // a key from before does not count
    auto sleeping = std::async(std::launch::async, [&] { clock.sleep_statement(10, true); });
    EXPECT_EQ(sleeping.wait_for(50ms), std::future_status::timeout);
    keys.key_down('b');
    EXPECT_EQ(sleeping.wait_for(2s), std::future_status::ready);
}

TEST_F(ClockTest, SleepWithoutANumberWaitsForAKey) {
    auto sleeping = std::async(std::launch::async, [&] { clock.sleep_statement(0, false); });
    EXPECT_EQ(sleeping.wait_for(50ms), std::future_status::timeout);
    keys.window_special_key(1, true, 0);
    EXPECT_EQ(sleeping.wait_for(2s), std::future_status::ready);
}

TEST_F(ClockTest, SleepEndsAfterItsSecondsOrWhenTheProgramStops) {
    uint32_t start = platform.clock_ms();
    clock.sleep_statement(1, true);
    EXPECT_EQ(platform.clock_ms(), start + 1000);
    EXPECT_TRUE(all_slices_short());

    run.stop_program.store(1);
    platform.forget_sleeps();
    clock.sleep_statement(0, false);
    EXPECT_TRUE(platform.sleeps().empty());
}

// ---------------------------------------------------------------- display_frame

TEST_F(ClockTest, FirstDisplayFrameWaitsForTheFrameThreadsAttempt) {
    std::atomic<bool> attempt_finished{false};
    std::atomic<bool> stop{false};
    // Plays the frame thread: finishes the frame it is building, then
    // hands production over.
    std::thread frame_thread([&] {
        while (!stop.load()) {
            if (display.display_mode.load() == -1) {
                std::this_thread::sleep_for(20ms);
                attempt_finished = true;
                int32_t expected = -1;
                display.display_mode.compare_exchange_strong(expected, 0);
            }
            std::this_thread::sleep_for(1ms);
        }
    });
    clock.display_frame();
    EXPECT_TRUE(attempt_finished.load());
    EXPECT_EQ(display.display_mode.load(), 0);
    EXPECT_EQ(frames.built.load(), 0);

    clock.display_frame();
    clock.display_frame();
    EXPECT_EQ(frames.built.load(), 2);

    clock.auto_display();
    EXPECT_EQ(display.display_mode.load(), 1);
    stop = true;
    frame_thread.join();
}

TEST_F(ClockTest, DisplayFrameWaitingAtShutdownHaltsTheProgramThread) {
    EXPECT_EXIT(
        {
            std::thread program([&] { clock.display_frame(); });
            program.detach();
            std::this_thread::sleep_for(20ms);
            run.stop_threads.store(1);
            for (int i = 0; i < 2000 && !(run.stopped_threads.load() & 1); ++i)
                std::this_thread::sleep_for(1ms);
            _exit(run.stopped_threads.load() & 1 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace quendrel
