#include "runtime/display/display_tables.h"

#include <algorithm>

#include "runtime/console/screen_image.h"
#include "runtime/display/glyphs_8x16.h"
#include "runtime/display/glyphs_8x8.h"

namespace quendrel {

namespace {

constexpr uint32_t kOpaque = 0xFF000000;

struct BuiltinFont {
    uint32_t number;
    uint8_t width, height;
};
constexpr BuiltinFont kBuiltinFonts[] = {
    {8, 8, 8}, {9, 16, 8}, {14, 8, 14}, {15, 16, 14}, {16, 8, 16}, {17, 16, 16},
};

}  // namespace

void DisplayTables::init_display_tables() {
    for (size_t i = 0; i < default_palette_256.size(); ++i)
        default_palette_256[i] = stored::default_palette_256[i] | kOpaque;
    for (size_t i = 0; i < default_palette_ega64.size(); ++i)
        default_palette_ega64[i] = stored::default_palette_ega64[i] | kOpaque;
    screen10_pseudo_colours = stored::screen10_pseudo_colours;
    glyphs_8x8 = stored::glyphs_8x8;
    glyphs_8x16 = stored::glyphs_8x16;
    for (const BuiltinFont& f : kBuiltinFonts) {
        font_cell_width[f.number] = f.width;
        font_cell_height[f.number] = f.height;
        font_flags[f.number] = kFontTextUsable;
    }
}

GlyphSource DisplayTables::glyph_source(uint32_t font, uint32_t code) const {
    if (code > 255) return {};
    switch (font) {
        case 8:
        case 9:
            return {glyphs_8x8.data() + 64 * code, font == 9};
        case 14:
        case 15:
            // The 14-line font drops the first and last row of the 16-line design.
            return {glyphs_8x16.data() + 128 * code + 8, font == 15};
        case 16:
        case 17:
            return {glyphs_8x16.data() + 128 * code, font == 17};
        default:
            return {};
    }
}

void DisplayTables::reset_image_palette(ScreenImage& image) const {
    uint32_t* pal = image.palette;
    if (image.bytes_per_unit == 4 || pal == nullptr) return;
    switch (image.mode) {
        case 1:
            pal[0] = default_palette_256[0];
            pal[1] = default_palette_256[3];
            pal[2] = default_palette_256[5];
            pal[3] = default_palette_256[7];
            break;
        case 2:
        case 11:
            pal[0] = 0x000000;
            pal[1] = 0xFFFFFF;
            break;
        case 9:
            for (int i = 0; i < 6; ++i) pal[i] = default_palette_ega64[i];
            pal[6] = default_palette_ega64[20];
            pal[7] = default_palette_ega64[7];
            for (int i = 0; i < 8; ++i) pal[8 + i] = default_palette_ega64[56 + i];
            break;
        case 10:
            // Entries 0-3 are refreshed from the pseudo-colours by the frame builder.
            pal[4] = 0;
            pal[5] = 4;
            pal[6] = 6;
            pal[7] = 8;
            break;
        case 13:
        case 256:
            std::copy(default_palette_256.begin(), default_palette_256.end(), pal);
            break;
        default:
            std::copy(default_palette_256.begin(), default_palette_256.begin() + 16, pal);
            break;
    }
}

}  // namespace quendrel
