#include <gtest/gtest.h>

#include <map>
#include <string>

#include "console/screen_fixture.h"

namespace quendrel {
namespace {

TEST_F(TextOutputTest, PrintWritesCharactersWithTheCurrentAttribute) {
    out.set_color(14, 1, 0, 3);
    print("Hi", true);
    EXPECT_EQ(row_text(page(0), 1, 1, 3), "Hi ");
    EXPECT_EQ(cell(page(0), 1, 1), 0x1E00 | 'H');
    EXPECT_EQ(cell(page(0), 1, 3), 0x0720);
    EXPECT_EQ(row(), 2);
    EXPECT_EQ(column(), 1);
    // The cells are the video memory itself.
    EXPECT_EQ(memory.read8(EmulatedMemory::kTextVideo + 2), 'i');
    EXPECT_EQ(memory.read8(EmulatedMemory::kTextVideo + 3), 0x1E);
}

TEST_F(TextOutputTest, AttributeArithmetic) {
    struct Case {
        uint32_t foreground, background;
        uint8_t attribute;
        uint32_t stored_background;
    };
    const Case cases[] = {
        {14, 1, 0x1E, 1}, {8, 0, 0x08, 0}, {20, 2, 0xA4, 2}, {7, 9, 0x17, 1}, {31, 15, 0xFF, 7},
    };
    for (const Case& c : cases) {
        at(3, 1);
        out.set_color(c.foreground, c.background, 0, 3);
        print("x", false);
        EXPECT_EQ(cell_attr(page(0), 3, 1), c.attribute) << c.foreground << " on " << c.background;
        EXPECT_EQ(dest().background, c.stored_background);
        EXPECT_EQ(dest().foreground, int32_t(c.foreground));
    }
}

TEST_F(TextOutputTest, SetColorOnTextErrorsChangeNothing) {
    out.set_color(4, 2, 0, 3);
    struct Case {
        uint32_t foreground, background, flags;
    };
    const Case cases[] = {{32, 0, 1}, {0xFFFFFFFF, 0, 1}, {1, 16, 2}, {1, 0xFFFFFFFF, 3}};
    for (const Case& c : cases) {
        out.set_color(c.foreground, c.background, 0, c.flags);
        EXPECT_EQ(error(), 5);
        clear_error();
    }
    EXPECT_EQ(dest().foreground, 4);
    EXPECT_EQ(dest().background, 2u);
    out.set_color(9, 0, 77, 5);  // the third argument is ignored on text
    EXPECT_EQ(error(), 0);
    EXPECT_EQ(dest().foreground, 9);
    out.set_color(1, 1, 0, 0);   // nothing given: nothing happens
    EXPECT_EQ(dest().foreground, 9);
}

TEST_F(TextOutputTest, SetColorOnPixelModes) {
    using Entries = std::vector<std::pair<int, uint32_t>>;
    struct Case {
        int32_t mode;
        uint32_t foreground, background, flags;
        int32_t error;
        int32_t stored_foreground;
        Entries palette;  // entries that change
    };
    const auto& p = tables.default_palette_256;
    const Case cases[] = {
        {1, 4, 0, 1, 0, 3, {{0, p[4]}}},
        {1, 0, 1, 2, 0, 3, {{1, p[3]}, {2, p[5]}, {3, p[7]}}},
        {1, 0, 2, 2, 0, 3, {{1, p[2]}, {2, p[4]}, {3, p[6]}}},
        {1, 16, 0, 1, 5, 3, {}},
        {2, 1, 9, 3, 0, 1, {{0, p[9]}}},
        {2, 2, 0, 1, 5, 1, {}},
        {7, 5, 12, 3, 0, 5, {{0, p[12]}}},
        {9, 3, 20, 3, 0, 3, {{0, tables.default_palette_ega64[20]}}},
        {9, 3, 64, 3, 5, 15, {}},
        {10, 2, 8, 3, 0, 2, {{4, 8}}},
        {10, 4, 0, 1, 5, 3, {}},
        {12, 15, 15, 3, 0, 15, {}},
        {13, 255, 200, 3, 0, 255, {}},
        {13, 1, 1, 7, 5, 15, {}},  // a third argument is an error
        {32, 0x80FF0000, 0xFF00FF00, 3, 0, int32_t(0x80FF0000), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode * 1000 + c.foreground);
        int32_t handle = screen.image_new(64, 64, c.mode, true);
        screen.set_destination(handle);
        const uint32_t background = dest().background;
        std::vector<uint32_t> expected;
        if (dest().palette) expected.assign(dest().palette, dest().palette + 256);
        out.set_color(c.foreground, c.background, 0, c.flags);
        EXPECT_EQ(error(), c.error);
        clear_error();
        EXPECT_EQ(dest().foreground, c.stored_foreground);
        // Modes 11, 12, 13, 256 and 32 store the background; the others
        // turn it into a palette change.
        const bool stores = c.error == 0 && (c.mode == 12 || c.mode == 13 || c.mode == 32);
        EXPECT_EQ(dest().background, stores ? c.background : background);
        if (dest().palette) {
            for (auto [entry, colour] : c.palette) expected[entry] = colour;
            EXPECT_EQ(std::vector<uint32_t>(dest().palette, dest().palette + 256), expected);
        }
    }
}

TEST_F(TextOutputTest, WrapAtTheRightEdge) {
    const std::string full(80, 'W');
    print(full, true);
    EXPECT_EQ(row(), 2);
    EXPECT_EQ(column(), 1);
    EXPECT_EQ(row_text(page(0), 1), full);

    at(5, 1);
    print(full, false);
    EXPECT_EQ(row(), 5);
    EXPECT_EQ(column(), 80);
    EXPECT_EQ(dest().wrap_pending, 1);
    EXPECT_EQ(out.current_column(), 1);
    EXPECT_EQ(out.current_row(), 6);
    print("", true);
    EXPECT_EQ(row(), 6);
    EXPECT_EQ(column(), 1);
    EXPECT_EQ(dest().wrap_pending, 0);

    at(8, 1);
    print(full, false);
    print("", false);  // an empty print without line end keeps waiting
    EXPECT_EQ(dest().wrap_pending, 1);
    print("Z", false);
    EXPECT_EQ(cell_char(page(0), 9, 1), 'Z');
    EXPECT_EQ(row(), 9);
    EXPECT_EQ(column(), 2);
}

TEST_F(TextOutputTest, LongTextWrapsCharacterByCharacter) {
    at(1, 75);
    print(std::string(10, 'L'), false);
    EXPECT_EQ(row_text(page(0), 1, 75), "LLLLLL");
    EXPECT_EQ(row_text(page(0), 2, 1, 5), "LLLL ");
    EXPECT_EQ(row(), 2);
    EXPECT_EQ(column(), 5);
}

TEST_F(TextOutputTest, ScrollingMovesOnlyTheView) {
    for (int c = 1; c <= 80; ++c)
        store_cell(page(0), uint32_t(24 * 80 + c - 1), text_cell('B', 0x4F));
    for (int i = 1; i <= 24; ++i) print("line " + std::to_string(i), true);
    EXPECT_EQ(row(), 24);
    EXPECT_EQ(column(), 1);
    EXPECT_EQ(row_text(page(0), 1, 1, 6), "line 2");
    EXPECT_EQ(row_text(page(0), 23, 1, 7), "line 24");
    EXPECT_EQ(row_text(page(0), 24, 1, 7), "       ");
    for (int i = 25; i <= 40; ++i) print("line " + std::to_string(i), true);
    EXPECT_EQ(row_text(page(0), 23, 1, 7), "line 40");
    for (int c = 1; c <= 80; ++c) ASSERT_EQ(cell(page(0), 25, c), text_cell('B', 0x4F));
}

TEST_F(TextOutputTest, ScrollBlanksWithTheCurrentAttributeAndFromBelowTheView) {
    out.set_color(15, 4, 0, 3);
    at(25, 1);  // the last row lies below the view
    print("bottom", true);
    EXPECT_EQ(row(), 24);
    EXPECT_EQ(row_text(page(0), 25, 1, 6), "bottom");
    EXPECT_EQ(cell(page(0), 24, 1), text_cell(' ', 0x4F));
    EXPECT_EQ(cell(page(0), 23, 1), 0x0720);
}

TEST_F(TextOutputTest, PrintFit) {
    struct Case {
        int column;
        bool new_line;
    };
    const Case cases[] = {{75, true}, {71, false}, {1, false}};
    for (const Case& c : cases) {
        at(10, c.column);
        TestString s("0123456789");
        out.print_fit(s.get());
        EXPECT_EQ(row(), c.new_line ? 11 : 10) << c.column;
        EXPECT_EQ(column(), c.new_line ? 1 : c.column);
    }
    at(10, 1);
    print(std::string(80, 'x'), false);  // waiting to wrap: no extra line
    TestString s("0123456789");
    out.print_fit(s.get());
    EXPECT_EQ(row(), 10);
}

TEST_F(TextOutputTest, Tabs) {
    struct Case {
        int from, to;
    };
    const Case cases[] = {{1, 9}, {8, 9}, {9, 17}, {2, 9}, {72, 73}};
    for (const Case& c : cases) {
        at(4, c.from);
        print("\t", false);
        EXPECT_EQ(column(), c.to) << c.from;
        EXPECT_EQ(row(), 4);
    }
    // A tab from column 80 wraps like any last-column character.
    at(4, 80);
    print("\tX", false);
    EXPECT_EQ(row(), 5);
    EXPECT_EQ(cell_char(page(0), 5, 1), 'X');
}

TEST_F(TextOutputTest, CursorControlCharacters) {
    struct Case {
        int row, column;
        char code;
        int to_row, to_column;
    };
    const Case cases[] = {
        {5, 10, 28, 5, 11},  {5, 80, 28, 6, 1},   {24, 80, 28, 24, 80}, {25, 79, 28, 25, 80},
        {5, 10, 29, 5, 9},   {5, 1, 29, 4, 80},   {1, 1, 29, 1, 1},     {25, 1, 29, 25, 1},
        {5, 10, 30, 4, 10},  {1, 10, 30, 1, 10},  {25, 10, 30, 25, 10},
        {5, 10, 31, 6, 10},  {24, 10, 31, 24, 10}, {25, 10, 31, 25, 10},
        {5, 10, 11, 1, 1},   {5, 10, 10, 6, 1},   {5, 10, 13, 6, 1},
    };
    for (const Case& c : cases) {
        at(c.row, c.column);
        print(std::string(1, c.code), false);
        EXPECT_EQ(row(), c.to_row) << int(c.code) << " at " << c.row << "," << c.column;
        EXPECT_EQ(column(), c.to_column) << int(c.code) << " at " << c.row << "," << c.column;
    }
    EXPECT_EQ(row_text(page(0), 5, 1), std::string(80, ' '));
}

TEST_F(TextOutputTest, ControlCharactersOffPrintsGlyphs) {
    out.set_control_chars(2);
    print("\x07\n\x1c", false);
    EXPECT_EQ(cell_char(page(0), 1, 1), 7);
    EXPECT_EQ(cell_char(page(0), 1, 2), 10);
    EXPECT_EQ(cell_char(page(0), 1, 3), 28);
    EXPECT_EQ(column(), 4);
    out.set_control_chars(1);
    EXPECT_EQ(out.control_chars_off, 0);
}

TEST_F(TextOutputTest, FormFeedClearsTheScreen) {
    print("abc", true);
    print("\x0c" "d", false);
    EXPECT_EQ(row_text(page(0), 1, 1, 3), "d  ");
    EXPECT_EQ(row(), 1);
    EXPECT_EQ(column(), 2);
}

TEST_F(TextOutputTest, BellPausesAQuarterSecondAndPrintsNothing) {
    platform.sleeps_advance_clock = true;
    uint32_t before = platform.clock_ms();
    at(3, 3);
    print("\x07", false);
    EXPECT_EQ(platform.clock_ms() - before, 250u);
    EXPECT_EQ(column(), 3);
    EXPECT_EQ(cell(page(0), 3, 3), 0x0720);
}

TEST_F(TextOutputTest, PrintZone) {
    struct Case {
        int from, to_row, to_column;
    };
    const Case cases[] = {{1, 3, 15}, {2, 3, 15}, {15, 3, 29}, {50, 3, 57}, {60, 3, 80}};
    for (const Case& c : cases) {
        at(3, c.from);
        out.print_zone();
        EXPECT_EQ(row(), c.to_row) << c.from;
        EXPECT_EQ(column(), c.to_column) << c.from;
    }
    at(3, 80);
    out.print_zone();  // one space in the last column: now waiting to wrap
    EXPECT_EQ(dest().wrap_pending, 1);
    out.print_zone();
    EXPECT_EQ(row(), 4);
    EXPECT_EQ(column(), 1);
    EXPECT_EQ(dest().wrap_pending, 0);
}

TEST_F(TextOutputTest, ClearScreen) {
    auto fill = [&] {
        for (uint32_t i = 0; i < 2000; ++i) store_cell(page(0), i, text_cell('#', 0x2E));
    };
    out.set_color(7, 1, 0, 3);
    struct Case {
        int32_t method;
        uint32_t colour, flags;
        uint8_t attribute;       // of the blanks
        bool view_blank, last_row_blank;
    };
    const Case cases[] = {
        {0, 0, 0, 0x17, true, true},   // nothing given: the view and the last row
        {0, 4, 2, 0x47, true, true},   // colour given: used only for the blanks
        {0, 0, 1, 0x17, true, true},   // method 0: everything
        {2, 0, 1, 0x17, true, false},  // method 2: the view only
        {1, 0, 1, 0x2E, false, false},  // method 1: nothing on a text image
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method * 100 + c.colour);
        fill();
        at(10, 10);
        out.clear_screen(c.method, c.colour, c.flags);
        EXPECT_EQ(error(), 0);
        EXPECT_EQ(row(), 1);
        EXPECT_EQ(column(), 1);
        const uint16_t blank = text_cell(' ', c.attribute), kept = text_cell('#', 0x2E);
        EXPECT_EQ(cell(page(0), 1, 1), c.view_blank ? blank : kept);
        EXPECT_EQ(cell(page(0), 24, 80), c.view_blank ? blank : kept);
        EXPECT_EQ(cell(page(0), 25, 40), c.last_row_blank ? blank : kept);
        EXPECT_EQ(dest().background, 1u);
    }
}

TEST_F(TextOutputTest, ClearScreenErrors) {
    struct Case {
        int32_t method;
        uint32_t colour, flags;
    };
    const Case cases[] = {{3, 0, 1}, {-1, 0, 1}, {0, 0x10000, 2}};
    print("keep", false);
    for (const Case& c : cases) {
        out.clear_screen(c.method, c.colour, c.flags);
        EXPECT_EQ(error(), 5);
        clear_error();
    }
    EXPECT_EQ(row_text(page(0), 1, 1, 4), "keep");
    EXPECT_EQ(column(), 5);
}

TEST_F(TextOutputTest, SetCursorRows) {
    at(25, 1);  // the last row is allowed on the start-up screen
    EXPECT_EQ(error(), 0);
    EXPECT_EQ(row(), 25);
    EXPECT_EQ(page(0).height, 25);
    EXPECT_EQ(screen.screen_untouched, 1);

    out.set_cursor(0, 0, 0, 0, 0, 1);
    EXPECT_EQ(error(), 5);
    clear_error();

    // Once the program has changed the screen, row 26 is an error.
    screen.screen_mode(0, 0, 0, 0, 0, 5);
    at(26, 1);
    EXPECT_EQ(error(), 5);
    EXPECT_EQ(row(), 25);
}

TEST_F(TextOutputTest, UntouchedScreenSwitchesTo50Rows) {
    out.set_color(14, 1, 0, 3);
    print("first row", false);
    at(25, 1);
    print("row 25", false);
    at(30, 5);
    EXPECT_EQ(error(), 0);
    EXPECT_EQ(page(0).height, 50);
    EXPECT_EQ(page(0).font, 8u);
    EXPECT_EQ(row(), 30);
    EXPECT_EQ(column(), 5);
    EXPECT_EQ(row_text(page(0), 1, 1, 9), "first row");
    EXPECT_EQ(row_text(page(0), 25, 1, 6), "row 25");
    EXPECT_EQ(cell(page(0), 26, 1), 0x0720);
    EXPECT_EQ(dest().foreground, 14);
    EXPECT_EQ(dest().background, 1u);
    EXPECT_EQ(screen.screen_untouched, 0);
}

TEST_F(TextOutputTest, UntouchedSwitchChecksItsOwnLimits) {
    struct Case {
        int32_t row, column;
        uint32_t flags;
    };
    const Case cases[] = {{51, 1, 1}, {30, 81, 3}};
    for (const Case& c : cases) {
        screen.screen_untouched = 1;
        out.set_cursor(c.row, c.column, 0, 0, 0, c.flags);
        EXPECT_EQ(error(), 5);
        clear_error();
        EXPECT_EQ(screen.screen_untouched, 0);
        EXPECT_EQ(page(0).height, 25);
    }
}

TEST_F(TextOutputTest, SetCursorShapeAndVisibility) {
    struct Case {
        int32_t column, visibility, start, stop;
        uint32_t flags;
    };
    const Case errors_cases[] = {
        {0, 0, 0, 0, 2}, {81, 0, 0, 0, 2}, {1, 2, 0, 0, 4}, {1, -1, 0, 0, 4},
        {1, 0, 32, 0, 8}, {1, 0, 0, -1, 16},
    };
    for (const Case& c : errors_cases) {
        out.set_cursor(0, c.column, c.visibility, c.start, c.stop, c.flags);
        EXPECT_EQ(error(), 5) << c.flags;
        clear_error();
    }
    out.set_cursor(0, 0, 1, 2, 0, 4 | 8);
    for (int p = 0; p < 8; ++p) {
        EXPECT_EQ(page(p).cursor_visible, 1) << p;
        EXPECT_EQ(page(p).cursor_start, 2) << p;
        EXPECT_EQ(page(p).cursor_stop, 4) << p;
    }
    int32_t handle = screen.image_new(80, 25, 0, true);
    screen.set_destination(handle);
    out.set_cursor(0, 0, 0, 0, 31, 4 | 16);
    EXPECT_EQ(dest().cursor_stop, 31);
    EXPECT_EQ(page(0).cursor_stop, 4);  // an image is not a screen page
    EXPECT_EQ(page(0).cursor_visible, 1);
}

TEST_F(TextOutputTest, CursorPlacementAndWrapPending) {
    print(std::string(80, 'x'), false);
    out.set_cursor(0, 0, 1, 0, 0, 4);  // neither row nor column
    EXPECT_EQ(dest().wrap_pending, 2);
    EXPECT_EQ(out.current_row(), 2);
    out.set_cursor(0, 7, 0, 0, 0, 2);
    EXPECT_EQ(dest().wrap_pending, 0);
    EXPECT_EQ(row(), 1);
    EXPECT_EQ(column(), 7);
    out.set_cursor(0, 0, 1, 0, 0, 4);
    EXPECT_EQ(dest().wrap_pending, 0);
}

TEST_F(TextOutputTest, ViewPrint) {
    out.view_print(5, 10, true);
    EXPECT_EQ(row(), 5);
    for (int i = 0; i < 8; ++i) print("v" + std::to_string(i), true);
    EXPECT_EQ(row(), 10);
    EXPECT_EQ(row_text(page(0), 5, 1, 2), "v3");
    EXPECT_EQ(row_text(page(0), 9, 1, 2), "v7");
    EXPECT_EQ(cell(page(0), 4, 1), 0x0720);
    EXPECT_EQ(cell(page(0), 11, 1), 0x0720);

    struct Case {
        int32_t top, bottom;
    };
    for (Case c : {Case{0, 10}, Case{10, 5}, Case{1, 26}}) {
        out.view_print(c.top, c.bottom, true);
        EXPECT_EQ(error(), 5);
        clear_error();
    }
    EXPECT_EQ(dest().view_top, 5);

    out.view_print(0, 0, false);
    EXPECT_EQ(dest().view_top, 1);
    EXPECT_EQ(dest().view_bottom, 25);  // the last row joins the view
    EXPECT_EQ(row(), 1);
}

TEST_F(TextOutputTest, NothingHappensWhileAnErrorIsPending) {
    run.pending_error.store(13);
    print("lost", true);
    out.clear_screen(0, 0, 0);
    out.set_color(1, 1, 0, 3);
    at(10, 10);
    EXPECT_EQ(cell(page(0), 1, 1), 0x0720);
    EXPECT_EQ(row(), 1);
    EXPECT_EQ(dest().foreground, 7);
    EXPECT_EQ(error(), 13);
}

TEST_F(TextOutputTest, ConsoleImagesWriteToStandardOutput) {
    dest().is_console = 1;
    print("HELLO", true);
    print("A\tB", false);
    out.print_zone();
    EXPECT_EQ(console.str(), "HELLO\nA\tB ");
    EXPECT_EQ(cell(page(0), 1, 1), 0x0720);
    EXPECT_EQ(row(), 1);
}

class FakeSoftKeys : public SoftKeyTexts {
public:
    std::string_view soft_key_text(int32_t key) const override {
        auto it = texts.find(key);
        return it == texts.end() ? std::string_view() : std::string_view(it->second);
    }
    std::map<int32_t, std::string> texts;
};

TEST_F(TextOutputTest, SoftKeyLine) {
    FakeSoftKeys keys;
    keys.texts = {{1, "LIST"}, {2, "RUN\r"}, {10, "SCREEN"}, {3, "LONGER THAN IT"}};
    out.set_soft_key_texts(&keys);
    at(12, 7);
    out.soft_keys_on();
    const ScreenImage& p = page(0);
    EXPECT_EQ(row_text(p, 25, 1, 8), "1LIST   ");
    EXPECT_EQ(cell_attr(p, 25, 1), 0x07);
    EXPECT_EQ(cell_attr(p, 25, 2), 0x70);
    EXPECT_EQ(cell_attr(p, 25, 8), 0x70);
    EXPECT_EQ(row_text(p, 25, 9, 8), std::string("2RUN") + char(27) + "   ");
    EXPECT_EQ(row_text(p, 25, 17, 8), "3LONGER ");
    EXPECT_EQ(row_text(p, 25, 25, 8), "4       ");
    EXPECT_EQ(cell_attr(p, 25, 26), 0x07);
    EXPECT_EQ(row_text(p, 25, 73, 8), "10SCREEN");
    EXPECT_EQ(row(), 12);
    EXPECT_EQ(column(), 7);

    // A forced redraw repeats it with the current colours; on a coloured
    // background the labels reverse to 7 on 0.
    out.set_color(15, 1, 0, 3);
    out.clear_screen(0, 0, 0);
    EXPECT_EQ(cell_attr(p, 25, 1), 0x1F);
    EXPECT_EQ(cell_attr(p, 25, 2), 0x07);

    out.soft_keys_off();
    EXPECT_EQ(row_text(p, 25), std::string(80, ' '));
    EXPECT_EQ(cell_attr(p, 25, 1), 0x1F);
    // Off while off draws nothing.
    store_cell(page(0), 24 * 80, text_cell('Q', 7));
    out.soft_keys_off();
    out.redraw_soft_key_line();
    EXPECT_EQ(cell_char(p, 25, 1), 'Q');
}

TEST_F(TextOutputTest, SoftKeyLineOnNarrowAndWideScreens) {
    struct Case {
        int32_t columns;
        int label_width, labels;
    };
    const Case cases[] = {{40, 8, 5}, {120, 10, 12}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.columns);
        screen.set_width(c.columns, 25, 1);
        out.soft_keys_off();
        out.soft_keys_on();
        const ScreenImage& p = page(0);
        for (int k = 1; k <= c.labels; ++k) {
            int column = 1 + (k - 1) * c.label_width;
            EXPECT_EQ(row_text(p, 25, column, k < 10 ? 1 : 2), std::to_string(k));
        }
    }
}

}  // namespace
}  // namespace quendrel
