// The words through which the program thread and the window steer the frame
// builder.
#pragma once

#include <atomic>
#include <cstdint>

namespace quendrel {

struct DisplayState {
    // 1 automatic, -1 switching to manual, 0 manual.
    std::atomic<int32_t> display_mode{1};
    // 0 running, 1 pause requested, 2 acknowledged by the builder.
    std::atomic<int32_t> pause_state{0};
    // Cleared when the next frame must be drawn whole.
    std::atomic<int32_t> previous_frame_valid{0};
    // Stepped once per build slot of the frame thread; bit 3 gives the
    // blink and cursor phases.
    std::atomic<uint32_t> blink_counter{0};
    // A full-screen change wants a new frame even from an unchanged
    // graphics page; cleared when a frame completes.
    std::atomic<int32_t> force_new_frame{0};

    // Screen-mode, size and font changes: the next frame is drawn whole.
    void invalidate_previous_frame() { previous_frame_valid.store(0); }
};

}  // namespace quendrel
