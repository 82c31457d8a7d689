// Time for programs: seconds since midnight, the frame-rate limiter, the
// plain delay, the key-interruptible sleep, and the switch between automatic
// and program-driven frames.
//
// Everything runs on the program thread and reads one millisecond clock
// through the platform. Waits sleep at most 9 ms at a time and run the
// statement checkpoint (line 0) between slices, so pauses, stops and trap
// events are served while a program waits.
#pragma once

#include <cstdint>

#include "runtime/console/key_events.h"
#include "runtime/console/key_layer.h"
#include "runtime/display/display_state.h"
#include "runtime/kernel/runtime_errors.h"
#include "runtime/platform/platform.h"

namespace quendrel {

class Clock {
public:
    static constexpr uint32_t kSliceMs = 9;
    static constexpr double kMaxDelaySeconds = 2147483.647;
    static constexpr double kMaxFramePeriodMs = 60000;

    Clock(RuntimeErrors& errors, Platform& platform, DisplayState& display, KeyLayer& keys,
          FrameSource* frames = nullptr);

    void set_frame_source(FrameSource* frames) { frames_ = frames; }

    // Milliseconds of the platform clock, widened so it keeps rising when
    // the 32-bit count wraps.
    int64_t clock_ms();

    double timer_seconds(double accuracy, bool accuracy_given);
    void frame_limit(double rate);
    void delay_seconds(double seconds);
    void sleep_statement(int32_t seconds, bool seconds_given);
    void display_frame();
    void auto_display();

    double limit_last() const { return limit_last_; }

private:
    void checkpoint() { errors_.statement_checkpoint(0); }

    RuntimeErrors& errors_;
    RunState& run_;
    Platform& platform_;
    DisplayState& display_;
    KeyLayer& keys_;
    FrameSource* frames_;

    int64_t clock_ = 0;
    uint32_t last_raw_ = 0;
    double limit_last_ = 0;
};

}  // namespace quendrel
