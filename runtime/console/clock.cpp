#include "runtime/console/clock.h"

#include <cmath>

namespace quendrel {

Clock::Clock(RuntimeErrors& errors, Platform& platform, DisplayState& display, KeyLayer& keys,
             FrameSource* frames)
    : errors_(errors),
      run_(errors.run()),
      platform_(platform),
      display_(display),
      keys_(keys),
      frames_(frames) {
    last_raw_ = platform_.clock_ms();
    clock_ = int64_t(last_raw_);
}

int64_t Clock::clock_ms() {
    uint32_t raw = platform_.clock_ms();
    // A signed step: a wrap of the count moves on, a clock set back moves back.
    clock_ += int32_t(raw - last_raw_);
    last_raw_ = raw;
    return clock_;
}

double Clock::timer_seconds(double accuracy, bool accuracy_given) {
    if (errors_.pending()) return 0;
    uint32_t ms = (platform_.clock_ms() - uint32_t(run_.clock_base_ms) +
                   uint32_t(run_.midnight_base_ms)) %
                  86400000u;
    double seconds = ms / 1000.0;
    double factor = 18.2;
    if (accuracy_given) {
        if (accuracy <= 0) {
            errors_.raise_error(5);
            return 0;
        }
        factor = 1 / accuracy;
    }
    // Nearest, halves to even (the default rounding mode).
    long long steps = std::llrint(static_cast<long double>(seconds) * factor);
    seconds = double(steps) / factor;
    if (!accuracy_given) seconds = double(float(seconds));
    return seconds;
}

void Clock::frame_limit(double rate) {
    if (errors_.pending()) return;
    if (!(rate > 0)) {
        errors_.raise_error(5);
        return;
    }
    double period = 1000 / rate;
    if (period > kMaxFramePeriodMs) {
        errors_.raise_error(5);
        return;
    }
    for (;;) {
        double now = double(clock_ms());
        if (limit_last_ == 0 || limit_last_ > now) {
            limit_last_ = now;
            return;
        }
        double elapsed = now - limit_last_;
        if (elapsed == period) {
            limit_last_ += period;
            return;
        }
        if (elapsed < period) {
            uint32_t wait = uint32_t(period - elapsed);
            if (wait < 1) wait = 1;
            if (wait > kSliceMs) {
                platform_.sleep_ms(kSliceMs);
                checkpoint();
            } else {
                platform_.sleep_ms(wait);
            }
            continue;
        }
        // Late by up to 32 ms keeps the cadence; later restarts it.
        if (elapsed <= period + 32)
            limit_last_ += period;
        else
            limit_last_ = now;
        return;
    }
}

void Clock::delay_seconds(double seconds) {
    int64_t start = clock_ms();
    if (errors_.pending()) return;
    if (!(seconds >= 0) || seconds > kMaxDelaySeconds) {
        errors_.raise_error(5);
        return;
    }
    double duration = 1000 * seconds;
    int64_t previous = start;
    for (;;) {
        int64_t now = clock_ms();
        // The clock went back: what was already waited still counts.
        if (now < start) start = now - (previous - start);
        previous = now;
        double elapsed = double(now - start);
        if (!(duration > elapsed)) return;
        uint32_t wait = uint32_t(duration - elapsed);
        if (wait < 1) wait = 1;
        if (wait > kSliceMs) {
            platform_.sleep_ms(kSliceMs);
            checkpoint();
        } else {
            platform_.sleep_ms(wait);
            return;
        }
    }
}

void Clock::sleep_statement(int32_t seconds, bool seconds_given) {
    if (errors_.pending()) return;
    keys_.key_event.store(0);
    int64_t start = seconds_given ? clock_ms() : 0;
    int64_t duration = seconds_given ? int64_t(seconds) * 1000 : 0;
    for (;;) {
        checkpoint();
        if (keys_.key_event.load() || run_.stop_program.load() || run_.stop_threads.load())
            return;
        if (duration <= 0) {
            platform_.sleep_ms(kSliceMs);
            continue;
        }
        int64_t now = clock_ms();
        if (start > now) return;
        int64_t elapsed = now - start;
        if (elapsed >= duration) return;
        int64_t wait = duration - elapsed;
        if (wait > kSliceMs) {
            platform_.sleep_ms(kSliceMs);
            continue;
        }
        platform_.sleep_ms(uint32_t(wait));
        return;
    }
}

void Clock::display_frame() {
    if (errors_.pending()) return;
    if (display_.display_mode.load() == 0) {
        if (frames_) frames_->build_frame();
        return;
    }
    // Hand frame production over: the frame thread turns -1 into 0 when
    // it has finished the frame it is building.
    display_.display_mode.store(-1);
    while (display_.display_mode.load() != 0) {
        // The frame thread builds nothing more once it shuts down; the
        // checkpoint then halts this thread as the shutdown expects.
        if (run_.stop_threads.load()) checkpoint();
        platform_.sleep_ms(1);
    }
}

void Clock::auto_display() {
    if (errors_.pending()) return;
    display_.display_mode.store(1);
}

}  // namespace quendrel
