#include "support/test_platform.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace quendrel {

void TestPlatform::sleep_ms(uint32_t ms) {
    if (sleeps_advance_clock) clock_ += ms;
    uint32_t real = ms < real_sleep_cap_ms ? ms : real_sleep_cap_ms;
    std::this_thread::sleep_for(std::chrono::milliseconds(real ? real : 1));
}

void TestPlatform::yield() { std::this_thread::yield(); }

bool TestPlatform::calendar_time(int64_t& seconds) {
    if (calendar_fails) return false;
    std::lock_guard lock(mutex_);
    if (calendar_ticks_after > 0 && ++calendar_reads_ > calendar_ticks_after) {
        calendar_reads_ = 0;
        ++calendar_seconds;
    }
    seconds = calendar_seconds;
    return true;
}

bool TestPlatform::local_time(int64_t, LocalTime& out) {
    if (local_fails) return false;
    out = local;
    return true;
}

bool TestPlatform::current_directory(std::string& out) {
    out = directory;
    return true;
}

bool TestPlatform::change_directory(const std::string& path) {
    directory_changes.push_back(path);
    directory = path;
    return true;
}

int TestPlatform::message_box(const std::string& text, const std::string& caption,
                              uint32_t style) {
    std::lock_guard lock(mutex_);
    boxes_.push_back({text, caption, style});
    std::fprintf(stderr, "[box] %s | %s\n", caption.c_str(), text.c_str());
    if (answers_.empty()) return (style & 0xF) == kBoxYesNo ? default_answer : kBoxResultOk;
    int r = answers_.front();
    answers_.pop_front();
    return r;
}

void TestPlatform::exit_process(int status) {
    if (park_on_exit) {
        exit_status.store(status);
        for (;;) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::fflush(nullptr);
    _exit(status);
}

void TestPlatform::answer_next(int result) {
    std::lock_guard lock(mutex_);
    answers_.push_back(result);
}

std::vector<RecordedBox> TestPlatform::boxes() {
    std::lock_guard lock(mutex_);
    return boxes_;
}

}  // namespace quendrel
