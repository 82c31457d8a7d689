// The two words through which the program thread steers the frame builder.
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
};

}  // namespace quendrel
