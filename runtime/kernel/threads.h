// The program, timer and frame threads and the process shutdown.
//
// The frame thread paces the whole run: every pass of about 16 ms it looks
// for a close request or a stop, keeps the BIOS tick count, and on alternate
// passes lets the display build a frame or the keyboard re-read the lock
// keys. When the run ends it stops the other threads at their next
// checkpoint or wait, closes files and exits the process.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "runtime/kernel/emulated_memory.h"
#include "runtime/kernel/run_state.h"
#include "runtime/kernel/runtime_errors.h"
#include "runtime/platform/platform.h"

namespace quendrel {

// The display's and keyboard's share of a frame-thread pass.
class FramePassWork {
public:
    virtual ~FramePassWork() = default;
    // Every second pass: build a frame while display is not manual, then
    // step the blink counter.
    virtual void frame_slot() = 0;
    // The other passes.
    virtual void sync_lock_keys() = 0;
};

// Program timers, served by the timer thread and run from the checkpoint.
class TimerTable : public EventSource {
public:
    struct Timer {
        std::atomic<bool> allocated{false}, on{false}, active{false};
        std::atomic<bool> pending{false};
        bool running = false;
        double interval_seconds = 0, last_fired = 0;
        std::function<void()> handler;
    };
    explicit TimerTable(RunState& run) : run_(run) {}
    Timer& timer(int i) { return timers_[i]; }
    // Timer-thread side: mark due timers pending.
    void poll(double now_seconds);
    bool any_switched_on() const;
    bool take_one() override;
    // Timer thread with no timer on: waits up to `ms` or until woken. Wake
    // it after switching a timer on, and at the stop.
    void wait_idle(uint32_t ms);
    void wake();

private:
    RunState& run_;
    Timer timers_[1];
    std::mutex idle_mutex_;
    std::condition_variable idle_;
    bool woken_ = false;
};

class KernelThreads {
public:
    KernelThreads(RunState& run, Platform& platform, EmulatedMemory& memory,
                  RuntimeErrors& errors, TimerTable& timers)
        : run_(run), platform_(platform), memory_(memory), errors_(errors), timers_(timers) {}

    void set_frame_work(FramePassWork* work) { frame_work_ = work; }
    void set_close_files(std::function<void()> close) { close_files_ = std::move(close); }

    // Program thread, then timer thread, then display_started, then the
    // frame thread. The threads are detached: the process exit ends them.
    void start(std::function<void()> program);

    // One tick-count update (also used by tests).
    void update_tick_count();

    // Handshake word of the timer thread: 1 requested, 2 acknowledged.
    std::atomic<int32_t> timer_pause{0};

private:
    void program_thread_body(const std::function<void()>& program);
    void timer_thread_body();
    void frame_thread_body();
    [[noreturn]] void shutdown();

    RunState& run_;
    Platform& platform_;
    EmulatedMemory& memory_;
    RuntimeErrors& errors_;
    TimerTable& timers_;
    FramePassWork* frame_work_ = nullptr;
    std::function<void()> close_files_;
};

}  // namespace quendrel
