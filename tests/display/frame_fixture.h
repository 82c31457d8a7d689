// A started-up text screen with a frame ring and builder over it, plus the
// presenter's side of the ring hand-over, for tests without a window.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "console/screen_fixture.h"
#include "runtime/display/display_order.h"
#include "runtime/display/frame_builder.h"
#include "runtime/display/frame_ring.h"
#include "runtime/kernel/messages.h"

namespace quendrel {

struct Picture {
    int32_t width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
    bool operator==(const Picture&) const = default;
};

class FrameTest : public TextOutputTest {
protected:
    // One build attempt; true when it completed a new frame.
    bool build() {
        int64_t latest = ring.latest_frame_serial.load();
        builder.build_frame();
        EXPECT_GT(ring.latest_frame_serial.load(), latest) << "every attempt ends with a serial";
        return newest_serial() == ring.latest_frame_serial.load() && newest_serial() > latest;
    }
    // One build slot of the frame thread.
    void slot() { builder.frame_slot(); }

    // Serial of the newest picture (Ready or Shown), 0 when none.
    int64_t newest_serial() const {
        int i = ring.most_recent_picture();
        return i < 0 ? 0 : ring.frame(i).serial();
    }
    // The newest picture, taken over as the presenter would take it.
    Picture newest() { return picture(ring.promote_newest().next); }
    // The newest picture, left to the presenter.
    Picture latest_picture() const { return picture(ring.most_recent_picture()); }
    Picture picture(int index) const {
        Picture pic;
        if (index < 0) return pic;
        const SoftwareFrame& f = ring.frame(index);
        pic.width = f.width;
        pic.height = f.height;
        pic.pixels.assign(f.pixels.get(), f.pixels.get() + size_t(f.width) * size_t(f.height));
        return pic;
    }
    // Pixels of the 8 x 16 cell at 1-based (row, column) that differ from `colour`.
    static int cell_pixels_not(const Picture& p, int row, int column, uint32_t colour) {
        int n = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 8; ++x)
                n += p.at((column - 1) * 8 + x, (row - 1) * 16 + y) != colour;
        return n;
    }
    void set_blink_phase(bool on) { display.blink_counter.store(on ? 8 : 0); }
    void show_cursor() { out.set_cursor(0, 0, 1, 0, 0, 4); }
    void hide_cursor() { out.set_cursor(0, 0, 0, 0, 0, 4); }

    FrameRing ring;
    DisplayOrder order{errors};
    MessageBoxes boxes{platform};
    FrameBuilder builder{screen, tables, display, ring, order, boxes, platform};
};

constexpr uint32_t kBlack = 0xFF000000, kGrey = 0xFFAAAAAA, kBlue = 0xFF0000AA,
                   kYellow = 0xFFFFFF55;

}  // namespace quendrel
