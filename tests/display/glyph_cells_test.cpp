#include "runtime/display/glyph_cells.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace quendrel {
namespace {

// The vector versions must draw exactly what the portable one draws, for
// every built-in cell shape, blank cells and any non-zero glyph byte.
TEST(GlyphCellsTest, VectorVersionsMatchThePortableOne) {
    std::mt19937 random(7);
    std::vector<uint8_t> glyphs(4 * 16 * 8);
    for (uint8_t& g : glyphs) g = random() % 3 == 0 ? uint8_t(random()) : 0;
    struct Shape {
        int width, height;
        bool doubled;
    } shapes[] = {{8, 8, false}, {8, 14, false}, {8, 16, false},
                  {16, 8, true}, {16, 14, true}, {16, 16, true}};
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(::testing::Message() << shape.width << "x" << shape.height);
        const int stride = 5 * shape.width + 3;
        std::vector<CellDraw> cells = {
            {0, glyphs.data(), 0xFFFFFF55, 0xFF0000AA},
            {1, nullptr, 0xFFFFFFFF, 0xFF00AA00},
            {3, glyphs.data() + 128, 0xFF000000, 0xFFAAAAAA},
            {4, glyphs.data() + 256, 0x12345678, 0x9ABCDEF0},
        };
        std::vector<uint32_t> expected(size_t(stride) * size_t(shape.height), 0xDEADBEEF);
        std::vector<uint32_t> actual = expected;
        draw_cells_portable({expected.data(), stride, shape.width, shape.height, shape.doubled},
                            cells.data(), cells.size());
        // Column 2 is not drawn, nor the three pixels after the last cell.
        EXPECT_EQ(expected[size_t(2 * shape.width)], 0xDEADBEEFu);
        for (auto* version : {draw_cells_sse2, draw_cells_avx2}) {
            std::fill(actual.begin(), actual.end(), 0xDEADBEEF);
            if (!version({actual.data(), stride, shape.width, shape.height, shape.doubled},
                         cells.data(), cells.size()))
                continue;  // not on this processor
            EXPECT_EQ(actual, expected);
        }
    }
}

TEST(GlyphCellsTest, NonZeroBytesAreForeground) {
    const uint8_t glyph[8 * 8] = {0, 1, 2, 0x80, 0xFF, 0, 0, 7};
    std::vector<uint32_t> out(8 * 8);
    CellDraw cell{0, glyph, 1, 0};
    draw_cells({out.data(), 8, 8, 8, false}, &cell, 1);
    EXPECT_EQ(std::vector<uint32_t>(out.begin(), out.begin() + 8),
              (std::vector<uint32_t>{0, 1, 1, 1, 1, 0, 0, 1}));
}

}  // namespace
}  // namespace quendrel
