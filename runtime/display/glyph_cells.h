// Drawing text cells into a frame: each pixel of a glyph row takes the
// foreground colour where the glyph byte is non-zero and the background
// colour elsewhere.
//
// This is the inner loop of every text frame, so besides the portable
// version there are vector versions for the 8- and 16-pixel-wide built-in
// cells; draw_cells picks the best one the processor offers, once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quendrel {

// One cell of a text row to draw.
struct CellDraw {
    int32_t column;
    const uint8_t* glyph;  // ch rows of 8 bytes; null draws a blank cell
    uint32_t foreground, background;
};

struct CellBand {
    uint32_t* pixels;  // top-left pixel of the text row
    int32_t stride;    // pixels per frame row
    int cell_width, cell_height;
    bool doubled;  // each glyph byte covers two pixels across
};

void draw_cells(const CellBand& band, const CellDraw* cells, size_t count);
void draw_cells_portable(const CellBand& band, const CellDraw* cells, size_t count);
// The vector versions; false when this processor or cell shape has none.
bool draw_cells_sse2(const CellBand& band, const CellDraw* cells, size_t count);
bool draw_cells_avx2(const CellBand& band, const CellDraw* cells, size_t count);

}  // namespace quendrel
