// A platform for tests: the clock moves only when told (or by the sleeps when
// asked to), message boxes are recorded and answered from a script, and the
// process exit is reported instead of taken unless the test wants it taken.
#pragma once

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/platform/platform.h"

namespace quendrel {

struct RecordedBox {
    std::string text, caption;
    uint32_t style = 0;
};

class TestPlatform : public Platform {
public:
    uint32_t clock_ms() override { return clock_.load(); }
    // Sleeps really pass (briefly) so threaded tests do not spin; the clock
    // moves by the asked length only when sleeps_advance_clock is set.
    void sleep_ms(uint32_t ms) override;
    void yield() override;
    bool calendar_time(int64_t& seconds) override;
    bool local_time(int64_t seconds, LocalTime& out) override;
    std::string executable_path() override { return executable; }
    bool current_directory(std::string& out) override;
    bool change_directory(const std::string& path) override;
    int message_box(const std::string& text, const std::string& caption, uint32_t style) override;
    LockKeyStates lock_key_states() override { return locks; }
    // Exits for real (the tests that reach it run in a child process and
    // read what was shown from stderr), unless park_on_exit is set: then the
    // status is recorded and the calling thread stops there for good, so a
    // whole run can end inside one test process.
    [[noreturn]] void exit_process(int status) override;
    bool park_on_exit = false;
    std::atomic<int> exit_status{-1};

    void advance_ms(uint32_t ms) { clock_ += ms; }
    void set_clock_ms(uint32_t ms) { clock_ = ms; }
    void answer_next(int result);
    std::vector<RecordedBox> boxes();

    std::atomic<bool> sleeps_advance_clock{false};
    uint32_t real_sleep_cap_ms = 1;
    int64_t calendar_seconds = 1700000000;     // what calendar_time reports
    int calendar_ticks_after = 2;  // reads before it moves on by 1 (0: never)
    bool calendar_fails = false;
    LocalTime local{2026, 12, 11, 10, 30, 15};
    bool local_fails = false;
    std::string executable = "/opt/quendrel/bin/quendrel";
    std::string directory = "/home/player";
    std::vector<std::string> directory_changes;
    LockKeyStates locks;
    int default_answer = kBoxResultNo;

private:
    std::atomic<uint32_t> clock_{1000};
    std::mutex mutex_;
    std::deque<int> answers_;
    std::vector<RecordedBox> boxes_;
    int calendar_reads_ = 0;
};

}  // namespace quendrel
