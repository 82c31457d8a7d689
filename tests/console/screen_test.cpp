#include <gtest/gtest.h>

#include "console/screen_fixture.h"

namespace quendrel {
namespace {

TEST_F(ScreenTest, StartUpBuildsEightBlankTextPagesInVideoMemory) {
    for (uint32_t a = 0; a < Screen::kVideoBytes; a += 2) {
        ASSERT_EQ(memory.read8(EmulatedMemory::kTextVideo + a), 32) << a;
        ASSERT_EQ(memory.read8(EmulatedMemory::kTextVideo + a + 1), 7) << a;
    }
    ASSERT_EQ(screen.page_count(), 8);
    for (int p = 0; p < 8; ++p) {
        SCOPED_TRACE(p);
        ASSERT_EQ(screen.page_slot(p), 2 + p);
        const ScreenImage& s = page(p);
        EXPECT_EQ(s.data, memory.at(EmulatedMemory::kTextVideo + 4096 * p));
        EXPECT_EQ(s.width, 80);
        EXPECT_EQ(s.height, 25);
        EXPECT_EQ(s.is_text, 1);
        EXPECT_EQ(s.foreground, 7);
        EXPECT_EQ(s.background, 0u);
        EXPECT_EQ(s.cursor_row, 1);
        EXPECT_EQ(s.cursor_column, 1);
        EXPECT_EQ(s.cursor_visible, 0);
        EXPECT_EQ(s.cursor_start, 4);
        EXPECT_EQ(s.cursor_stop, 4);
        EXPECT_EQ(s.font, 16u);
        EXPECT_EQ(s.view_top, 1);
        EXPECT_EQ(s.view_bottom, 24);
        EXPECT_EQ(s.wrap_pending, 0);
        EXPECT_EQ(s.colour_mask, 0xFFFFu);
        EXPECT_TRUE(s.image_flags & kImageScreenPage);
        EXPECT_EQ(s.palette[6], 0xFFAA5500u);
    }
    EXPECT_EQ(screen.destination_slot(), 2);
    EXPECT_EQ(screen.source_image_slot(), 2);
    EXPECT_EQ(screen.display_page(), &page(0));
    EXPECT_EQ(screen.destination_handle(), -2);
    EXPECT_EQ(screen.screen_untouched, 1);
    for (auto [slot, size] : {std::pair{10, 16}, std::pair{11, 32}}) {
        const ScreenImage& picture = *screen.image(slot);
        EXPECT_EQ(picture.in_use, 1);
        EXPECT_EQ(picture.mode, 32);
        EXPECT_EQ(picture.bytes_per_unit, 4);
        EXPECT_EQ(picture.width, size);
        EXPECT_EQ(picture.palette, nullptr);
    }
}

TEST_F(ScreenTest, FirstProgramImageGetsHandleMinus12) {
    int32_t handle = screen.image_new(80, 25, 0, true);
    ASSERT_EQ(handle, -12);
    const ScreenImage& image = *screen.image(12);
    for (int r = 1; r <= 25; ++r)
        for (int c = 1; c <= 80; ++c) ASSERT_EQ(cell(image, r, c), 0x0720);
    EXPECT_EQ(image.view_bottom, 24);
    EXPECT_TRUE(image.image_flags & kImageOwnsData);
    EXPECT_FALSE(image.image_flags & kImageScreenPage);
    EXPECT_EQ(screen.image_width(handle, true), 80);
    EXPECT_EQ(screen.image_height(handle, true), 25);
}

TEST_F(ScreenTest, ImageNewArgumentErrors) {
    struct Case {
        int32_t width, height, mode;
        bool mode_given;
    };
    const Case cases[] = {{0, 25, 0, true}, {80, -1, 0, true}, {80, 25, 3, true},
                          {80, 25, 14, true}, {80, 25, 255, true}};
    for (const Case& c : cases) {
        EXPECT_EQ(screen.image_new(c.width, c.height, c.mode, c.mode_given), 0);
        EXPECT_EQ(error(), 5);
        clear_error();
    }
    EXPECT_EQ(screen.slots_handed_out(), 12u);
}

TEST_F(ScreenTest, PerModeValuesOfNewImages) {
    struct Case {
        int32_t mode;
        uint8_t bits, bytes;
        uint32_t font;
        int32_t foreground;
        uint32_t mask;
        int16_t view_bottom;  // for 320 x 200 pixels
    };
    const Case cases[] = {
        {1, 2, 1, 8, 3, 3, 24},          {2, 1, 1, 8, 1, 1, 24},
        {7, 4, 1, 8, 15, 15, 24},        {9, 4, 1, 14, 15, 15, 13},
        {10, 2, 1, 14, 3, 3, 13},        {11, 1, 1, 16, 1, 1, 11},
        {12, 4, 1, 16, 15, 15, 11},      {13, 8, 1, 8, 15, 255, 24},
        {256, 8, 1, 16, 15, 255, 11},    {32, 32, 4, 16, -1, 0xFFFFFFFF, 11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        int32_t handle = screen.image_new(320, 200, c.mode, true);
        ASSERT_LT(handle, 0);
        const ScreenImage& image = *screen.image(-handle);
        EXPECT_EQ(image.bits_per_unit, c.bits);
        EXPECT_EQ(image.bytes_per_unit, c.bytes);
        EXPECT_EQ(image.font, c.font);
        EXPECT_EQ(image.foreground, c.foreground);
        EXPECT_EQ(uint32_t(image.last_draw_colour), uint32_t(c.foreground));
        EXPECT_EQ(image.colour_mask, c.mask);
        EXPECT_EQ(image.view_bottom, c.view_bottom);
        EXPECT_EQ(image.is_text, 0);
        EXPECT_EQ(image.print_mode, 3);
        EXPECT_EQ(image.graphics.view_x2, 319);
        EXPECT_EQ(image.graphics.last_y, 100.0f);
        EXPECT_EQ(image.palette == nullptr, c.mode == 32);
        EXPECT_EQ(image.clear_colour, c.mode == 32 ? 0u : 0xFFFFFFFFu);
    }
}

TEST_F(ScreenTest, ImageWithoutModeCopiesTheDestination) {
    ScreenImage& d = dest();
    d.foreground = 14;
    d.background = 1;
    d.palette[3] = 0xFF123456;
    int32_t handle = screen.image_new(40, 10, 0, false);
    const ScreenImage& image = *screen.image(-handle);
    EXPECT_EQ(image.mode, 0);
    EXPECT_EQ(image.foreground, 14);
    EXPECT_EQ(image.background, 1u);
    EXPECT_EQ(image.palette[3], 0xFF123456u);
    EXPECT_NE(image.palette, d.palette);
}

TEST_F(ScreenTest, FreedSlotsAreReusedAndHandlesChecked) {
    int32_t slot = screen.image_slot_acquire();
    EXPECT_EQ(slot, 12);
    EXPECT_EQ(screen.image_slot_release(slot), 1);
    EXPECT_EQ(screen.image_slot_release(slot), 0);
    EXPECT_EQ(screen.image(slot)->in_use, 0);
    EXPECT_EQ(screen.image_slot_acquire(), slot);
    screen.image_slot_release(slot);
    int32_t a = screen.image_new(10, 10, 0, true);
    EXPECT_EQ(a, -slot);
    screen.image_free(-a);
    EXPECT_EQ(screen.image_new(10, 10, 0, true), a);

    struct Case {
        int32_t handle;
        int32_t error;
    };
    const Case cases[] = {{-1, 258}, {-200, 258}, {a, 0}, {3, 0}};
    for (const Case& c : cases) {
        screen.set_destination(c.handle);
        EXPECT_EQ(error(), c.error) << c.handle;
        clear_error();
    }
    EXPECT_EQ(screen.destination_slot(), screen.page_slot(3));
    EXPECT_EQ(screen.image_width(-200, true), 0);
    EXPECT_EQ(error(), 258);
}

TEST_F(ScreenTest, TableGrowthKeepsRecordsInPlace) {
    ScreenImage* shown = screen.display_page();
    int32_t last = 0;
    for (int i = 0; i < 4200; ++i) last = screen.image_slot_acquire();
    EXPECT_EQ(last, 12 + 4199);
    EXPECT_EQ(screen.display_page(), shown);
    EXPECT_EQ(shown->width, 80);
    EXPECT_EQ(screen.image(last)->in_use, 1);
}

TEST_F(ScreenTest, PageGetCreatesMissingPagesLikePage0) {
    int32_t slot = screen.page_get(9);
    ASSERT_EQ(screen.page_count(), 10);
    EXPECT_EQ(screen.page_slot(8), 0);
    ScreenImage& p9 = *screen.image(slot);
    EXPECT_EQ(p9.width, 80);
    EXPECT_EQ(p9.height, 25);
    EXPECT_EQ(p9.palette, page(0).palette);
    EXPECT_FALSE(p9.image_flags & kImageOwnsPalette);
    EXPECT_TRUE(p9.image_flags & kImageScreenPage);
    EXPECT_EQ(screen.page_get(9), slot);
}

TEST_F(ScreenTest, PageCopyRoundTrip) {
    ScreenImage& p0 = page(0);
    for (uint32_t i = 0; i < 2000; ++i) store_cell(p0, i, uint16_t(0x1E00 | (i % 200 + 32)));
    p0.cursor_row = 7;
    p0.cursor_column = 12;
    screen.page_copy(0, 1);
    for (uint32_t i = 0; i < 2000; ++i) store_cell(p0, i, 0x0720);
    screen.page_copy(1, 0);
    EXPECT_EQ(error(), 0);
    for (uint32_t i = 0; i < 2000; ++i)
        ASSERT_EQ(load_cell(p0, i), uint16_t(0x1E00 | (i % 200 + 32)));
    EXPECT_EQ(p0.cursor_row, 7);
    EXPECT_EQ(p0.cursor_column, 12);
    EXPECT_EQ(page(1).cursor_row, 1);
}

TEST_F(ScreenTest, PageCopyErrors) {
    int32_t narrow = screen.image_new(40, 25, 0, true);
    int32_t pixels = screen.image_new(80, 25, 13, true);
    int32_t two_colour = screen.image_new(80, 25, 11, true);
    struct Case {
        int32_t from, to, error;
    };
    const Case cases[] = {
        {narrow, 0, 5},        // 40 columns onto 80
        {0, pixels, 5},        // cells onto pixels
        {pixels, two_colour, 5},  // 256 colours onto 2
        {two_colour, pixels, 0},
        {-300, 0, 5},          // an invalid handle is error 5 here
        {0, 0, 0},
    };
    for (const Case& c : cases) {
        screen.page_copy(c.from, c.to);
        EXPECT_EQ(error(), c.error) << c.from << " " << c.to;
        clear_error();
    }
}

TEST_F(ScreenTest, ScreenModeArguments) {
    struct Case {
        int32_t mode, active, visual;
        uint32_t flags;
        int32_t error;
    };
    const Case cases[] = {
        {3, 0, 0, 1, 5}, {6, 0, 0, 1, 5}, {14, 0, 0, 1, 5}, {-300, 0, 0, 1, 258},
        {0, -1, 0, 4, 5}, {0, 0, -2, 8, 5},
    };
    for (const Case& c : cases) {
        screen.screen_mode(c.mode, 0, c.active, c.visual, 0, c.flags);
        EXPECT_EQ(error(), c.error) << c.mode;
        clear_error();
    }
    EXPECT_EQ(screen.page_slot(0), 2);
}

TEST_F(ScreenTest, ScreenUntouchedSurvivesOnlyThePlainTextModeCall) {
    screen.screen_mode(0, 0, 0, 0, 0, 1);
    EXPECT_EQ(screen.screen_untouched, 1);
    EXPECT_EQ(screen.page_slot(0), 2);  // same mode and size: nothing rebuilt
    screen.screen_mode(0, 0, 0, 0, 0, 5);
    EXPECT_EQ(screen.screen_untouched, 0);
}

TEST_F(ScreenTest, ActiveAndVisualPages) {
    page(2).foreground = 12;
    page(2).cursor_row = 25;
    screen.screen_mode(0, 0, 2, 0, 0, 4);
    EXPECT_EQ(screen.destination_slot(), screen.page_slot(2));
    EXPECT_EQ(screen.source_image_slot(), screen.page_slot(2));
    EXPECT_EQ(screen.display_page(), &page(2));  // the visual page follows
    EXPECT_EQ(screen.active_page(), 2);
    // The page reset: default colours, view to one row above the bottom.
    EXPECT_EQ(page(2).foreground, 7);
    EXPECT_EQ(page(2).cursor_row, 25);
    EXPECT_EQ(page(2).view_bottom, 24);

    screen.screen_mode(0, 0, 0, 3, 0, 8);
    EXPECT_EQ(screen.display_page(), &page(3));
    EXPECT_EQ(screen.destination_slot(), screen.page_slot(2));
}

TEST_F(ScreenTest, SetWidthRebuildsThePagesUnderThePause) {
    run.display_started.store(1);
    display.previous_frame_valid.store(1);
    memory.write8(EmulatedMemory::kTextVideo, 'X');
    {
        PauseAcknowledger builder(display);
        screen.set_width(80, 50, 2);
        EXPECT_EQ(builder.acknowledged.load(), 1);
    }
    EXPECT_EQ(display.pause_state.load(), 0);
    EXPECT_EQ(display.previous_frame_valid.load(), 0);
    EXPECT_EQ(screen.screen_untouched, 0);
    ASSERT_EQ(screen.page_count(), 8);
    for (int p = 0; p < 8; ++p) {
        EXPECT_EQ(page(p).data, memory.at(EmulatedMemory::kTextVideo + 8000 * p)) << p;
        EXPECT_EQ(page(p).height, 50);
        EXPECT_EQ(page(p).font, 8u);
        EXPECT_EQ(page(p).view_bottom, 49);
    }
    EXPECT_EQ(memory.read8(EmulatedMemory::kTextVideo), 32);
    EXPECT_EQ(screen.display_page(), &page(0));
}

TEST_F(ScreenTest, TextSizesAndTheirFonts) {
    struct Case {
        int32_t columns, rows;
        uint32_t font;
        uint32_t stride;
        int owned_pages;  // pages beyond what 64 KB of video memory holds
    };
    const Case cases[] = {
        {40, 25, 17, 2048, 0}, {80, 43, 14, 6880, 0}, {40, 50, 9, 4000, 0},
        {80, 25, 16, 4096, 0}, {132, 60, 8, 15840, 4}, {20, 42, 17, 1680, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.columns * 1000 + c.rows);
        screen.set_width(c.columns, c.rows, 3);
        ASSERT_EQ(error(), 0);
        EXPECT_EQ(page(0).width, c.columns);
        EXPECT_EQ(page(0).height, c.rows);
        EXPECT_EQ(page(0).font, c.font);
        EXPECT_EQ(page(1).data, memory.at(EmulatedMemory::kTextVideo + c.stride));
        int owned = 0;
        for (int p = 0; p < 8; ++p) owned += (page(p).image_flags & kImageOwnsData) != 0;
        EXPECT_EQ(owned, c.owned_pages);
    }
}

TEST_F(ScreenTest, SetWidthErrors) {
    struct Case {
        int32_t columns, rows;
        uint32_t flags;
    };
    const Case cases[] = {{80, 25, 0}, {0, 25, 1}, {80, 0, 2}, {-5, 25, 3}, {70000, 25, 1}};
    for (const Case& c : cases) {
        screen.set_width(c.columns, c.rows, c.flags);
        EXPECT_EQ(error(), 5);
        clear_error();
    }
    EXPECT_EQ(screen.screen_untouched, 0);
    EXPECT_EQ(page(0).width, 80);
}

TEST_F(ScreenTest, ProgramImageAsScreenPage) {
    int32_t handle = screen.image_new(320, 200, 13, true);
    screen.screen_mode(handle, 0, 0, 0, 0, 1);
    EXPECT_EQ(screen.page_slot(0), -handle);
    EXPECT_EQ(screen.page_count(), 1);
    EXPECT_EQ(screen.display_page(), screen.image(-handle));
    EXPECT_EQ(screen.destination_slot(), -handle);
    // Back to text mode: the image loses its screen role but lives on, and
    // its 40 x 25 character size is one the text screen keeps.
    screen.screen_mode(0, 0, 0, 0, 0, 1);
    EXPECT_EQ(screen.page_count(), 8);
    EXPECT_EQ(page(0).width, 40);
    EXPECT_EQ(page(0).font, 17u);
    EXPECT_EQ(screen.image(-handle)->in_use, 1);
    EXPECT_FALSE(screen.image(-handle)->image_flags & kImageScreenPage);
}

}  // namespace
}  // namespace quendrel
