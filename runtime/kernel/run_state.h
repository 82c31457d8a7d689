// Words shared between the program, timer, frame and main threads. Each has
// one writer side and is polled by the others, so atomics are enough.
#pragma once

#include <atomic>
#include <cstdint>

namespace quendrel {

struct RunState {
    std::atomic<int32_t> pending_event{0};
    std::atomic<int32_t> pending_error{0};
    std::atomic<uint8_t> stop_program{0};
    std::atomic<uint8_t> user_pause{0};
    std::atomic<uint8_t> stop_threads{0};
    std::atomic<int32_t> stopped_threads{0};
    std::atomic<int32_t> exit_requests{0};
    std::atomic<int32_t> exit_handled_by_program{0};
    std::atomic<int32_t> display_started{0};
    std::atomic<int32_t> window_created{0};
    std::atomic<int32_t> exit_code{0};
    int32_t clock_base_ms = 0;     // set once before the threads start
    int32_t midnight_base_ms = 0;

    bool error_pending() const { return pending_error.load(std::memory_order_relaxed) != 0; }
};

}  // namespace quendrel
