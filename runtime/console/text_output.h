// Text output onto the destination image: printing with wrap and scroll,
// the console control characters, print zones, clearing, colours, the
// cursor, the text view and the soft-key line.
//
// wrap_pending: a print that ends in the last column without a line end
// leaves the cursor waiting there (1); the next output starts a new line
// first. Cursor placement with neither row nor column turns 1 into 2, which
// only changes where the frame builder draws the cursor.
//
// Only text images are written; glyph drawing on pixel images belongs to
// the graphics statements. Images marked as console output send printed
// text to standard output instead.
#pragma once

#include <cstdint>
#include <iostream>
#include <string_view>

#include "runtime/console/screen.h"
#include "runtime/kernel/runtime_errors.h"
#include "runtime/platform/platform.h"
#include "runtime/strings/string_heap.h"

namespace quendrel {

// The soft-key texts, kept by the key layer with its traps.
class SoftKeyTexts {
public:
    virtual ~SoftKeyTexts() = default;
    // Key 1-12 (11 and 12 are F11 and F12); empty when the key has none.
    virtual std::string_view soft_key_text(int32_t key) const = 0;
};

class TextOutput : public SoftKeyRedraw {
public:
    static constexpr uint32_t kBellMs = 250;

    TextOutput(RuntimeErrors& errors, Screen& screen, Platform& platform,
               std::ostream& console = std::cout);
    ~TextOutput() override;
    TextOutput(const TextOutput&) = delete;
    TextOutput& operator=(const TextOutput&) = delete;

    // The descriptor stays the caller's; a null one prints nothing.
    void print_string(const StringDescriptor* text, bool line_end);
    void print_fit(const StringDescriptor* text);
    void print_zone();
    void new_line();
    void put_cell(uint8_t character);
    // flags: bit 0 method given, bit 1 colour given.
    void clear_screen(int32_t method, uint32_t colour, uint32_t flags);
    // flags: bit 0 foreground, bit 1 background, bit 2 third argument given.
    void set_color(uint32_t foreground, uint32_t background, uint32_t third, uint32_t flags);
    // flags: bit 0 row, bit 1 column, bit 2 visibility, bit 3 start, bit 4 stop given.
    void set_cursor(int32_t row, int32_t column, int32_t visibility, int32_t start,
                    int32_t stop, uint32_t flags);
    void view_print(int32_t top, int32_t bottom, bool given);
    int32_t current_row();
    int32_t current_column();
    void set_control_chars(int32_t setting);
    void soft_keys_on();
    void soft_keys_off();
    // Forced redraw (screen set-up, clearing, a key's text changed).
    void redraw_soft_key_line() override;

    void set_soft_key_texts(const SoftKeyTexts* texts) { soft_key_texts_ = texts; }

    uint8_t control_chars_off = 0;
    uint8_t soft_keys_shown = 0;

private:
    void print_bytes(const uint8_t* bytes, size_t count, bool line_end);
    // Stores one glyph and advances; true when it wrapped to a new line.
    bool print_glyph(ScreenImage& image, uint8_t character, bool follows, bool line_end);
    void advance_line(ScreenImage& image);
    void blank_rows(ScreenImage& image, int32_t first, int32_t last, uint8_t attribute);
    void draw_soft_key_line();
    void switch_to_50_rows();
    bool writable(const ScreenImage& image) const {
        return image.is_text && image.data && !image.is_console;
    }

    RuntimeErrors& errors_;
    Screen& screen_;
    Platform& platform_;
    std::ostream& console_;
    const SoftKeyTexts* soft_key_texts_ = nullptr;
    // The setting the soft-key line was last drawn with.
    uint8_t soft_keys_drawn_ = 0;
};

}  // namespace quendrel
