#include "runtime/kernel/threads.h"

#include <chrono>

#include "runtime/kernel/startup.h"

namespace quendrel {

void TimerTable::poll(double now) {
    for (Timer& t : timers_) {
        if (!t.allocated || !t.on || !t.active || t.pending.load()) continue;
        if (now - t.last_fired >= t.interval_seconds) {
            t.last_fired = now;
            t.pending.store(true);
            run_.pending_event.store(1);
        }
    }
}

bool TimerTable::any_switched_on() const {
    for (const Timer& t : timers_)
        if (t.allocated.load() && t.on.load()) return true;
    return false;
}

void TimerTable::wait_idle(uint32_t ms) {
    std::unique_lock lock(idle_mutex_);
    idle_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return woken_; });
    woken_ = false;
}

void TimerTable::wake() {
    {
        std::lock_guard lock(idle_mutex_);
        woken_ = true;
    }
    idle_.notify_all();
}

bool TimerTable::take_one() {
    for (Timer& t : timers_) {
        if (!t.on || t.running || !t.pending.load()) continue;
        t.running = true;
        if (t.handler) t.handler();
        t.pending.store(false);
        t.running = false;
        return true;
    }
    return false;
}

void KernelThreads::start(std::function<void()> program) {
    std::thread([this, program] { program_thread_body(program); }).detach();
    std::thread([this] { timer_thread_body(); }).detach();
    run_.display_started.store(1);
    std::thread([this] { frame_thread_body(); }).detach();
}

void KernelThreads::program_thread_body(const std::function<void()>& program) {
    program();
    // A program that falls off its end still stops the run cleanly.
    run_.stop_program.store(1);
    errors_.halt_program_thread();
}

void KernelThreads::timer_thread_body() {
    for (;;) {
        if (timer_pause.load() == 1) {
            timer_pause.store(2);
            while (timer_pause.load() == 2 && !run_.stop_threads.load()) platform_.sleep_ms(1);
        }
        timers_.poll(platform_.clock_ms() * 0.001);
        // With no timer switched on there is nothing to serve but the stop,
        // which wakes the wait; every wake-up costs an idle program.
        if (timers_.any_switched_on())
            platform_.sleep_ms(1);
        else
            timers_.wait_idle(100);
        if (run_.stop_threads.load()) {
            run_.stopped_threads.fetch_or(2);
            return;
        }
    }
}

void KernelThreads::update_tick_count() {
    int64_t ms = milliseconds_since_midnight(platform_, run_);
    uint32_t ticks = uint32_t(double(ms) * 0.0182);
    memory_.write8(0x46C, uint8_t(ticks));
    memory_.write8(0x46D, uint8_t(ticks >> 8));
    memory_.write8(0x46E, uint8_t(ticks >> 16));
}

void KernelThreads::frame_thread_body() {
    int parity = 0;
    for (;;) {
        if (run_.exit_requests.load() != 0 && run_.exit_handled_by_program.load() == 0) break;
        update_tick_count();
        // 15 ms, then 1 ms after the vertical-retrace indications; nothing
        // here reads those, so one sleep serves both and saves a wake-up.
        platform_.sleep_ms(16);
        if (run_.stop_program.load()) break;
        parity ^= 1;
        if (parity == 1) {
            if (frame_work_) frame_work_->frame_slot();
        } else if (frame_work_) {
            frame_work_->sync_lock_keys();
        }
    }
    shutdown();
}

void KernelThreads::shutdown() {
    run_.stop_threads.store(1);
    run_.pending_event.store(1);
    timers_.wake();
    while (run_.stopped_threads.load() != 3) platform_.sleep_ms(16);
    if (close_files_) close_files_();
    platform_.exit_process(run_.exit_code.load());
    for (;;) platform_.sleep_ms(100);  // not reached
}

}  // namespace quendrel
