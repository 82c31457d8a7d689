#include <gtest/gtest.h>

#include <vector>

#include "console/screen_fixture.h"
#include "runtime/display/display_tables.h"
#include "runtime/display/font_select.h"

namespace quendrel {
namespace {

class DisplayTablesTest : public ::testing::Test {
protected:
    DisplayTablesTest() { tables.init_display_tables(); }

    // Glyph rows from a source as bit patterns, leftmost pixel = MSB.
    static std::vector<int> rows(GlyphSource source, int count) {
        std::vector<int> out;
        for (int r = 0; r < count; ++r) {
            int bits = 0;
            for (int c = 0; c < 8; ++c)
                if (source.first[r * 8 + c]) bits |= 0x80 >> c;
            out.push_back(bits);
        }
        return out;
    }

    // The packed set (one byte per glyph row) hashed with FNV-1a 64.
    template <size_t N>
    static uint64_t packed_digest(const std::array<uint8_t, N>& glyphs) {
        uint64_t h = 0xCBF29CE484222325ull;
        for (size_t row = 0; row < N / 8; ++row) {
            uint8_t bits = 0;
            for (int c = 0; c < 8; ++c)
                if (glyphs[row * 8 + c]) bits |= uint8_t(0x80 >> c);
            h = (h ^ bits) * 0x100000001B3ull;
        }
        return h;
    }

    DisplayTables tables;
};

TEST_F(DisplayTablesTest, CharacterAInEachBuiltinFont) {
    const std::vector<int> a16 = {0x00, 0x00, 0x10, 0x38, 0x6C, 0xC6, 0xC6, 0xFE,
                                  0xC6, 0xC6, 0xC6, 0xC6, 0x00, 0x00, 0x00, 0x00};
    const std::vector<int> a14(a16.begin() + 1, a16.end() - 1);
    const std::vector<int> a8 = {0x30, 0x78, 0xCC, 0xCC, 0xFC, 0xCC, 0xCC, 0x00};
    struct Case {
        uint32_t font;
        int rows;
        std::vector<int> expected;
        bool doubled;
    };
    const Case cases[] = {
        {16, 16, a16, false}, {17, 16, a16, true}, {14, 14, a14, false},
        {15, 14, a14, true},  {8, 8, a8, false},   {9, 8, a8, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.font);
        GlyphSource source = tables.glyph_source(c.font, 65);
        ASSERT_NE(source.first, nullptr);
        EXPECT_EQ(rows(source, c.rows), c.expected);
        EXPECT_EQ(source.doubled, c.doubled);
        EXPECT_EQ(tables.font_cell_height[c.font], c.rows);
        EXPECT_EQ(tables.font_cell_width[c.font], c.doubled ? 16 : 8);
        EXPECT_EQ(tables.font_flags[c.font], kFontTextUsable);
    }
}

TEST_F(DisplayTablesTest, OnlyTheSixBuiltinFontsExist) {
    for (uint32_t font = 0; font <= kLastBuiltinFontNumber; ++font) {
        bool builtin =
            font == 8 || font == 9 || font == 14 || font == 15 || font == 16 || font == 17;
        EXPECT_EQ(tables.is_builtin_font(font), builtin) << font;
        EXPECT_EQ(tables.glyph_source(font, 65).first != nullptr, builtin) << font;
    }
    EXPECT_EQ(tables.glyph_source(16, 256).first, nullptr);
    EXPECT_FALSE(tables.is_builtin_font(40));
}

TEST_F(DisplayTablesTest, GlyphSetsMatchThePublicBitmaps) {
    // Digests of the packed IBM code page 437 ROM sets (8x8 PC BIOS, VGA
    // 8x16), taken from the public bitmaps the tables are generated from.
    EXPECT_EQ(packed_digest(tables.glyphs_8x8), 0x522A2D7EA9992548ull);
    EXPECT_EQ(packed_digest(tables.glyphs_8x16), 0x514AAFC19F0EBA2Eull);
    for (uint8_t b : tables.glyphs_8x8) ASSERT_TRUE(b == 0 || b == 255);
    for (uint8_t b : tables.glyphs_8x16) ASSERT_TRUE(b == 0 || b == 255);
    struct Set {
        const uint8_t* data;
        int bytes_per_glyph;
    };
    for (Set set : {Set{tables.glyphs_8x8.data(), 64}, Set{tables.glyphs_8x16.data(), 128}}) {
        for (int code : {0, 32, 255})
            for (int i = 0; i < set.bytes_per_glyph; ++i)
                EXPECT_EQ(set.data[code * set.bytes_per_glyph + i], 0) << code;
        for (int i = 0; i < set.bytes_per_glyph; ++i)
            EXPECT_EQ(set.data[219 * set.bytes_per_glyph + i], 255);
    }
}

TEST_F(DisplayTablesTest, DefaultPalette256) {
    struct Case {
        int entry;
        uint32_t colour;
    };
    const Case cases[] = {
        {0, 0xFF000000}, {6, 0xFFAA5500}, {7, 0xFFAAAAAA}, {14, 0xFFFFFF55}, {15, 0xFFFFFFFF},
        {16, 0xFF000000}, {23, 0xFF616161}, {31, 0xFFFFFFFF},
        {32, 0xFF0000FF},   // ring 0 starts on blue
        {33, 0xFF4100FF},   // ring 0, (1,0,4)
        {40, 0xFFFF0000},   // ring 0, (4,0,0)
        {44, 0xFFFFFF00},   // ring 0, (4,4,0)
        {55, 0xFF0041FF},   // ring 0, (0,1,4)
        {105, 0xFF1C0071},  // ring 3, (1,0,4)
        {140, 0xFF717139},  // ring 4, (4,4,0)
        {247, 0xFF2D3141},  // ring 8, (0,1,4)
        {248, 0xFF000000}, {255, 0xFF000000},
    };
    for (const Case& c : cases) EXPECT_EQ(tables.default_palette_256[c.entry], c.colour) << c.entry;
    for (uint32_t colour : tables.default_palette_256) EXPECT_EQ(colour >> 24, 0xFFu);
    // The stored table carries no alpha; the working copy gets it.
    EXPECT_EQ(stored::default_palette_256[6], 0xAA5500u);
}

TEST_F(DisplayTablesTest, EgaPaletteAndPseudoColours) {
    struct Case {
        int entry;
        uint32_t colour;
    };
    const Case ega[] = {{0, 0xFF000000}, {1, 0xFF0000AA}, {7, 0xFFAAAAAA}, {20, 0xFFAA5500},
                        {56, 0xFF555555}, {63, 0xFFFFFFFF}};
    for (const Case& c : ega) EXPECT_EQ(tables.default_palette_ega64[c.entry], c.colour) << c.entry;
    const uint32_t phase0[9] = {0,        0,        0,        0x808080, 0x808080,
                                0x808080, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF};
    const uint32_t phase1[9] = {0,        0x808080, 0xFFFFFF, 0,       0x808080,
                                0xFFFFFF, 0,        0x808080, 0xFFFFFF};
    for (int c = 0; c < 9; ++c) {
        EXPECT_EQ(tables.screen10_pseudo_colours[c], phase0[c]);
        EXPECT_EQ(tables.screen10_pseudo_colours[9 + c], phase1[c]);
    }
}

TEST_F(DisplayTablesTest, ResetImagePaletteByKind) {
    constexpr uint32_t kMark = 0x12345678;
    const auto& p = tables.default_palette_256;
    const auto& e = tables.default_palette_ega64;
    using Entries = std::vector<std::pair<int, uint32_t>>;
    // count entries from `first` taken from table entries from `from`.
    auto run = [](int first, int count, const uint32_t* table, int from) {
        Entries out;
        for (int i = 0; i < count; ++i) out.push_back({first + i, table[from + i]});
        return out;
    };
    auto join = [](Entries a, const Entries& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    struct Case {
        uint16_t mode;
        uint8_t bytes_per_unit;
        Entries changed;  // every other entry keeps its value
    };
    const Case cases[] = {
        {1, 1, {{0, p[0]}, {1, p[3]}, {2, p[5]}, {3, p[7]}}},
        {2, 1, {{0, 0x000000}, {1, 0xFFFFFF}}},
        {11, 1, {{0, 0x000000}, {1, 0xFFFFFF}}},
        {9, 1,
         join(join(run(0, 6, e.data(), 0), {{6, e[20]}, {7, e[7]}}), run(8, 8, e.data(), 56))},
        {10, 1, {{4, 0}, {5, 4}, {6, 6}, {7, 8}}},
        {0, 2, run(0, 16, p.data(), 0)},
        {12, 1, run(0, 16, p.data(), 0)},
        {13, 1, run(0, 256, p.data(), 0)},
        {256, 1, run(0, 256, p.data(), 0)},
        {32, 4, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        std::vector<uint32_t> palette(256, kMark);
        ScreenImage image{};
        image.mode = c.mode;
        image.bytes_per_unit = c.bytes_per_unit;
        image.palette = palette.data();
        tables.reset_image_palette(image);
        std::vector<uint32_t> expected(256, kMark);
        for (auto [entry, colour] : c.changed) expected[entry] = colour;
        EXPECT_EQ(palette, expected);
    }
}

class SelectFontTest : public ScreenTest {
protected:
    FontSelector fonts{errors, tables, screen, display};
};

TEST_F(SelectFontTest, ScreenPagesChangeTogetherUnderThePause) {
    run.display_started.store(1);
    display.previous_frame_valid.store(1);
    page(0).cursor_row = 5;
    {
        PauseAcknowledger builder(display);
        fonts.select_font(8, 0, false);
        EXPECT_EQ(builder.acknowledged.load(), 1);
    }
    EXPECT_EQ(error(), 0);
    EXPECT_EQ(display.pause_state.load(), 0);
    EXPECT_EQ(display.previous_frame_valid.load(), 0);
    for (int p = 0; p < 8; ++p) EXPECT_EQ(page(p).font, 8u) << p;
    // The cursor and view stay as they were.
    EXPECT_EQ(page(0).cursor_row, 5);
    EXPECT_EQ(page(0).view_bottom, 24);
}

TEST_F(SelectFontTest, NoPauseWithoutAutomaticFrames) {
    // Manual display mode builds frames on the program thread: no handshake,
    // so this must return although nothing acknowledges.
    run.display_started.store(1);
    display.display_mode.store(0);
    fonts.select_font(14, 1, true);
    EXPECT_EQ(display.pause_state.load(), 0);
    EXPECT_EQ(page(3).font, 14u);
}

TEST_F(SelectFontTest, ImageGetsFontWithCursorReset) {
    int32_t handle = screen.image_new(80, 25, 0, true);
    ScreenImage& image = *screen.image(-handle);
    image.cursor_row = 7;
    fonts.select_font(17, handle, true);
    EXPECT_EQ(image.font, 17u);
    EXPECT_EQ(image.cursor_row, 1);
    EXPECT_EQ(page(0).font, 16u);
}

TEST_F(SelectFontTest, Errors) {
    struct Case {
        uint32_t font;
        int32_t target;
        bool given;
        int32_t error;
    };
    const Case cases[] = {
        {10, 0, false, 258},  // not a built-in number
        {40, 0, false, 258},  // no fonts are loaded
        {16, -300, true, 258},
        {16, -1, true, 258},  // reserved slot
    };
    for (const Case& c : cases) {
        fonts.select_font(c.font, c.target, c.given);
        EXPECT_EQ(error(), c.error) << c.font << " " << c.target;
        clear_error();
    }
    EXPECT_EQ(page(0).font, 16u);
}

}  // namespace
}  // namespace quendrel
