#include <gtest/gtest.h>

#include <tuple>

#include "display/frame_fixture.h"
#include "runtime/display/font_select.h"

namespace quendrel {
namespace {

using FrameBuilderTest = FrameTest;

TEST_F(FrameBuilderTest, BlankDefaultPageIsBlackAndTheCursorLineIsGrey) {
    ASSERT_TRUE(build());
    Picture blank = newest();
    ASSERT_EQ(blank.width, 640);
    ASSERT_EQ(blank.height, 400);
    for (uint32_t p : blank.pixels) ASSERT_EQ(p, kBlack);

    show_cursor();
    set_blink_phase(true);
    ASSERT_TRUE(build());
    Picture cursor = newest();
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(cursor.at(x, y), y == 14 ? kGrey : kBlack) << x << "," << y;
    EXPECT_EQ(cell_pixels_not(cursor, 1, 2, kBlack), 0);

    // The off phase erases it again.
    set_blink_phase(false);
    ASSERT_TRUE(build());
    EXPECT_EQ(newest(), blank);
}

TEST_F(FrameBuilderTest, OneCharacterRedrawsOnlyItsCell) {
    ASSERT_TRUE(build());
    Picture before = newest();
    at(5, 10);
    print("A", false);
    ASSERT_TRUE(build());
    Picture after = newest();
    int changed_inside = 0;
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 640; ++x) {
            bool inside = x >= 72 && x < 80 && y >= 64 && y < 80;
            if (!inside)
                ASSERT_EQ(after.at(x, y), before.at(x, y)) << x << "," << y;
            else
                changed_inside += after.at(x, y) != before.at(x, y);
        }
    EXPECT_GT(changed_inside, 10);
    EXPECT_EQ(cell_pixels_not(after, 5, 10, kBlack), changed_inside);
}

TEST_F(FrameBuilderTest, UnchangedPageIsDiscardedButStillAdvancesTheSerial) {
    ASSERT_TRUE(build());
    int64_t shown = newest_serial();
    EXPECT_FALSE(build());
    EXPECT_EQ(newest_serial(), shown);
    EXPECT_GT(ring.latest_frame_serial.load(), shown);
    for (int i = 0; i < FrameRing::kFrames; ++i)
        EXPECT_NE(ring.frame(i).state(), FrameState::Building);
}

TEST_F(FrameBuilderTest, BlinkingCellAlternatesEveryEightSlots) {
    out.set_color(14 + 16, 1, 0, 3);  // attribute 0x9E
    at(1, 1);
    print("X", false);
    ASSERT_EQ(cell_attr(page(0), 1, 1), 0x9E);
    std::vector<bool> visible;
    std::vector<int64_t> serials;
    for (int s = 0; s < 32; ++s) {
        slot();
        Picture p = newest();
        visible.push_back(cell_pixels_not(p, 1, 1, kBlue) > 0);
        serials.push_back(newest_serial());
        // Whatever the phase, the background stays blue.
        EXPECT_EQ(p.at(0, 0), kBlue);
    }
    for (int s = 0; s < 32; ++s) EXPECT_EQ(visible[s], (s / 8) % 2 == 0) << "slot " << s;
    // A new frame only where the phase turns.
    for (int s = 1; s < 32; ++s) EXPECT_EQ(serials[s] != serials[s - 1], s % 8 == 0) << s;
    // In the visible phase the character is yellow on blue.
    display.blink_counter.store(0);
    display.invalidate_previous_frame();
    ASSERT_TRUE(build());
    Picture shown = newest();
    EXPECT_EQ(cell_pixels_not(shown, 1, 1, kBlue) + cell_pixels_not(shown, 1, 1, kYellow), 128);
}

// A phase step that changes no pixel (no blinking cell, no cursor shown or
// left on screen) is discarded like an unchanged page.
TEST_F(FrameBuilderTest, APhaseStepThatChangesNoPixelMakesNoFrame) {
    set_blink_phase(false);
    ASSERT_TRUE(build());
    const Picture blank = newest();
    set_blink_phase(true);
    EXPECT_FALSE(build()) << "hidden cursor, nothing blinking";
    set_blink_phase(false);
    EXPECT_FALSE(build());

    show_cursor();
    set_blink_phase(true);
    ASSERT_TRUE(build());
    EXPECT_EQ(cell_pixels_not(newest(), 1, 1, kBlack), 8);
    // Hidden while its lines are on screen: the next step must erase them.
    hide_cursor();
    set_blink_phase(false);
    ASSERT_TRUE(build());
    EXPECT_EQ(newest(), blank);
    set_blink_phase(true);
    EXPECT_FALSE(build());

    out.set_color(14 + 16, 1, 0, 3);
    at(2, 2);
    print("X", false);
    ASSERT_TRUE(build());
    set_blink_phase(false);
    EXPECT_TRUE(build()) << "a blinking cell changes with the phase";
}

TEST_F(FrameBuilderTest, OnlyThreeBitsSelectTheBackground) {
    store_cell(page(0), 0, text_cell(' ', 0xF0));
    set_blink_phase(false);
    ASSERT_TRUE(build());
    EXPECT_EQ(cell_pixels_not(newest(), 1, 1, kGrey), 0);
}

TEST_F(FrameBuilderTest, MovingTheCursorAloneMakesAFrame) {
    show_cursor();
    set_blink_phase(true);
    at(3, 3);
    ASSERT_TRUE(build());
    Picture first = newest();
    EXPECT_EQ(cell_pixels_not(first, 3, 3, kBlack), 8);
    at(4, 7);
    ASSERT_TRUE(build());
    Picture moved = newest();
    EXPECT_EQ(cell_pixels_not(moved, 3, 3, kBlack), 0);
    EXPECT_EQ(cell_pixels_not(moved, 4, 7, kBlack), 8);
    EXPECT_EQ(moved.at(6 * 8, 3 * 16 + 14), kGrey);
}

TEST_F(FrameBuilderTest, PendingWrapTwoDrawsTheCursorOnTheNextRow) {
    show_cursor();
    set_blink_phase(true);
    struct Case {
        int row, cursor_row, cursor_column;
    } cases[] = {{5, 6, 1}, {25, 25, 80}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        store_cursor(page(0), c.row, 80);
        store_wrap_pending(page(0), 2);
        ASSERT_TRUE(build());
        Picture p = newest();
        EXPECT_EQ(cell_pixels_not(p, c.cursor_row, c.cursor_column, kBlack), 8);
        EXPECT_EQ(cell_pixels_not(p, c.row, 80, kBlack), c.row == 25 ? 8 : 0);
    }
}

TEST(CursorLinesTest, FollowsTheStartAndStopTable) {
    struct Case {
        int start, stop, height, first, count;
    } cases[] = {
        {0, 0, 16, 0, 1},  {3, 0, 16, 0, 0},    {9, 5, 16, 5, 11},  {2, 2, 16, 2, 1},
        {4, 4, 16, 14, 1}, {4, 4, 8, 7, 1},     {1, 3, 16, 1, 3},   {0, 7, 16, 0, 16},
        {2, 3, 16, 2, 2},  {2, 4, 16, 12, 3},   {2, 4, 8, 5, 3},    {2, 9, 16, 2, 14},
        {6, 7, 16, 13, 2}, {12, 13, 16, 13, 2}, {5, 7, 16, 12, 3},  {3, 9, 16, 8, 8},
        {3, 9, 14, 7, 7},  {20, 10, 16, 10, 6}, {31, 20, 16, 0, 0}, {0, 31, 8, 0, 8},
    };
    for (const Case& c : cases) {
        CursorLines lines = cursor_lines(c.start, c.stop, c.height);
        EXPECT_EQ(std::tie(lines.first, lines.count), std::tie(c.first, c.count))
            << "S=" << c.start << " E=" << c.stop << " ch=" << c.height;
    }
}

TEST_F(FrameBuilderTest, FontChangeToEightLinesDrawsAHalfHeightFrameInFull) {
    at(2, 1);
    print("Hello", false);
    ASSERT_TRUE(build());
    FontSelector fonts(errors, tables, screen, display);
    fonts.select_font(8, 0, false);
    ASSERT_EQ(error(), 0);
    ASSERT_TRUE(build());
    Picture small = newest();
    ASSERT_EQ(small.width, 640);
    ASSERT_EQ(small.height, 200);
    // "H" at row 2 is drawn from the 8-line font at y 8-15.
    int lit = 0;
    for (int y = 8; y < 16; ++y)
        for (int x = 0; x < 8; ++x) lit += small.at(x, y) == kGrey;
    EXPECT_GT(lit, 8);
    for (int x = 0; x < 640; ++x) EXPECT_EQ(small.at(x, 199), kBlack);
}

TEST_F(FrameBuilderTest, PaletteChangeRedrawsEveryCell) {
    at(1, 1);
    print("Hi", false);
    ASSERT_TRUE(build());
    store_shared(page(0).palette[0], 0xFF112233u);
    ASSERT_TRUE(build());
    Picture p = newest();
    EXPECT_EQ(p.at(639, 399), 0xFF112233u);
    EXPECT_EQ(p.at(0, 0), 0xFF112233u);
}

TEST_F(FrameBuilderTest, SoftwareScreenOutOfTheOrderBuildsNothingOnceValid) {
    ASSERT_TRUE(build());
    order.set_display_order({kLayerHardware, 0, 0, 0});
    print("changed", false);
    EXPECT_FALSE(build());
    // A frame that must be drawn whole is still built.
    display.invalidate_previous_frame();
    EXPECT_TRUE(build());
}

TEST_F(FrameBuilderTest, ManualModeBuildsOnlyWhenAsked) {
    // The switch to manual waits for one last automatic attempt.
    display.display_mode.store(-1);
    slot();
    EXPECT_EQ(display.display_mode.load(), 0);
    int64_t shown = newest_serial();
    print("not yet shown", false);
    for (int s = 0; s < 20; ++s) slot();
    EXPECT_EQ(newest_serial(), shown);
    EXPECT_EQ(display.blink_counter.load(), 21u);
    // display_frame's own attempts: at most one frame each.
    EXPECT_TRUE(build());
    EXPECT_FALSE(build());
    EXPECT_EQ(display.display_mode.load(), 0);
}

TEST_F(FrameBuilderTest, PauseRequestIsAcknowledgedAndNothingIsRead) {
    display.pause_state.store(1);
    int64_t latest = ring.latest_frame_serial.load();
    builder.build_frame();
    EXPECT_EQ(display.pause_state.load(), 2);
    builder.build_frame();
    EXPECT_EQ(ring.latest_frame_serial.load(), latest);
    EXPECT_EQ(ring.most_recent_picture(), -1);
    display.pause_state.store(0);
    EXPECT_TRUE(build());
}

TEST_F(FrameBuilderTest, SwitchToManualFinishesEvenWhilePaused) {
    display.pause_state.store(2);
    display.display_mode.store(-1);
    builder.build_frame();
    EXPECT_EQ(display.display_mode.load(), 0);
}

class FrameRingTest : public ::testing::Test {
protected:
    void set(int i, FrameState state, int64_t serial) {
        ring.frame(i).tag.store(SoftwareFrame::pack(state, serial));
    }
    FrameRing ring;
};

TEST_F(FrameRingTest, PromotionShowsTheNewestAndFreesOlderPictures) {
    set(0, FrameState::Shown, 3);
    set(1, FrameState::Ready, 4);
    set(2, FrameState::Ready, 5);
    FrameRing::Promotion p = ring.promote_newest();
    EXPECT_EQ(p.shown, 0);
    EXPECT_EQ(p.next, 2);
    EXPECT_EQ(ring.frame(0).state(), FrameState::Free);
    EXPECT_EQ(ring.frame(1).state(), FrameState::Free);
    EXPECT_EQ(ring.frame(2).state(), FrameState::Shown);
    // Nothing newer: the Shown frame stays.
    p = ring.promote_newest();
    EXPECT_EQ(p.shown, 2);
    EXPECT_EQ(p.next, 2);
}

TEST_F(FrameRingTest, ABuildingFrameIsNeverTouchedAndNoPictureMeansNone) {
    set(0, FrameState::Building, 9);
    EXPECT_EQ(ring.promote_newest().next, -1);
    set(1, FrameState::Ready, 8);
    set(2, FrameState::Shown, 7);
    EXPECT_EQ(ring.promote_newest().next, 1);
    EXPECT_EQ(ring.frame(0).state(), FrameState::Building);
    EXPECT_EQ(ring.frame(2).state(), FrameState::Free);
}

TEST_F(FrameBuilderTest, ClaimPrefersTheHighestFreeFrameThenDropsTheOldestReady) {
    for (int s = 1; s <= 3; ++s) {
        print("x", false);
        ASSERT_TRUE(build());
        EXPECT_EQ(ring.frame(3 - s).serial(), s) << "free frames are taken from the top";
    }
    // Nothing was shown: the oldest Ready frame is dropped for the next one.
    print("y", false);
    ASSERT_TRUE(build());
    EXPECT_EQ(ring.frame(2).serial(), 4);
    EXPECT_EQ(ring.frame(2).state(), FrameState::Ready);
    EXPECT_EQ(ring.frame(1).serial(), 2);
}

TEST_F(FrameBuilderTest, TrueColourPageIsCopiedAndUnchangedOnesDiscarded) {
    int32_t handle = screen.image_new(4, 3, 32, true);
    screen.screen_mode(handle, 0, 0, 0, 0, 1);
    ASSERT_EQ(error(), 0);
    ScreenImage& image = *screen.display_page();
    auto* px = reinterpret_cast<uint32_t*>(image.data);
    for (int i = 0; i < 12; ++i) px[i] = 0xFF000000u | uint32_t(i * 0x10203);
    ASSERT_TRUE(build());
    Picture p = newest();
    ASSERT_EQ(p.width, 4);
    ASSERT_EQ(p.height, 3);
    EXPECT_EQ(p.pixels, std::vector<uint32_t>(px, px + 12));
    EXPECT_FALSE(build());
    display.force_new_frame.store(1);
    EXPECT_TRUE(build());
    EXPECT_EQ(display.force_new_frame.load(), 0);
    px[5] = 0xFFFFFFFF;
    EXPECT_TRUE(build());
    EXPECT_EQ(newest().at(1, 1), 0xFFFFFFFFu);
}

TEST_F(FrameBuilderTest, IndexedPageGoesThroughItsPalette) {
    int32_t handle = screen.image_new(3, 2, 13, true);
    screen.screen_mode(handle, 0, 0, 0, 0, 1);
    ASSERT_EQ(error(), 0);
    ScreenImage& image = *screen.display_page();
    const uint8_t bytes[6] = {0, 1, 2, 15, 40, 255};
    std::memcpy(image.data, bytes, 6);
    ASSERT_TRUE(build());
    Picture p = newest();
    for (int i = 0; i < 6; ++i) EXPECT_EQ(p.pixels[size_t(i)], image.palette[bytes[i]]) << i;
    EXPECT_FALSE(build());
    image.palette[40] = 0xFF123456;
    ASSERT_TRUE(build());
    EXPECT_EQ(newest().at(1, 1), 0xFF123456u);
}

TEST_F(FrameBuilderTest, ModeTenRefreshesItsPseudoColoursEvery512Ms) {
    int32_t handle = screen.image_new(4, 1, 10, true);
    screen.screen_mode(handle, 0, 0, 0, 0, 1);
    ASSERT_EQ(error(), 0);
    ScreenImage& image = *screen.display_page();
    const uint8_t bytes[4] = {0, 1, 2, 3};
    std::memcpy(image.data, bytes, 4);
    // Entries 4-7 name pseudo-colours 0, 4, 6, 8, which the two phases show
    // as black/black, grey/grey, white/black and white/white.
    platform.set_clock_ms(0);
    ASSERT_TRUE(build());
    EXPECT_EQ(newest().pixels, (std::vector<uint32_t>{0x000000, 0x808080, 0xFFFFFF, 0xFFFFFF}));
    platform.set_clock_ms(512);
    ASSERT_TRUE(build());
    EXPECT_EQ(newest().pixels, (std::vector<uint32_t>{0x000000, 0x808080, 0x000000, 0xFFFFFF}));
    platform.set_clock_ms(700);
    EXPECT_FALSE(build());
}

}  // namespace
}  // namespace quendrel
