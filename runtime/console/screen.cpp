#include "runtime/console/screen.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace quendrel {

namespace {

constexpr int32_t kIllegalFunctionCall = 5;
constexpr int32_t kOutOfMemory = 7;
constexpr int32_t kFeatureUnavailable = 73;
constexpr int32_t kInvalidHandle = 258;

struct ModeDefaults {
    int32_t mode;
    uint8_t bits_per_unit;
    uint8_t bytes_per_unit;
    uint32_t font;
    int32_t foreground;
};

constexpr ModeDefaults kModeTable[] = {
    {0, 16, 2, 16, 7},   {1, 2, 1, 8, 3},     {2, 1, 1, 8, 1},    {7, 4, 1, 8, 15},
    {8, 4, 1, 8, 15},    {9, 4, 1, 14, 15},   {10, 2, 1, 14, 3},  {11, 1, 1, 16, 1},
    {12, 4, 1, 16, 15},  {13, 8, 1, 8, 15},   {256, 8, 1, 16, 15}, {32, 32, 4, 16, -1},
};

const ModeDefaults* mode_defaults(int32_t mode) {
    for (const auto& m : kModeTable)
        if (m.mode == mode) return &m;
    return nullptr;
}

constexpr uint16_t kBlankCell = text_cell(' ', 7);

// Copies image memory that the frame builder may be reading, one word (or
// byte) at a time so no read sees a torn value.
void copy_shared(uint8_t* to, const uint8_t* from, size_t bytes) {
    bool words = bytes % 2 == 0 && reinterpret_cast<uintptr_t>(to) % 2 == 0 &&
                 reinterpret_cast<uintptr_t>(from) % 2 == 0;
    if (words) {
        auto* t = reinterpret_cast<uint16_t*>(to);
        auto* f = reinterpret_cast<const uint16_t*>(from);
        for (size_t i = 0; i < bytes / 2; ++i) store_shared(t[i], load_shared(f[i]));
    } else {
        for (size_t i = 0; i < bytes; ++i) store_shared(to[i], load_shared(from[i]));
    }
}

}  // namespace

Screen::Screen(RuntimeErrors& errors, Platform& platform, EmulatedMemory& memory,
               const DisplayTables& tables, DisplayState& display)
    : errors_(errors),
      platform_(platform),
      memory_(memory),
      tables_(tables),
      display_(display),
      table_(errors) {
    // Until start-up every reference names the reserved, empty slot 0.
    destination_ = source_image_ = table_.record(0);
    display_page_.store(table_.record(0));
}

Screen::~Screen() {
    for (uint32_t slot = 0; slot < table_.handed_out(); ++slot) {
        ScreenImage* image = table_.record(int32_t(slot));
        if (image->image_flags & kImageOwnsPalette) std::free(image->palette);
        if (image->image_flags & kImageOwnsData) std::free(image->data);
    }
}

void Screen::start_up() {
    table_.reset();
    table_.image_slot_acquire();
    table_.image_slot_acquire();
    screen_mode(0, 0, 0, 0, 0, 1);
    screen_untouched = 1;
    // The two built-in pictures only hold their slots (10 and 11) here: the
    // text console never draws them and their pixels start clear.
    image_alloc(16, 16, 32);
    image_alloc(32, 32, 32);
}

int32_t Screen::text_rows(const ScreenImage& image) const {
    if (image.is_text) return image.height;
    uint32_t h =
        image.font < tables_.font_cell_height.size() ? tables_.font_cell_height[image.font] : 0;
    return h ? image.height / int32_t(h) : image.height / 16;
}

int32_t Screen::text_columns(const ScreenImage& image) const {
    if (image.is_text) return image.width;
    uint32_t w =
        image.font < tables_.font_cell_width.size() ? tables_.font_cell_width[image.font] : 0;
    return w ? image.width / int32_t(w) : image.width / 8;
}

int32_t Screen::image_init(uint8_t* data, int32_t width, int32_t height, int32_t mode) {
    if (errors_.pending()) return 0;
    const ModeDefaults* defaults = mode_defaults(mode);
    // Width and height are 16-bit fields of the record.
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535 || !defaults) return 0;
    int32_t slot = table_.image_slot_acquire();
    if (!slot) return 0;
    ScreenImage& image = *table_.record(slot);
    image.data = data;
    image.width = uint16_t(width);
    image.height = uint16_t(height);
    image.mode = uint16_t(mode);
    image.bits_per_unit = defaults->bits_per_unit;
    image.bytes_per_unit = defaults->bytes_per_unit;
    image.font = defaults->font;
    image.foreground = defaults->foreground;
    image.background = mode == 32 ? 0xFF000000u : 0;
    if (mode == 0) {
        image.is_text = 1;
        image.cursor_visible = 0;
        image.cursor_start = 4;
        image.cursor_stop = 4;
    }
    image.last_draw_colour = uint32_t(image.foreground);
    image.print_mode = 3;
    image.graphics.draw_state = 0;
    image.graphics.draw_scale = 1.0;
    if (mode != 32) {
        image.palette = static_cast<uint32_t*>(std::calloc(256, sizeof(uint32_t)));
        if (!image.palette) {
            table_.release_slot(slot);
            return 0;
        }
        image.image_flags |= kImageOwnsPalette;
        tables_.reset_image_palette(image);
        image.clear_colour = 0xFFFFFFFFu;
    }
    image.colour_mask =
        image.bits_per_unit >= 32 ? 0xFFFFFFFFu : (1u << image.bits_per_unit) - 1;
    image.cursor_row = 1;
    image.cursor_column = 1;
    image.view_top = 1;
    image.view_bottom = int16_t(std::max(1, text_rows(image) - 1));
    if (!image.is_text) {
        GraphicsState& g = image.graphics;
        g.view_x1 = g.view_y1 = 0;
        g.view_x2 = width - 1;
        g.view_y2 = height - 1;
        g.last_x = float(width / 2);
        g.last_y = float(height / 2);
        g.scale_x = g.scale_y = 1.0f;
        g.window_x = float(width - 1);
        g.window_y = float(height - 1);
    }
    return slot;
}

int32_t Screen::image_alloc(int32_t width, int32_t height, int32_t mode) {
    int32_t slot = image_init(nullptr, width, height, mode);
    if (!slot) return 0;
    ScreenImage& image = *table_.record(slot);
    size_t cells = size_t(image.width) * image.height;
    size_t bytes = cells * image.bytes_per_unit;
    if (image.is_text) {
        image.data = static_cast<uint8_t*>(std::malloc(bytes));
        if (image.data) std::fill_n(text_cells(image), cells, kBlankCell);
    } else {
        // 32-bit images blend through tables of the graphics statements,
        // which this runtime does not have; their memory starts zeroed.
        image.data = static_cast<uint8_t*>(std::calloc(bytes, 1));
    }
    if (!image.data) {
        image_free(slot);
        return 0;
    }
    image.image_flags |= kImageOwnsData;
    return slot;
}

void Screen::image_free(int32_t slot) {
    ScreenImage* image = table_.record(slot);
    if (!image || !image->in_use) return;
    if (image->image_flags & kImageOwnsPalette) std::free(image->palette);
    if (image->image_flags & kImageOwnsData) std::free(image->data);
    table_.release_slot(slot);
}

int32_t Screen::image_new(int32_t width, int32_t height, int32_t mode, bool mode_given) {
    if (errors_.pending()) return 0;
    if (width <= 0 || height <= 0) {
        errors_.raise_error(kIllegalFunctionCall);
        return 0;
    }
    if (mode_given && !mode_defaults(mode)) {
        errors_.raise_error(kIllegalFunctionCall);
        return 0;
    }
    ScreenImage& from = *destination_;
    if (!mode_given) mode = from.mode;
    int32_t slot = image_alloc(width, height, mode);
    if (!slot) return -1;
    ScreenImage& image = *table_.record(slot);
    if (!mode_given) {
        if (image.palette && from.palette) std::copy_n(from.palette, 256, image.palette);
        image_set_font(from.font, image);
        image.foreground = from.foreground;
        image.background = from.background;
        image.clear_colour = from.clear_colour;
        image.blend_off = from.blend_off;
        image.print_mode = from.print_mode;
    }
    return -slot;
}

int32_t Screen::page_get(int32_t page) {
    if (errors_.pending() || page < 0) return 0;
    if (size_t(page) >= page_table_.size()) {
        try {
            page_table_.resize(size_t(page) + 1, 0);
        } catch (const std::bad_alloc&) {
            errors_.raise_error(kOutOfMemory);
            return 0;
        }
    }
    if (page_table_[page]) return page_table_[page];
    ScreenImage* first = table_.record(page_table_[0]);
    if (!page_table_[0] || !first) return 0;
    int32_t slot = image_alloc(first->width, first->height, first->mode);
    if (!slot) {
        errors_.raise_error(kOutOfMemory);
        return 0;
    }
    ScreenImage& image = *table_.record(slot);
    if (image.mode != 32) {
        std::free(image.palette);
        image.image_flags &= ~kImageOwnsPalette;
        image.palette = first->palette;
    }
    image.image_flags |= kImageScreenPage;
    image_set_font(first->font, image);
    page_table_[page] = slot;
    return slot;
}

void Screen::image_set_font(uint32_t font, ScreenImage& image) {
    store_shared(image.font, font);
    store_cursor(image, 1, 1);
    image.view_top = 1;
    image.view_bottom = int16_t(std::max(1, text_rows(image) - 1));
}

bool Screen::valid_image_handle(int64_t slot) {
    // Slots 0 and 1 are reserved and never hold an image.
    if (slot < 2 || slot >= int64_t(table_.handed_out())) return false;
    return table_.record(int32_t(slot))->in_use != 0;
}

int32_t Screen::resolve_target(int32_t target, int32_t error_code) {
    if (errors_.pending()) return 0;
    if (target >= 0) return page_get(target);
    int64_t slot = -int64_t(target);
    if (!valid_image_handle(slot)) {
        errors_.raise_error(error_code);
        return 0;
    }
    return int32_t(slot);
}

void Screen::set_current(int32_t slot, ScreenImage*& ref, int32_t& ref_slot) {
    ref_slot = slot;
    ref = table_.record(slot);
}

void Screen::set_display_page(int32_t slot) {
    display_page_slot_ = slot;
    display_page_.store(table_.record(slot), std::memory_order_release);
}

void Screen::set_destination(int32_t target) {
    int32_t slot = resolve_target(target, kInvalidHandle);
    if (!slot) return;
    set_current(slot, destination_, destination_slot_);
}

int32_t Screen::image_width(int32_t target, bool given) {
    if (errors_.pending()) return 0;
    int32_t slot = given ? resolve_target(target, kInvalidHandle) : destination_slot_;
    return slot ? table_.record(slot)->width : 0;
}

int32_t Screen::image_height(int32_t target, bool given) {
    if (errors_.pending()) return 0;
    int32_t slot = given ? resolve_target(target, kInvalidHandle) : destination_slot_;
    return slot ? table_.record(slot)->height : 0;
}

void Screen::page_copy(int32_t from, int32_t to) {
    if (errors_.pending()) return;
    int32_t from_slot = resolve_target(from, kIllegalFunctionCall);
    if (!from_slot) return;
    int32_t to_slot = resolve_target(to, kIllegalFunctionCall);
    if (!to_slot || from_slot == to_slot) return;
    ScreenImage& source = *table_.record(from_slot);
    ScreenImage& target = *table_.record(to_slot);
    if (source.bytes_per_unit != target.bytes_per_unit || source.height != target.height ||
        source.width != target.width ||
        (source.bytes_per_unit == 1 && target.colour_mask < source.colour_mask)) {
        errors_.raise_error(kIllegalFunctionCall);
        return;
    }
    copy_shared(target.data, source.data,
                size_t(source.width) * source.height * source.bytes_per_unit);
}

void Screen::set_width(int32_t columns, int32_t rows, uint32_t flags) {
    if (errors_.pending()) return;
    screen_untouched = 0;
    bool columns_given = flags & 1, rows_given = flags & 2;
    // The sizes are 16-bit fields, so larger ones cannot be stored either.
    if ((!columns_given && !rows_given) || (columns_given && (columns < 1 || columns > 65535)) ||
        (rows_given && (rows < 1 || rows > 65535))) {
        errors_.raise_error(kIllegalFunctionCall);
        return;
    }
    ScreenImage& target = *destination_;
    // Width changes of pixel images belong to the graphics statements.
    if (!target.is_text) return;
    if (!columns_given) columns = target.width;
    if (!rows_given) rows = target.height;
    uint32_t font = rows <= 42 ? 16 : rows <= 49 ? 14 : 8;
    if (columns <= 40) ++font;
    if (columns == target.width && rows == target.height && font == target.font) return;
    size_pending_ = true;
    pending_size_ = {columns, rows, font};
    screen_mode(0, 0, 0, 0, 0, 1);
}

bool Screen::begin_pause() {
    RunState& run = errors_.run();
    if (!run.display_started.load() || display_.display_mode.load() == 0) return false;
    int32_t running = 0;
    display_.pause_state.compare_exchange_strong(running, 1);
    while (display_.pause_state.load() != 2) platform_.sleep_ms(1);
    return true;
}

void Screen::end_pause(bool paused) {
    // Ended whenever it was taken: had display_mode changed meanwhile, a
    // pause left at 2 would stop the frame builder for good.
    if (paused) display_.pause_state.store(0);
}

Screen::TextSize Screen::choose_text_size(const TextSize& previous) const {
    if (size_pending_) {
        TextSize size = pending_size_;
        if (size.columns == 80 && size.rows == 25) size.font = 16;
        if (size.columns == 40 && size.rows == 25) size.font = 17;
        return size;
    }
    static constexpr TextSize kKept[] = {
        {80, 50, 8}, {40, 50, 9}, {80, 43, 8}, {40, 43, 9}, {40, 25, 17},
    };
    for (const TextSize& kept : kKept)
        if (kept.columns == previous.columns && kept.rows == previous.rows) return kept;
    return {80, 25, 16};
}

void Screen::release_pages() {
    for (size_t page = 1; page < page_table_.size(); ++page)
        if (page_table_[page]) image_free(page_table_[page]);
    if (!page_table_.empty() && page_table_[0]) {
        if (page0_is_program_image_)
            table_.record(page_table_[0])->image_flags &= ~kImageScreenPage;
        else
            image_free(page_table_[0]);
    }
    page0_is_program_image_ = false;
    page_table_.assign(1, 0);
}

bool Screen::build_text_pages(const TextSize& size) {
    uint32_t stride = uint32_t(size.columns) * uint32_t(size.rows) * 2;
    if (size.columns == 40 && size.rows == 25) stride = 2048;
    if (size.columns == 80 && size.rows == 25) stride = 4096;
    int32_t backed = int32_t(std::min<uint32_t>(kVideoBytes / stride, kTextPages));
    page_table_.assign(kTextPages, 0);
    for (int32_t k = 0; k < kTextPages; ++k) {
        int32_t slot = k < backed ? image_init(memory_.at(EmulatedMemory::kTextVideo + stride * k),
                                               size.columns, size.rows, 0)
                                  : image_alloc(size.columns, size.rows, 0);
        if (!slot) return false;
        ScreenImage& page = *table_.record(slot);
        image_set_font(size.font, page);
        page.image_flags |= kImageScreenPage;
        page_table_[k] = slot;
    }
    return true;
}

void Screen::page_reset(ScreenImage& image) {
    switch (image.mode) {
        case 0: image.foreground = 7; break;
        case 1:
        case 10: image.foreground = 3; break;
        case 2:
        case 11: image.foreground = 1; break;
        case 32: image.foreground = -1; break;
        default: image.foreground = 15; break;
    }
    image.background = image.mode == 32 ? 0xFF000000u : 0;
    image.last_draw_colour = uint32_t(image.foreground);
    int32_t rows = text_rows(image);
    image.view_top = 1;
    image.view_bottom = int16_t(rows);
    if (image.cursor_row > rows) store_shared(image.cursor_row, int16_t(1));
    image.view_bottom = int16_t(std::max(1, rows - 1));
}

void Screen::screen_mode(int32_t mode, int32_t colour_switch, int32_t active_page,
                         int32_t visual_page, int32_t fifth, uint32_t flags) {
    (void)colour_switch;
    (void)fifth;
    if (errors_.pending()) return;
    if (!(flags == 1 && mode == 0)) screen_untouched = 0;
    bool mode_given = flags & 1, active_given = flags & 4, visual_given = flags & 8;

    bool change = false;
    int32_t program_image = 0;
    if (mode_given) {
        ScreenImage* first = page_table_.empty() ? nullptr : table_.record(page_table_[0]);
        bool have_first = !page_table_.empty() && page_table_[0] != 0;
        if (mode < 0) {
            program_image = resolve_target(mode, kInvalidHandle);
            if (!program_image) return;
            change = !have_first || program_image != page_table_[0];
        } else {
            if ((mode >= 3 && mode <= 6) || mode > 13) {
                errors_.raise_error(kIllegalFunctionCall);
                return;
            }
            change = !have_first || first->mode != mode || size_pending_;
            // Pixel screen modes belong to the graphics statements.
            if (change && mode != 0) {
                errors_.raise_error(kFeatureUnavailable);
                return;
            }
        }
    }
    if (active_given) {
        if (active_page < 0) {
            errors_.raise_error(kIllegalFunctionCall);
            return;
        }
        if (!visual_given) {
            visual_page = active_page;
            visual_given = true;
        }
        if (!change && !page_get(active_page)) return;
    }
    if (visual_given) {
        if (visual_page < 0) {
            errors_.raise_error(kIllegalFunctionCall);
            return;
        }
        if (!change && !page_get(visual_page)) return;
    }
    if (!change && !active_given && !visual_given) return;

    bool paused = change && begin_pause();
    if (change) {
        TextSize previous{80, 25, 16};
        if (ScreenImage* first = page_table_.empty() ? nullptr : table_.record(page_table_[0]);
            first && page_table_[0]) {
            previous = {text_columns(*first), text_rows(*first), first->font};
        }
        release_pages();
        if (program_image) {
            page_table_[0] = program_image;
            table_.record(program_image)->image_flags |= kImageScreenPage;
            page0_is_program_image_ = true;
        } else {
            TextSize size = choose_text_size(previous);
            size_pending_ = false;
            if (!build_text_pages(size)) {
                // Too large for memory: fall back to the start-up screen,
                // whose first page needs no allocation of its own.
                release_pages();
                build_text_pages({80, 25, 16});
                errors_.raise_error(kOutOfMemory);
            }
            uint8_t* video = memory_.at(EmulatedMemory::kTextVideo);
            std::fill_n(reinterpret_cast<uint16_t*>(video), kVideoBytes / 2, kBlankCell);
        }
        set_current(page_table_[0], destination_, destination_slot_);
        set_current(page_table_[0], source_image_, source_image_slot_);
        set_display_page(page_table_[0]);
        display_.invalidate_previous_frame();
        destination_->graphics.draw_state = 0;
        destination_->graphics.draw_scale = 1.0;
        active_page_ = 0;
        if (soft_key_redraw_) soft_key_redraw_->redraw_soft_key_line();
    }
    if (active_given) {
        int32_t slot = page_get(active_page);
        if (slot) {
            if (slot != destination_slot_ || slot != source_image_slot_) {
                set_current(slot, destination_, destination_slot_);
                set_current(slot, source_image_, source_image_slot_);
                page_reset(*destination_);
            }
            if (active_page != active_page_) {
                ScreenImage* previous = table_.record(page_slot(active_page_));
                if (previous && !destination_->is_text) destination_->graphics = previous->graphics;
                active_page_ = active_page;
            }
        }
    }
    if (visual_given) {
        int32_t slot = page_get(visual_page);
        if (slot && slot != display_page_slot_) {
            set_display_page(slot);
            page_reset(*destination_);
        }
    }
    end_pause(paused);
}

}  // namespace quendrel
