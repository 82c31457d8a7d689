// Turns the displayed page into a 32-bit SoftwareFrame.
//
// One build attempt claims a frame of the ring, decides whether anything
// visible changed since the last frame and either completes the frame or
// gives it back. Text pages are compared cell by cell with a saved copy:
// an attempt that finds the cells, the palette, both blink phases and the
// cursor as they were touches no pixels at all; otherwise the previous
// picture is copied and only the cells that differ are drawn again.
//
// The frame thread runs build_frame while display is automatic, the
// program thread (display_frame) while it is manual; never both at once,
// since the mode word hands the builder over. The builder takes part in
// the pause handshake: a requested pause (1) is acknowledged (2) at the
// start and the end of an attempt, and no page is read while it is not 0.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "runtime/console/key_events.h"
#include "runtime/console/screen.h"
#include "runtime/display/display_order.h"
#include "runtime/display/display_state.h"
#include "runtime/display/display_tables.h"
#include "runtime/display/frame_ring.h"
#include "runtime/display/glyph_cells.h"
#include "runtime/kernel/messages.h"
#include "runtime/platform/platform.h"

namespace quendrel {

// Rows of a text cell covered by the cursor: first .. first + count - 1.
struct CursorLines {
    int first = 0, count = 0;
};
CursorLines cursor_lines(int start, int stop, int cell_height);

class FrameBuilder : public FrameSource {
public:
    FrameBuilder(Screen& screen, const DisplayTables& tables, DisplayState& display,
                 FrameRing& ring, const DisplayOrder& order, MessageBoxes& boxes,
                 Platform& platform)
        : screen_(screen),
          tables_(tables),
          display_(display),
          ring_(ring),
          order_(order),
          boxes_(boxes),
          platform_(platform) {}

    void build_frame() override;

    // The frame thread's build slot: an attempt unless display is manual,
    // then one blink-counter step.
    void frame_slot();

private:
    struct CursorCell {
        int column = -1, row = -1;
        bool operator==(const CursorCell&) const = default;
    };

    // Index of the claimed frame (now Building), or -1.
    int claim_frame(int64_t& serial);
    void complete(SoftwareFrame& frame, int64_t serial);
    void discard(SoftwareFrame& frame, int64_t serial);
    void end_steps();
    bool acknowledge_pause();

    // Each returns true when the frame was completed, false to discard.
    bool build_text(SoftwareFrame& frame, const ScreenImage& page);
    bool build_true_colour(SoftwareFrame& frame, const ScreenImage& page);
    bool build_indexed(SoftwareFrame& frame, ScreenImage& page);

    static bool size_buffer(SoftwareFrame& frame, int32_t width, int32_t height);

    Screen& screen_;
    const DisplayTables& tables_;
    DisplayState& display_;
    FrameRing& ring_;
    const DisplayOrder& order_;
    MessageBoxes& boxes_;
    Platform& platform_;

    // Change detection: what the last frame showed.
    std::vector<uint16_t> saved_cells_;  // attribute * 256 + character
    size_t saved_cells_bytes_ = size_t(-1);
    std::array<uint32_t, 256> saved_palette_{};
    std::vector<uint8_t> saved_image_;
    bool saved_image_sized_ = false;
    bool last_text_phase_ = false, last_cursor_phase_ = false;
    bool last_cursor_drawn_ = false;  // the newest frame shows the cursor lines
    CursorCell last_cursor_;
    std::vector<CellDraw> band_cells_;  // reused from row to row
};

}  // namespace quendrel
