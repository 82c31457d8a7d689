#include "runtime/display/frame_builder.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "runtime/display/glyph_cells.h"

namespace quendrel {

namespace {

constexpr int kTextPhaseBit = 3;

// The last `k` lines of the cell; a 16-line cell keeps line 15 clear.
CursorLines bottom_lines(int k, int ch) {
    int last = ch == 16 ? 14 : ch - 1;
    return {last - k + 1, k};
}

CursorLines span(int first, int last) { return {first, last - first + 1}; }

// Shared memory (cells or palette entries, written by the program thread
// as 16- or 32-bit atomics) against the builder's own copy. Read eight
// bytes at a time with relaxed atomic loads: an unchanged page costs one
// pass over its bytes, and every load is whole, so no torn value is seen.
typedef uint64_t __attribute__((may_alias)) SharedWord;
bool same_words(const void* shared, const void* saved, size_t bytes) {
    const auto* a = static_cast<const uint8_t*>(shared);
    const auto* b = static_cast<const uint8_t*>(saved);
    size_t i = 0;
    if (reinterpret_cast<uintptr_t>(a) % 8 == 0 && reinterpret_cast<uintptr_t>(b) % 8 == 0) {
        const auto* wa = reinterpret_cast<const SharedWord*>(a);
        const auto* wb = reinterpret_cast<const SharedWord*>(b);
        uint64_t differ = 0;
        // Blocks of eight words without an early exit vectorise nothing but
        // keep the loads independent.
        for (; i + 64 <= bytes; i += 64, wa += 8, wb += 8) {
            for (int k = 0; k < 8; ++k) differ |= __atomic_load_n(wa + k, __ATOMIC_RELAXED) ^ wb[k];
            if (differ) return false;
        }
        for (; i + 8 <= bytes; i += 8, ++wa, ++wb)
            if (__atomic_load_n(wa, __ATOMIC_RELAXED) != *wb) return false;
    }
    for (; i < bytes; ++i)
        if (__atomic_load_n(a + i, __ATOMIC_RELAXED) != b[i]) return false;
    return true;
}

// Whether any saved cell has the blink bit of its attribute set.
bool any_blinking(const uint16_t* cells, size_t count) {
    uint16_t bits = 0;
    for (size_t i = 0; i < count; ++i) bits |= cells[i];
    return (bits & 0x8000u) != 0;
}

}  // namespace

CursorLines cursor_lines(int s, int e, int ch) {
    CursorLines lines;
    if (e == 0)
        lines = s == 0 ? span(0, 0) : CursorLines{};
    else if (e < s)
        lines = span(e, ch - 1);
    else if (e == s)
        lines = s <= 3 ? span(s, s) : bottom_lines(1, ch);
    else if (s <= 1)
        lines = e <= 3 ? span(s, e) : span(s, ch - 1);
    else if (s == 2)
        lines = e == 3 ? span(2, 3) : e == 4 ? bottom_lines(3, ch) : span(2, ch - 1);
    else if (e == s + 1)
        lines = bottom_lines(2, ch);
    else if (e == s + 2)
        lines = bottom_lines(3, ch);
    else
        lines = span(ch - ch / 2, ch - 1);
    // Clip to the cell: a range starting at or below its foot draws nothing.
    int first = std::max(lines.first, 0);
    int last = std::min(lines.first + lines.count - 1, ch - 1);
    if (lines.count <= 0 || first >= ch || last < first) return {};
    return {first, last - first + 1};
}

void FrameBuilder::frame_slot() {
    if (display_.display_mode.load() != 0) build_frame();
    display_.blink_counter.fetch_add(1);
}

bool FrameBuilder::acknowledge_pause() {
    int32_t requested = 1;
    if (display_.pause_state.compare_exchange_strong(requested, 2)) {
        platform_.yield();
        return true;
    }
    return false;
}

void FrameBuilder::end_steps() {
    acknowledge_pause();
    // The program thread may have gone back to automatic meanwhile; only a
    // waiting switch to manual is finished here.
    int32_t switching = -1;
    display_.display_mode.compare_exchange_strong(switching, 0);
}

int FrameBuilder::claim_frame(int64_t& serial) {
    for (;;) {
        int free_frame = -1, ready_frame = -1;
        FrameTag tags[FrameRing::kFrames];
        for (int i = 0; i < FrameRing::kFrames; ++i) {
            tags[i] = ring_.frame(i).load();
            if (tags[i].state == FrameState::Free) free_frame = i;
            if (tags[i].state == FrameState::Ready &&
                (ready_frame < 0 || tags[i].serial < tags[ready_frame].serial))
                ready_frame = i;
        }
        int chosen = free_frame >= 0 ? free_frame : ready_frame;
        if (chosen < 0) return -1;
        serial = ring_.next_frame_serial.load();
        // Fails only when the presenter took or released that frame between
        // the look and now; look again.
        if (ring_.frame(chosen).change(tags[chosen], {FrameState::Building, serial})) {
            ring_.next_frame_serial.store(serial + 1);
            return chosen;
        }
    }
}

void FrameBuilder::complete(SoftwareFrame& frame, int64_t serial) {
    display_.force_new_frame.store(0);
    display_.previous_frame_valid.store(1);
    frame.change({FrameState::Building, serial}, {FrameState::Ready, serial});
    ring_.latest_frame_serial.store(serial);
}

void FrameBuilder::discard(SoftwareFrame& frame, int64_t serial) {
    if (frame.state() != FrameState::Building) return;
    ring_.latest_frame_serial.store(serial);
    frame.change({FrameState::Building, serial}, {FrameState::Free, serial});
}

void FrameBuilder::build_frame() {
    acknowledge_pause();
    if (display_.pause_state.load() != 0) {
        end_steps();
        return;
    }
    int64_t serial = 0;
    int index = claim_frame(serial);
    if (index < 0) {
        boxes_.alert_box("Software frame buffer: Failed to find available frame");
        return;
    }
    SoftwareFrame& frame = ring_.frame(index);
    ScreenImage* page = screen_.display_page();
    bool built = false;
    if (page && page->in_use && page->data) {
        if (page->mode == 0)
            built = build_text(frame, *page);
        else if (page->bits_per_unit == 32)
            built = build_true_colour(frame, *page);
        else if (page->bytes_per_unit == 1)
            built = build_indexed(frame, *page);
    }
    if (built)
        complete(frame, serial);
    else
        discard(frame, serial);
    end_steps();
}

bool FrameBuilder::size_buffer(SoftwareFrame& frame, int32_t width, int32_t height) {
    int64_t bytes = int64_t(width) * height * 4;
    if (width <= 0 || height <= 0 || bytes > INT32_MAX) return false;
    if (frame.capacity < bytes) {
        frame.pixels.reset();
        frame.capacity = 0;
        frame.pixels.reset(new (std::nothrow) uint32_t[size_t(bytes / 4)]);
        if (!frame.pixels) return false;
        frame.capacity = int32_t(bytes);
    }
    frame.width = width;
    frame.height = height;
    return true;
}

bool FrameBuilder::build_text(SoftwareFrame& frame, const ScreenImage& page) {
    const uint32_t font = load_shared(page.font);
    const int cw = font < tables_.font_cell_width.size() ? tables_.font_cell_width[font] : 0;
    const int ch = font < tables_.font_cell_height.size() ? tables_.font_cell_height[font] : 0;
    const int columns = page.width, rows = page.height;
    const int32_t width = columns * cw, height = rows * ch;
    if (width <= 0 || height <= 0) return false;

    bool valid = display_.previous_frame_valid.load() != 0;
    bool changed = false;
    const size_t cells = size_t(columns) * size_t(rows);
    if (saved_cells_bytes_ != cells * 2) {
        try {
            saved_cells_.assign(cells, 0);
        } catch (const std::bad_alloc&) {
            saved_cells_bytes_ = size_t(-1);
            return false;
        }
        saved_cells_bytes_ = cells * 2;
        valid = false;
    }
    if (order_.software_layer_position.load() == 0 && valid) return false;

    if (!valid) {
        for (int i = 0; i < 256; ++i)
            saved_palette_[i] = page.palette ? load_shared(page.palette[i]) : 0;
    } else if (page.palette && !same_words(page.palette, saved_palette_.data(), 256 * 4)) {
        for (int i = 0; i < 256; ++i) saved_palette_[i] = load_shared(page.palette[i]);
        valid = false;
    }
    const uint16_t* saved = saved_cells_.data();
    if (valid) changed = !same_words(page.data, saved, cells * 2);

    const bool phase = (display_.blink_counter.load() >> kTextPhaseBit) & 1;
    const bool text_phase = phase, cursor_phase = phase;
    CursorCell cursor{load_shared(page.cursor_column) - 1, load_shared(page.cursor_row) - 1};
    if (load_shared(page.wrap_pending) == 2 && cursor.row < rows - 1) cursor = {0, cursor.row + 1};

    const bool text_phase_moved = text_phase != last_text_phase_;
    const bool cursor_moved = !(cursor == last_cursor_);
    const bool cursor_changed = cursor_phase != last_cursor_phase_ || cursor_moved;
    const bool cursor_shown = load_shared(page.cursor_visible) && cursor_phase;
    // -1 for a cell outside the page.
    auto cell_index = [columns, rows](CursorCell c) {
        bool inside = c.column >= 0 && c.column < columns && c.row >= 0 && c.row < rows;
        return inside ? ptrdiff_t(c.row) * columns + c.column : ptrdiff_t(-1);
    };
    const ptrdiff_t cursor_index = cell_index(cursor);
    if (valid && !changed && !cursor_moved && (text_phase_moved || cursor_changed)) {
        // A phase step alone: when no cell blinks and the cursor is neither
        // shown nor left on screen, the frame would come out the same, and
        // an idle program would otherwise make four identical frames a
        // second.
        if (!last_cursor_drawn_ && !(cursor_shown && cursor_index >= 0) &&
            !(text_phase_moved && any_blinking(saved, cells))) {
            last_text_phase_ = text_phase;
            last_cursor_phase_ = cursor_phase;
            return false;
        }
    }
    if (valid) {
        changed = changed || text_phase_moved || cursor_changed;
    } else {
        changed = true;
    }
    if (!changed) return false;

    if (!size_buffer(frame, width, height)) return false;
    uint32_t* pixels = frame.pixels.get();
    if (valid) {
        int previous = ring_.most_recent_picture();
        if (previous < 0) {
            boxes_.alert_box(
                "Text Screen Update: Failed to locate previous frame's data for comparison");
            valid = false;
        } else {
            const SoftwareFrame& from = ring_.frame(previous);
            // A picture of another size cannot be a base; draw in full.
            if (from.width != width || from.height != height)
                valid = false;
            else
                std::memcpy(pixels, from.pixels.get(), size_t(width) * size_t(height) * 4);
        }
    }

    const CursorLines lines =
        cursor_lines(load_shared(page.cursor_start), load_shared(page.cursor_stop), ch);
    // Built-in glyphs of a font lie at a fixed distance from each other.
    const GlyphSource first_glyph = tables_.glyph_source(font, 0);
    const bool doubled = first_glyph.doubled;
    const ptrdiff_t glyph_bytes =
        first_glyph.first ? tables_.glyph_source(font, 1).first - first_glyph.first : 0;
    if (band_cells_.size() < size_t(columns)) {
        try {
            band_cells_.resize(size_t(columns));
        } catch (const std::bad_alloc&) {
            display_.previous_frame_valid.store(0);  // saved_cells may be ahead of the frame
            return false;
        }
    }
    // The cursor's old and new cells are drawn again when it moved or blinked.
    const ptrdiff_t redraw_new = cursor_changed ? cursor_index : -1;
    const ptrdiff_t redraw_old = cursor_moved ? cell_index(last_cursor_) : -1;
    const uint8_t blink_redraw = text_phase_moved ? 0x80 : 0;
    const uint8_t blink_hides = text_phase ? 0x80 : 0;
    uint16_t* keep = saved_cells_.data();
    CellDraw* band_cells = band_cells_.data();
    if (!valid || cursor_moved) last_cursor_drawn_ = false;  // set again where the cursor is drawn
    for (int row = 0; row < rows; ++row) {
        size_t count = 0;
        int cursor_colour = -1;
        const ptrdiff_t row_start = ptrdiff_t(row) * columns;
        for (int column = 0; column < columns; ++column) {
            const ptrdiff_t i = row_start + column;
            const uint16_t cell = load_cell(page, uint32_t(i));
            const uint8_t a = uint8_t(cell >> 8);
            if (valid && cell == keep[i] && !(a & blink_redraw) && i != redraw_new &&
                i != redraw_old)
                continue;
            keep[i] = cell;
            const uint32_t fg_index = a & 15u, bg_index = (a >> 4) & 7u;
            const uint32_t shown_fg = (a & blink_hides) ? bg_index : fg_index;
            const uint8_t* glyph =
                first_glyph.first ? first_glyph.first + glyph_bytes * uint8_t(cell) : nullptr;
            band_cells[count++] = {column, glyph, saved_palette_[shown_fg],
                                   saved_palette_[bg_index]};
            if (i == cursor_index) {
                last_cursor_drawn_ = cursor_shown;
                if (cursor_shown) cursor_colour = int(fg_index);
            }
        }
        if (count == 0) continue;
        uint32_t* band = pixels + size_t(row) * size_t(ch) * size_t(width);
        draw_cells({band, width, cw, ch, doubled}, band_cells, count);
        if (cursor_colour >= 0) {
            uint32_t* at = band + size_t(cursor.column) * size_t(cw);
            for (int y = lines.first; y < lines.first + lines.count; ++y)
                std::fill_n(at + size_t(y) * size_t(width), cw,
                            saved_palette_[size_t(cursor_colour)]);
        }
    }
    last_text_phase_ = text_phase;
    last_cursor_phase_ = cursor_phase;
    last_cursor_ = cursor;
    return true;
}

bool FrameBuilder::build_true_colour(SoftwareFrame& frame, const ScreenImage& page) {
    const int32_t width = page.width, height = page.height;
    const size_t bytes = size_t(width) * size_t(height) * 4;
    const auto* source = reinterpret_cast<const uint32_t*>(page.data);
    int previous = ring_.most_recent_picture();
    if (!display_.force_new_frame.load() && previous >= 0 && display_.previous_frame_valid.load()) {
        const SoftwareFrame& from = ring_.frame(previous);
        if (from.width == width && from.height == height) {
            if (order_.software_layer_position.load() == 0) return false;
            if (std::memcmp(from.pixels.get(), source, bytes) == 0) return false;
        }
    }
    if (!size_buffer(frame, width, height)) return false;
    std::memcpy(frame.pixels.get(), source, bytes);
    return true;
}

bool FrameBuilder::build_indexed(SoftwareFrame& frame, ScreenImage& page) {
    if (page.mode == 10 && page.palette) {
        const int p = (platform_.clock_ms() >> 9) & 1;
        for (int i = 0; i < 4; ++i) {
            uint32_t entry = load_shared(page.palette[4 + i]);
            // Entries 4-7 name pseudo-colours 0-8; anything else is left alone.
            if (entry < 9)
                store_shared(page.palette[i],
                             tables_.screen10_pseudo_colours[size_t(9 * p) + entry]);
        }
    }
    const int bits = std::min<int>(page.bits_per_unit, 8);
    const int entries = 1 << bits;
    const int32_t width = page.width, height = page.height;
    const size_t count = size_t(width) * size_t(height);
    auto palette_entry = [&](int i) { return page.palette ? load_shared(page.palette[i]) : 0u; };

    if (!saved_image_sized_ || saved_image_.size() != count) {
        try {
            saved_image_.assign(count, 0);
        } catch (const std::bad_alloc&) {
            saved_image_sized_ = false;
            return false;
        }
        saved_image_sized_ = true;
    } else if (!display_.force_new_frame.load()) {
        if (order_.software_layer_position.load() == 0) return false;
        bool same = display_.previous_frame_valid.load() &&
                    std::memcmp(saved_image_.data(), page.data, count) == 0;
        for (int i = 0; same && i < entries; ++i)
            same = palette_entry(i) == saved_palette_[size_t(i)];
        if (same) return false;
    }
    if (!size_buffer(frame, width, height)) return false;
    std::memcpy(saved_image_.data(), page.data, count);
    for (int i = 0; i < entries; ++i) saved_palette_[size_t(i)] = palette_entry(i);
    uint32_t* out = frame.pixels.get();
    for (size_t i = 0; i < count; ++i) out[i] = saved_palette_[saved_image_[i]];
    return true;
}

}  // namespace quendrel
