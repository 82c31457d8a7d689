// The page the window tests show: text in several colours on several
// backgrounds, written straight into the cells of a text page.
#pragma once

#include <cstring>

#include "runtime/console/screen_image.h"

namespace quendrel {

inline void write_demo_page(ScreenImage& page) {
    struct Line {
        int row, column;
        uint8_t attribute;
        const char* text;
    };
    static constexpr Line kLines[] = {
        {1, 1, 0x1E, " Tallowby Episode Ten: Quendrel "},
        {3, 5, 0x07, "The night flight hums over the dark sea."},
        {4, 5, 0x0C, "Red text on black,"},
        {4, 24, 0x2F, " white on green "},
        {5, 5, 0x4E, " yellow on red "},
        {6, 5, 0x70, " black on grey "},
        {8, 1, 0x09, "Every colour:"},
        {25, 70, 0x3F, " 25 x 80 "},
    };
    for (const Line& l : kLines)
        for (size_t i = 0; i < std::strlen(l.text); ++i)
            store_cell(page, uint32_t((l.row - 1) * page.width + l.column - 1 + int(i)),
                       text_cell(uint8_t(l.text[i]), l.attribute));
    for (int c = 0; c < 16; ++c)
        store_cell(page, uint32_t(8 * page.width + 2 * c), text_cell(0xDB, uint8_t(c)));
}

}  // namespace quendrel
