// One drawable surface: a text page, a graphics page or an off-screen image.
//
// The record is plain data so the table can zero it in one go. The frame
// builder reads the displayed page from its own thread while the program
// thread prints, so the words it reads (cells, cursor fields) are written
// through the store_* helpers below, which use relaxed atomic stores; the
// program thread, their only writer, may read them plainly.
#pragma once

#include <atomic>
#include <cstdint>

namespace quendrel {

enum : uint32_t {
    kImageOwnsPalette = 1u << 0,
    kImageScreenPage = 1u << 1,
    kImageOwnsData = 1u << 2,
};

// Viewport, last point, coordinate window and drawing-language state of a
// pixel image; moved as one block between pixel pages.
struct GraphicsState {
    int32_t view_x1, view_y1, view_x2, view_y2;
    int32_t view_extra1, view_extra2;
    float last_x, last_y;
    uint8_t window_kind;
    float scale_x, scale_y;
    float origin_x, origin_y;
    float window_x, window_y;
    int64_t draw_state;
    double draw_scale;
};

struct ScreenImage {
    void* lock_record;
    uint64_t lock_id;
    uint8_t in_use;
    uint8_t is_text;
    uint8_t is_console;
    uint16_t width;
    uint16_t height;
    uint8_t bytes_per_unit;
    uint8_t bits_per_unit;
    uint32_t colour_mask;
    uint16_t mode;
    int32_t foreground;
    uint32_t background;
    uint32_t last_draw_colour;
    uint32_t font;
    int16_t view_top;
    int16_t view_bottom;
    int16_t cursor_column;
    int16_t cursor_row;
    uint8_t cursor_visible;
    uint8_t cursor_start;
    uint8_t cursor_stop;
    uint8_t* data;
    uint32_t image_flags;
    uint32_t* palette;
    uint32_t clear_colour;
    uint8_t blend_off;
    uint8_t wrap_pending;
    uint8_t print_mode;
    GraphicsState graphics;
};

// Attribute byte of a text cell: background bits 4-6, blink bit 7 from
// foreground 16-31, foreground bits 0-3.
constexpr uint8_t text_attribute(int32_t foreground, uint32_t background) {
    return uint8_t((background & 7) * 16 + (uint32_t(foreground) & 16) * 8 +
                   (uint32_t(foreground) & 15));
}

// A cell read as a little-endian word: attribute * 256 + character.
constexpr uint16_t text_cell(uint8_t character, uint8_t attribute) {
    return uint16_t(attribute << 8 | character);
}

template <typename T>
inline void store_shared(T& field, T value) {
    std::atomic_ref<T>(field).store(value, std::memory_order_relaxed);
}

template <typename T>
inline T load_shared(const T& field) {
    return std::atomic_ref<T>(const_cast<T&>(field)).load(std::memory_order_relaxed);
}

inline uint16_t* text_cells(ScreenImage& image) {
    return reinterpret_cast<uint16_t*>(image.data);
}

// Cell index is ((row - 1) * width + column - 1).
inline void store_cell(ScreenImage& image, uint32_t index, uint16_t cell) {
    store_shared(text_cells(image)[index], cell);
}

inline uint16_t load_cell(const ScreenImage& image, uint32_t index) {
    return load_shared(reinterpret_cast<const uint16_t*>(image.data)[index]);
}

// Cursor fields that the frame builder reads.
inline void store_cursor(ScreenImage& image, int32_t row, int32_t column) {
    store_shared(image.cursor_row, int16_t(row));
    store_shared(image.cursor_column, int16_t(column));
}

inline void store_wrap_pending(ScreenImage& image, uint8_t state) {
    store_shared(image.wrap_pending, state);
}

}  // namespace quendrel
