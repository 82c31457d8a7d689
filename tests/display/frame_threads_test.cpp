// The frame builder on a thread of its own against the program thread and
// the presenter: the hand-overs that ThreadSanitizer checks.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "display/frame_fixture.h"
#include "runtime/display/font_select.h"

namespace quendrel {
namespace {

using namespace std::chrono_literals;

// Runs frame slots about every millisecond until destroyed, as the frame
// thread does every 32 ms.
class FrameThread {
public:
    explicit FrameThread(FrameBuilder& builder)
        : thread_([this, &builder] {
              while (!stop_.load()) {
                  builder.frame_slot();
                  ++slots;
                  std::this_thread::sleep_for(500us);
              }
          }) {}
    ~FrameThread() {
        stop_.store(true);
        thread_.join();
    }
    std::atomic<int> slots{0};

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class FrameThreadedTest : public FrameTest {};

TEST_F(FrameThreadedTest, BuilderAndPresenterHandFramesOver) {
    std::atomic<bool> stop{false};
    std::atomic<int> shown_frames{0};
    std::atomic<bool> broken{false};
    std::thread presenter([&] {
        int64_t last_serial = 0;
        uint64_t sum = 0;
        while (!stop.load()) {
            FrameRing::Promotion p = ring.promote_newest();
            int shown = 0;
            for (int i = 0; i < FrameRing::kFrames; ++i)
                shown += ring.frame(i).state() == FrameState::Shown;
            if (shown > 1) broken.store(true);
            if (p.next >= 0) {
                const SoftwareFrame& f = ring.frame(p.next);
                if (f.serial() < last_serial) broken.store(true);
                last_serial = f.serial();
                // Read the pixels as an upload would.
                for (int i = 0; i < f.width * f.height; i += 97) sum += f.pixels[size_t(i)];
                if (p.next != p.shown) ++shown_frames;
            }
            std::this_thread::sleep_for(200us);
        }
        EXPECT_NE(sum, 1u);
    });
    {
        FrameThread frames(builder);
        // The program thread prints meanwhile.
        for (int i = 0; i < 400; ++i) {
            store_cell(page(0), uint32_t(i * 7 % 2000),
                       text_cell(uint8_t('A' + i % 26), uint8_t(i % 127)));
            store_cursor(page(0), 1 + i % 25, 1 + i % 80);
            std::this_thread::sleep_for(100us);
        }
        while (frames.slots.load() < 50) std::this_thread::sleep_for(1ms);
    }
    stop.store(true);
    presenter.join();
    EXPECT_FALSE(broken.load());
    EXPECT_GT(shown_frames.load(), 5);
    EXPECT_TRUE(platform.boxes().empty());
}

TEST_F(FrameThreadedTest, SwitchToManualHandsTheBuilderToTheProgramThread) {
    FrameThread frames(builder);
    for (int round = 0; round < 20; ++round) {
        display.display_mode.store(-1);
        while (display.display_mode.load() != 0) std::this_thread::sleep_for(100us);
        // Only this thread builds now.
        int64_t before = ring.latest_frame_serial.load();
        store_cell(page(0), uint32_t(round), text_cell('#', 0x1F));
        builder.build_frame();
        int i = ring.most_recent_picture();
        ASSERT_GE(i, 0);
        EXPECT_EQ(ring.frame(i).serial(), ring.latest_frame_serial.load());
        EXPECT_GT(ring.latest_frame_serial.load(), before);
        std::this_thread::sleep_for(2ms);
        EXPECT_EQ(ring.latest_frame_serial.load(), ring.frame(i).serial())
            << "no automatic attempt";
        display.display_mode.store(1);
        std::this_thread::sleep_for(1ms);
    }
}

TEST_F(FrameThreadedTest, FontChangesPauseTheBuilderSoNoFrameMixesSizes) {
    run.display_started.store(1);
    FontSelector fonts(errors, tables, screen, display);
    std::atomic<bool> stop{false};
    std::atomic<bool> mixed{false};
    std::thread presenter([&] {
        while (!stop.load()) {
            FrameRing::Promotion p = ring.promote_newest();
            if (p.next >= 0) {
                const SoftwareFrame& f = ring.frame(p.next);
                if (f.width != 640 || (f.height != 400 && f.height != 200)) mixed.store(true);
            }
            std::this_thread::sleep_for(200us);
        }
    });
    {
        FrameThread frames(builder);
        for (int i = 0; i < 30; ++i) {
            fonts.select_font(i % 2 ? 8 : 16, 0, false);
            ASSERT_EQ(error(), 0);
            store_cell(page(0), uint32_t(i), text_cell('x', 7));
            std::this_thread::sleep_for(1ms);
        }
        EXPECT_EQ(display.pause_state.load(), 0);
    }
    stop.store(true);
    presenter.join();
    EXPECT_FALSE(mixed.load());
}

}  // namespace
}  // namespace quendrel
