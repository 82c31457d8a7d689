// Built-in glyph sets, font metrics and default palettes.
//
// The stored tables are constexpr data; init_display_tables copies them into
// the working tables every reader uses (palettes made opaque on the way), so
// a program that changes a working entry never touches the stored one.
#pragma once

#include <array>
#include <cstdint>

namespace quendrel {

struct ScreenImage;

// font_flags bit: the font may be used on a text page.
inline constexpr uint8_t kFontTextUsable = 16;
// Font numbers above this are loaded at run time.
inline constexpr uint32_t kLastBuiltinFontNumber = 31;

namespace stored {

// IBM VGA default 256-colour palette, 0x00RRGGBB.
constexpr std::array<uint32_t, 16> kTextColours = {
    0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA,
    0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF,
};
constexpr std::array<uint8_t, 16> kGreyRamp = {
    0x00, 0x14, 0x20, 0x2D, 0x39, 0x45, 0x51, 0x61,
    0x71, 0x82, 0x92, 0xA2, 0xB6, 0xCA, 0xE3, 0xFF,
};
// Five component levels of each of the nine colour rings.
constexpr std::array<std::array<uint8_t, 5>, 9> kRingLevels = {{
    {0x00, 0x41, 0x7D, 0xBE, 0xFF},
    {0x7D, 0x9E, 0xBE, 0xDF, 0xFF},
    {0xB6, 0xC6, 0xDB, 0xEB, 0xFF},
    {0x00, 0x1C, 0x39, 0x55, 0x71},
    {0x39, 0x45, 0x55, 0x61, 0x71},
    {0x51, 0x59, 0x61, 0x69, 0x71},
    {0x00, 0x10, 0x20, 0x31, 0x41},
    {0x20, 0x28, 0x31, 0x39, 0x41},
    {0x2D, 0x31, 0x35, 0x3D, 0x41},
}};
// (R, G, B) level indices of the 24 ring positions: blue, magenta, red,
// yellow, green, cyan and back towards blue.
constexpr std::array<std::array<uint8_t, 3>, 24> kRingPositions = {{
    {0, 0, 4}, {1, 0, 4}, {2, 0, 4}, {3, 0, 4}, {4, 0, 4}, {4, 0, 3}, {4, 0, 2}, {4, 0, 1},
    {4, 0, 0}, {4, 1, 0}, {4, 2, 0}, {4, 3, 0}, {4, 4, 0}, {3, 4, 0}, {2, 4, 0}, {1, 4, 0},
    {0, 4, 0}, {0, 4, 1}, {0, 4, 2}, {0, 4, 3}, {0, 4, 4}, {0, 3, 4}, {0, 2, 4}, {0, 1, 4},
}};

constexpr std::array<uint32_t, 256> make_palette_256() {
    std::array<uint32_t, 256> p{};
    for (int i = 0; i < 16; ++i) p[i] = kTextColours[i];
    for (int i = 0; i < 16; ++i) p[16 + i] = uint32_t(kGreyRamp[i]) * 0x010101u;
    for (int ring = 0; ring < 9; ++ring) {
        for (int j = 0; j < 24; ++j) {
            const auto& level = kRingLevels[ring];
            const auto& pos = kRingPositions[j];
            p[32 + 24 * ring + j] = uint32_t(level[pos[0]]) << 16 |
                                    uint32_t(level[pos[1]]) << 8 | level[pos[2]];
        }
    }
    return p;  // 248-255 stay black
}

constexpr std::array<uint32_t, 64> make_palette_ega64() {
    std::array<uint32_t, 64> p{};
    for (uint32_t i = 0; i < 64; ++i) {
        uint32_t blue = 0xAA * (i & 1) + 0x55 * (i >> 3 & 1);
        uint32_t green = 0xAA * (i >> 1 & 1) + 0x55 * (i >> 4 & 1);
        uint32_t red = 0xAA * (i >> 2 & 1) + 0x55 * (i >> 5 & 1);
        p[i] = red << 16 | green << 8 | blue;
    }
    return p;
}

constexpr std::array<uint32_t, 256> default_palette_256 = make_palette_256();
constexpr std::array<uint32_t, 64> default_palette_ega64 = make_palette_ega64();

// Mode 10: pseudo-colour c shows entry c in blink phase 0, entry 9 + c in
// phase 1. No alpha byte.
constexpr std::array<uint32_t, 18> screen10_pseudo_colours = {
    0x000000, 0x000000, 0x000000, 0x808080, 0x808080, 0x808080, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
    0x000000, 0x808080, 0xFFFFFF, 0x000000, 0x808080, 0xFFFFFF, 0x000000, 0x808080, 0xFFFFFF,
};

}  // namespace stored

// Where a glyph's pixels start and whether each is drawn twice across.
// Every glyph row is 8 source bytes, so rows follow without a stride.
struct GlyphSource {
    const uint8_t* first = nullptr;
    bool doubled = false;
};

class DisplayTables {
public:
    void init_display_tables();

    // Null source for a code above 255 or a font that is not built in.
    GlyphSource glyph_source(uint32_t font, uint32_t code) const;
    bool is_builtin_font(uint32_t font) const {
        return font <= kLastBuiltinFontNumber && font_flags[font] != 0;
    }
    void reset_image_palette(ScreenImage& image) const;

    std::array<uint32_t, 256> default_palette_256{};
    std::array<uint32_t, 64> default_palette_ega64{};
    std::array<uint32_t, 18> screen10_pseudo_colours{};
    std::array<uint8_t, 16384> glyphs_8x8{};
    std::array<uint8_t, 32768> glyphs_8x16{};
    std::array<uint8_t, kLastBuiltinFontNumber + 1> font_cell_width{};
    std::array<uint8_t, kLastBuiltinFontNumber + 1> font_cell_height{};
    std::array<uint8_t, kLastBuiltinFontNumber + 1> font_flags{};
};

}  // namespace quendrel
