#include "runtime/console/text_output.h"

#include <algorithm>
#include <charconv>

namespace quendrel {

namespace {

constexpr int32_t kIllegalFunctionCall = 5;
constexpr int32_t kZoneWidth = 14;

// Control codes in a soft-key text are shown as these glyphs.
constexpr uint8_t soft_key_glyph(uint8_t c) {
    switch (c) {
        case 7: return 14;
        case 8: return 254;
        case 9: return 26;
        case 10: return 60;
        case 11: return 127;
        case 12: return 22;
        case 13: return 27;
        case 28: return 16;
        case 29: return 17;
        case 30: return 24;
        case 31: return 25;
        default: return c;
    }
}

}  // namespace

TextOutput::TextOutput(RuntimeErrors& errors, Screen& screen, Platform& platform,
                       std::ostream& console)
    : errors_(errors), screen_(screen), platform_(platform), console_(console) {
    screen_.set_soft_key_redraw(this);
}

TextOutput::~TextOutput() { screen_.set_soft_key_redraw(nullptr); }

void TextOutput::print_string(const StringDescriptor* text, bool line_end) {
    if (errors_.pending()) return;
    if (text && text->length > 0)
        print_bytes(text->text, size_t(text->length), line_end);
    else
        print_bytes(nullptr, 0, line_end);
}

void TextOutput::print_bytes(const uint8_t* bytes, size_t count, bool line_end) {
    ScreenImage& d = screen_.destination();
    if (d.is_console) {
        console_.write(reinterpret_cast<const char*>(bytes), std::streamsize(count));
        if (line_end) console_.put('\n');
        console_.flush();
        return;
    }
    if (!writable(d)) return;
    if (d.wrap_pending) {
        if (count) {
            store_wrap_pending(d, 0);
            advance_line(d);
        } else if (line_end) {
            store_wrap_pending(d, 0);
        }
    }
    const bool controls = !control_chars_off;
    bool wrapped = false;
    for (size_t i = 0; i < count; ++i) {
        wrapped = false;
        const uint8_t c = bytes[i];
        const bool follows = i + 1 < count;
        if (controls) {
            const int32_t row = d.cursor_row, column = d.cursor_column;
            const int32_t width = d.width;
            switch (c) {
                case 28:
                    if (row < d.view_bottom || column < width) {
                        if (column + 1 > width)
                            store_cursor(d, row + 1, 1);
                        else
                            store_cursor(d, row, column + 1);
                    }
                    continue;
                case 29:
                    if (column == 1 && (row == d.view_top || row > d.view_bottom)) continue;
                    if (column - 1 < 1)
                        store_cursor(d, row - 1, width);
                    else
                        store_cursor(d, row, column - 1);
                    continue;
                case 30:
                    if (d.view_top < row && row <= d.view_bottom) store_cursor(d, row - 1, column);
                    continue;
                case 31:
                    if (d.view_top <= row && row < d.view_bottom) store_cursor(d, row + 1, column);
                    continue;
                case 12:
                    clear_screen(0, 0, 0);
                    continue;
                case 11:
                    store_cursor(d, d.view_top, 1);
                    continue;
                case 9: {
                    // Spaces up to the column after the next multiple of 8.
                    bool again;
                    do {
                        again = (d.cursor_column & 7) != 0;
                        wrapped = print_glyph(d, ' ', follows || again, line_end);
                    } while (again);
                    continue;
                }
                case 7:
                    platform_.sleep_ms(kBellMs);
                    continue;
                case 10:
                case 13:
                    advance_line(d);
                    continue;
                default:
                    break;
            }
        }
        wrapped = print_glyph(d, c, follows, line_end);
    }
    if (line_end && !wrapped) advance_line(d);
}

bool TextOutput::print_glyph(ScreenImage& d, uint8_t character, bool follows, bool line_end) {
    put_cell(character);
    const int32_t column = d.cursor_column + 1;
    if (column <= d.width) {
        store_shared(d.cursor_column, int16_t(column));
        return false;
    }
    if (line_end || follows) {
        advance_line(d);
        return true;
    }
    store_shared(d.cursor_column, int16_t(d.width));
    store_wrap_pending(d, 1);
    return false;
}

void TextOutput::put_cell(uint8_t character) {
    ScreenImage& d = screen_.destination();
    if (!writable(d)) return;
    const int32_t row = d.cursor_row, column = d.cursor_column;
    if (row < 1 || row > d.height || column < 1 || column > d.width) return;
    store_cell(d, uint32_t((row - 1) * d.width + column - 1),
               text_cell(character, text_attribute(d.foreground, d.background)));
}

void TextOutput::new_line() {
    if (errors_.pending()) return;
    ScreenImage& d = screen_.destination();
    if (writable(d)) advance_line(d);
}

void TextOutput::advance_line(ScreenImage& d) {
    const int32_t row = d.cursor_row + 1;
    if (row <= d.view_bottom) {
        store_cursor(d, row, 1);
        return;
    }
    // Scroll the view only: the rows outside it never move.
    const int32_t top = d.view_top, bottom = std::min<int32_t>(d.view_bottom, d.height);
    const uint32_t width = d.width;
    for (uint32_t i = uint32_t(top - 1) * width; i < uint32_t(bottom - 1) * width; ++i)
        store_cell(d, i, load_cell(d, i + width));
    blank_rows(d, bottom, bottom, text_attribute(d.foreground, d.background));
    store_cursor(d, d.view_bottom, 1);
}

void TextOutput::blank_rows(ScreenImage& d, int32_t first, int32_t last, uint8_t attribute) {
    first = std::max(first, 1);
    last = std::min<int32_t>(last, d.height);
    if (first > last) return;
    const uint16_t blank = text_cell(' ', attribute);
    for (uint32_t i = uint32_t(first - 1) * d.width; i < uint32_t(last) * d.width; ++i)
        store_cell(d, i, blank);
}

void TextOutput::print_fit(const StringDescriptor* text) {
    if (errors_.pending()) return;
    ScreenImage& d = screen_.destination();
    if (!writable(d) || d.wrap_pending || d.cursor_column == 1) return;
    const int64_t length = text ? text->length : 0;
    if (d.cursor_column + length - 1 > d.width) advance_line(d);
}

void TextOutput::print_zone() {
    if (errors_.pending()) return;
    ScreenImage& d = screen_.destination();
    static constexpr uint8_t kSpace = ' ';
    if (d.is_console) {
        // A console has no columns to reach; the comma still separates.
        print_bytes(&kSpace, 1, false);
        return;
    }
    if (!writable(d)) return;
    if (d.wrap_pending) {
        advance_line(d);
        store_wrap_pending(d, 0);
        return;
    }
    auto zone_start = [&](int32_t column) {
        return (column - 1) % kZoneWidth == 0 && column <= d.width - 13;
    };
    do {
        print_bytes(&kSpace, 1, false);
    } while (!(d.cursor_column == 1 || zone_start(d.cursor_column) || d.cursor_column == d.width));
}

void TextOutput::clear_screen(int32_t method, uint32_t colour, uint32_t flags) {
    if (errors_.pending()) return;
    ScreenImage& d = screen_.destination();
    const bool method_given = flags & 1, colour_given = flags & 2;
    uint32_t background = d.background;
    if (colour_given) {
        if (d.bytes_per_unit != 4 && colour > d.colour_mask) {
            errors_.raise_error(kIllegalFunctionCall);
            return;
        }
        background = colour;
    }
    if (method_given && (method < 0 || method > 2)) {
        errors_.raise_error(kIllegalFunctionCall);
        return;
    }
    store_cursor(d, d.view_top, 1);
    store_wrap_pending(d, 0);
    d.graphics.draw_state = 0;
    d.graphics.draw_scale = 1.0;
    // Clearing pixel images belongs to the graphics statements.
    if (!writable(d)) return;
    const uint8_t attribute = text_attribute(d.foreground, background);
    if (!method_given) {
        blank_rows(d, d.view_top, d.view_bottom, attribute);
        blank_rows(d, d.height, d.height, attribute);
        redraw_soft_key_line();
    } else if (method == 0) {
        blank_rows(d, 1, d.height, attribute);
        redraw_soft_key_line();
    } else if (method == 2) {
        blank_rows(d, d.view_top, d.view_bottom, attribute);
    }
}

void TextOutput::set_color(uint32_t foreground, uint32_t background, uint32_t third,
                           uint32_t flags) {
    (void)third;
    if (errors_.pending() || (flags & 7) == 0) return;
    ScreenImage& d = screen_.destination();
    const bool fg_given = flags & 1, bg_given = flags & 2, third_given = flags & 4;
    const DisplayTables& tables = screen_.tables();

    if (d.mode == 0) {
        if ((fg_given && foreground > 31) || (bg_given && background > 15)) {
            errors_.raise_error(kIllegalFunctionCall);
            return;
        }
        if (fg_given) d.foreground = int32_t(foreground);
        if (bg_given) d.background = background & 7;
        return;
    }

    // Pixel modes: the largest foreground and background, whether each is
    // stored, or which palette entry the background argument sets instead.
    uint32_t fg_max = 0, bg_max = 0;
    bool store_fg = true, store_bg = true;
    switch (d.mode) {
        case 1: fg_max = 15; bg_max = 0xFFFFFFFFu; store_fg = store_bg = false; break;
        case 2: fg_max = 1; bg_max = 15; store_bg = false; break;
        case 7:
        case 8: fg_max = 15; bg_max = 15; store_bg = false; break;
        case 9: fg_max = 15; bg_max = 63; store_bg = false; break;
        case 10: fg_max = 3; bg_max = 8; store_bg = false; break;
        case 11: fg_max = 1; bg_max = 1; break;
        case 12: fg_max = 15; bg_max = 15; break;
        case 13:
        case 256: fg_max = 255; bg_max = 255; break;
        default: fg_max = bg_max = 0xFFFFFFFFu; break;  // 32-bit images take any value
    }
    if ((fg_given && foreground > fg_max) || (bg_given && background > bg_max) || third_given) {
        errors_.raise_error(kIllegalFunctionCall);
        return;
    }
    uint32_t* pal = d.palette;
    if (d.mode == 1) {
        if (fg_given && pal) pal[0] = tables.default_palette_256[foreground];
        if (bg_given && pal) {
            const int first = (background & 1) ? 3 : 2;
            for (int i = 0; i < 3; ++i) pal[1 + i] = tables.default_palette_256[first + 2 * i];
        }
        return;
    }
    if (fg_given && store_fg) d.foreground = int32_t(foreground);
    if (!bg_given) return;
    if (store_bg) {
        d.background = background;
    } else if (pal) {
        if (d.mode == 9)
            pal[0] = tables.default_palette_ega64[background];
        else if (d.mode == 10)
            pal[4] = background;
        else
            pal[0] = tables.default_palette_256[background];
    }
}

void TextOutput::switch_to_50_rows() {
    EmulatedMemory& memory = screen_.memory();
    uint16_t saved[2000];
    const auto* video = reinterpret_cast<const uint16_t*>(memory.at(EmulatedMemory::kTextVideo));
    for (int i = 0; i < 2000; ++i) saved[i] = load_shared(video[i]);
    const int32_t foreground = screen_.destination().foreground;
    const uint32_t background = screen_.destination().background;
    screen_.set_width(80, 50, 3);
    if (errors_.pending()) return;
    auto* cells = reinterpret_cast<uint16_t*>(memory.at(EmulatedMemory::kTextVideo));
    for (int i = 0; i < 2000; ++i) store_shared(cells[i], saved[i]);
    screen_.destination().foreground = foreground;
    screen_.destination().background = background;
}

void TextOutput::set_cursor(int32_t row, int32_t column, int32_t visibility, int32_t start,
                            int32_t stop, uint32_t flags) {
    if (errors_.pending()) return;
    const bool row_given = flags & 1, column_given = flags & 2, visibility_given = flags & 4;
    const bool start_given = flags & 8, stop_given = flags & 16;
    ScreenImage* d = &screen_.destination();
    if (row_given) {
        if (row < d->view_top) {
            errors_.raise_error(kIllegalFunctionCall);
            return;
        }
        if (row > d->view_bottom && row != screen_.text_rows(*d)) {
            if (!screen_.screen_untouched) {
                errors_.raise_error(kIllegalFunctionCall);
                return;
            }
            screen_.screen_untouched = 0;
            if (row > 50 || (column_given && (column < 1 || column > screen_.text_columns(*d)))) {
                errors_.raise_error(kIllegalFunctionCall);
                return;
            }
            switch_to_50_rows();
            if (errors_.pending()) return;
            d = &screen_.destination();
        }
    }
    if ((column_given && (column < 1 || column > screen_.text_columns(*d))) ||
        (visibility_given && visibility != 0 && visibility != 1) ||
        (start_given && (start < 0 || start > 31)) || (stop_given && (stop < 0 || stop > 31))) {
        errors_.raise_error(kIllegalFunctionCall);
        return;
    }
    if (row_given || column_given) {
        store_cursor(*d, row_given ? row : d->cursor_row, column_given ? column : d->cursor_column);
        store_wrap_pending(*d, 0);
    } else if (d->wrap_pending) {
        store_wrap_pending(*d, 2);
    }
    const bool screen_page = d->image_flags & kImageScreenPage;
    auto for_targets = [&](auto&& apply) {
        if (!screen_page) {
            apply(*d);
            return;
        }
        for (int32_t page = 0; page < screen_.page_count(); ++page)
            if (int32_t slot = screen_.page_slot(page)) apply(*screen_.image(slot));
    };
    if (visibility_given) {
        const uint8_t visible = visibility != 0;
        for_targets([&](ScreenImage& image) { store_shared(image.cursor_visible, visible); });
    }
    if (start_given || stop_given) {
        const uint8_t first = start_given ? uint8_t(start) : d->cursor_start;
        const uint8_t last = stop_given ? uint8_t(stop) : d->cursor_stop;
        for_targets([&](ScreenImage& image) {
            store_shared(image.cursor_start, first);
            store_shared(image.cursor_stop, last);
        });
    }
}

void TextOutput::view_print(int32_t top, int32_t bottom, bool given) {
    if (errors_.pending()) return;
    ScreenImage& d = screen_.destination();
    const int32_t rows = screen_.text_rows(d);
    if (given) {
        if (top < 1 || top > bottom || bottom > rows) {
            errors_.raise_error(kIllegalFunctionCall);
            return;
        }
    } else {
        top = 1;
        bottom = rows;
    }
    d.view_top = int16_t(top);
    d.view_bottom = int16_t(bottom);
    store_cursor(d, top, 1);
    store_wrap_pending(d, 0);
}

int32_t TextOutput::current_row() {
    if (errors_.pending()) return 0;
    const ScreenImage& d = screen_.destination();
    if (!d.wrap_pending) return d.cursor_row;
    return d.cursor_row < d.view_bottom ? d.cursor_row + 1 : d.view_bottom;
}

int32_t TextOutput::current_column() {
    if (errors_.pending()) return 0;
    const ScreenImage& d = screen_.destination();
    return d.wrap_pending ? 1 : d.cursor_column;
}

void TextOutput::set_control_chars(int32_t setting) {
    if (errors_.pending()) return;
    control_chars_off = setting == 2;
}

void TextOutput::soft_keys_on() {
    if (errors_.pending()) return;
    soft_keys_shown = 1;
    if (soft_keys_drawn_ != soft_keys_shown) draw_soft_key_line();
}

void TextOutput::soft_keys_off() {
    if (errors_.pending()) return;
    soft_keys_shown = 0;
    if (soft_keys_drawn_ != soft_keys_shown) draw_soft_key_line();
}

void TextOutput::redraw_soft_key_line() {
    if (soft_keys_shown) draw_soft_key_line();
}

void TextOutput::draw_soft_key_line() {
    soft_keys_drawn_ = soft_keys_shown;
    ScreenImage& d = screen_.destination();
    if (!writable(d)) return;
    // Cells are written directly: the cursor, wrap state and colours of the
    // destination stay as they are, and the last column never scrolls.
    const uint8_t normal = text_attribute(d.foreground, d.background);
    blank_rows(d, d.height, d.height, normal);
    if (!soft_keys_shown) return;
    const uint8_t reverse = d.background != 0 ? text_attribute(7, 0) : text_attribute(0, 7);
    const int32_t width = d.width;
    int32_t label_width = width / 12, labels = 12;
    if (label_width < 8) {
        label_width = 8;
        labels = width / 8;
    }
    const uint32_t row_start = uint32_t(d.height - 1) * uint32_t(width);
    for (int32_t key = 1; key <= labels; ++key) {
        const int32_t start = (key - 1) * label_width;  // 0-based column
        const int32_t end = std::min(start + label_width, width);
        char digits[4];
        const auto [past, ec] = std::to_chars(digits, digits + sizeof digits, key);
        (void)ec;
        int32_t column = start;
        for (const char* p = digits; p < past && column < end; ++p, ++column)
            store_cell(d, row_start + uint32_t(column), text_cell(uint8_t(*p), normal));
        const std::string_view text =
            soft_key_texts_ ? soft_key_texts_->soft_key_text(key) : std::string_view();
        if (text.empty()) continue;
        for (size_t i = 0; column < end; ++i, ++column) {
            const uint8_t c = i < text.size() ? soft_key_glyph(uint8_t(text[i])) : uint8_t(' ');
            store_cell(d, row_start + uint32_t(column), text_cell(c, reverse));
        }
    }
}

}  // namespace quendrel
