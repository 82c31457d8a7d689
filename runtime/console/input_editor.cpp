#include "runtime/console/input_editor.h"

#include <algorithm>
#include <cstring>

#include "runtime/console/field_validation.h"
#include "runtime/console/input_types.h"

namespace quendrel {

namespace {

constexpr int32_t kIllegalFunctionCall = 5;
constexpr int32_t kFirstCopyFailed = 516;
constexpr int32_t kSecondCopyFailed = 517;
constexpr char kSeedPrompt[] = "Random-number seed (-32768 to 32767)? ";

// A descriptor over text the editor holds itself; print_string only reads it.
StringDescriptor view_of(const uint8_t* text, size_t length) {
    StringDescriptor d;
    d.text = const_cast<uint8_t*>(text);
    d.length = int32_t(length);
    return d;
}

}  // namespace

void InputVariableList::set(int32_t index, void* address, int32_t type_word) {
    if (index < 1) return;
    if (size_t(index) > entries_.size()) entries_.resize(size_t(index));
    entries_[size_t(index) - 1] = {address, type_word, 0};
}

InputVariable* InputVariableList::at(int32_t index) {
    if (index < 1 || size_t(index) > entries_.size()) return nullptr;
    return &entries_[size_t(index) - 1];
}

InputEditor::InputEditor(RuntimeErrors& errors, Platform& platform, Screen& screen,
                         TextOutput& text, StringHeap& strings, KeySource& keys,
                         std::istream& console_input)
    : errors_(errors),
      platform_(platform),
      screen_(screen),
      text_(text),
      strings_(strings),
      keys_(keys),
      console_input_(console_input) {
    typed_.reserve(kMaxLine + 1);
    displayed_.reserve(kMaxLine + 1);
}

bool InputEditor::variables_usable(int32_t count) {
    if (count < 1 || count > variables.size()) return false;
    for (int32_t i = 1; i <= count; ++i) {
        const InputVariable* v = variables.at(i);
        if (!v->address || !input_type_supported(v->type_word)) return false;
    }
    return true;
}

int32_t InputEditor::scratch_copy(int32_t slot) {
    const ScreenImage& from = *screen_.image(slot);
    int32_t copy = screen_.image_alloc(from.width, from.height, from.mode);
    if (!copy) return 0;
    ScreenImage& to = *screen_.image(copy);
    // The whole record, but the copy keeps its own memory and palette and
    // is not a screen page.
    uint8_t* data = to.data;
    uint32_t* palette = to.palette;
    const uint32_t flags = to.image_flags;
    to = from;
    to.data = data;
    to.palette = palette;
    to.image_flags = flags;
    to.lock_record = nullptr;
    to.lock_id = 0;
    std::memcpy(data, from.data, size_t(from.width) * from.height * from.bytes_per_unit);
    if (palette && from.palette) std::memcpy(palette, from.palette, 256 * sizeof(uint32_t));
    return copy;
}

void InputEditor::clear_variables() {
    for (int32_t i = 1; i <= count_; ++i) {
        InputVariable& v = *variables.at(i);
        v.bit_field_value = 0;
        if (v.type_word & kTypeString) {
            auto* s = static_cast<StringDescriptor*>(v.address);
            if (s->fixed)
                std::memset(s->text, ' ', uint32_t(s->length));
            else
                strings_.string_assign(s, strings_.empty_string());
        } else if (!(v.type_word & kTypeBitField)) {
            std::memset(v.address, 0, size_t(type_byte_count(v.type_word)));
        }
    }
}

void InputEditor::input_editor(int32_t count, bool line_end) {
    if (errors_.pending()) return;
    if (!variables_usable(count)) {
        errors_.raise_error(kIllegalFunctionCall);
        return;
    }
    count_ = count;
    DisplayState& display = screen_.display();

    // Set-up: the frame thread shows the typing; reads come from the page.
    saved_.display_mode = display.display_mode.exchange(1);
    saved_.source_slot = screen_.source_image_slot();
    saved_.page_slot = screen_.destination_slot();
    screen_.set_source_slot(saved_.page_slot);
    // Both failures are critical errors, which end the process.
    scratch_[0] = scratch_copy(saved_.page_slot);
    if (!scratch_[0]) errors_.raise_error(kFirstCopyFailed);
    scratch_[1] = scratch_[0] ? scratch_copy(saved_.page_slot) : 0;
    if (scratch_[0] && !scratch_[1]) errors_.raise_error(kSecondCopyFailed);
    ScreenImage& page = screen_.destination();
    saved_.cursor_column = page.cursor_column;
    saved_.cursor_row = page.cursor_row;
    saved_.wrap_pending = page.wrap_pending;
    saved_.temp_mark = strings_.temp_count();
    const int32_t first_type = variables.at(1)->type_word;
    line_input_ = (first_type & kTypeString) && (first_type & kTypeLineInput);
    saved_.cursor_visible = page.cursor_visible;
    store_shared(page.cursor_visible, uint8_t(1));
    typed_.clear();
    displayed_.clear();
    fields_.assign(size_t(count_), std::string());
    tab_spaces_ = 0;
    cursor_drawn_ = false;
    clear_variables();

    bool parse = true;
    bool stopping = false;
    for (;;) {
        while (parse) {
            if (parse_and_store()) {
                displayed_ = typed_;
                break;
            }
            if (!refuse()) break;
        }
        parse = false;
        uint8_t key;
        if (!wait_key(key)) {
            stopping = errors_.run().stop_threads.load() != 0;
            break;
        }
        if (key == 13) break;
        switch (key) {
            case 7: print_character(7); break;  // the bell pauses; the line stays
            case 10:
            case 11:
            case 12:
            case 28:
            case 29:
            case 30:
            case 31: break;
            case 9: tab_spaces_ = 8 - int32_t(displayed_.size() & 7); break;
            case 8: parse = refuse(); break;
            default:
                if (displayed_.size() >= kMaxLine) break;
                displayed_ += char(key);
                if (!screen_.destination().is_console) print_character(key);
                typed_ = displayed_;
                parse = true;
                break;
        }
    }
    finish(line_end, stopping);
}

void InputEditor::finish(bool line_end, bool stopping) {
    erase_pixel_cursor();
    fields_.clear();
    ScreenImage& page = *screen_.image(saved_.page_slot);
    if (line_end && !stopping && !page.is_console) {
        StringDescriptor nothing = view_of(nullptr, 0);
        text_.print_string(&nothing, true);
    }
    typed_.clear();
    displayed_.clear();
    strings_.temp_cleanup(saved_.temp_mark, 0);
    store_shared(page.cursor_visible, saved_.cursor_visible);
    for (int32_t& slot : scratch_) {
        if (slot) screen_.image_free(slot);
        slot = 0;
    }
    DisplayState& display = screen_.display();
    RunState& run = errors_.run();
    if (saved_.display_mode == 0 && !stopping) {
        if (!run.display_started.load()) {
            // No frame thread runs, so none is building a frame to finish.
            display.display_mode.store(0);
        } else {
            display.display_mode.store(-1);
            while (display.display_mode.load() != 0 && !run.stop_threads.load())
                platform_.sleep_ms(1);
        }
    }
    screen_.set_source_slot(saved_.source_slot);
}

bool InputEditor::parse_and_store() {
    for (std::string& f : fields_) f.clear();
    int32_t current = 0;
    int quote = 0;  // 0 none, 1 inside a quoted field, 2 after its closing quote
    bool at_start = true;
    for (char c : typed_) {
        if (!line_input_) {
            if (c == ',' && quote != 1) {
                if (current + 1 >= count_) return false;  // more fields than variables
                ++current;
                quote = 0;
                at_start = true;
                continue;
            }
            if (c == '"' && at_start && quote == 0) {
                quote = 1;
                continue;
            }
            if (c == '"' && quote == 1) {
                quote = 2;
                continue;
            }
            if (quote == 2) return false;  // only a comma may follow a closing quote
        }
        fields_[size_t(current)] += c;
        at_start = false;
    }
    return store_field(current + 1, fields_[size_t(current)]);
}

bool InputEditor::store_field(int32_t index, const std::string& text) {
    InputVariable& v = *variables.at(index);
    if (v.type_word & kTypeString) {
        auto* s = static_cast<StringDescriptor*>(v.address);
        if (s->fixed && text.size() > size_t(s->length)) return false;
        StringDescriptor* value = strings_.string_new(uint32_t(text.size()), true);
        if (!value) return false;
        if (!text.empty()) std::memcpy(value->text, text.data(), text.size());
        strings_.string_assign(s, value);
        return true;
    }
    void* store = v.type_word & kTypeBitField ? static_cast<void*>(&v.bit_field_value) : v.address;
    return validate_number_field(text, v.type_word, store);
}

bool InputEditor::refuse() {
    if (typed_.empty()) return false;
    typed_.pop_back();
    redraw();
    return true;
}

void InputEditor::redraw() {
    ScreenImage& page = *screen_.image(saved_.page_slot);
    // A console's terminal shows its own echo; nothing here to draw.
    if (page.is_console || errors_.pending()) return;
    ScreenImage& work = *screen_.image(scratch_[1]);
    screen_.page_copy(-scratch_[0], -scratch_[1]);
    screen_.set_destination_slot(scratch_[1]);
    store_cursor(work, saved_.cursor_row, saved_.cursor_column);
    store_wrap_pending(work, saved_.wrap_pending);
    for (char c : typed_) print_character(uint8_t(c));
    screen_.set_destination_slot(saved_.page_slot);
    screen_.page_copy(-scratch_[1], -saved_.page_slot);
    store_cursor(page, work.cursor_row, work.cursor_column);
    // The waiting wrap goes with the cursor, or the next character would
    // overwrite the last column instead of starting the next line.
    store_wrap_pending(page, work.wrap_pending);
}

void InputEditor::print_character(uint8_t character) {
    StringDescriptor one = view_of(&character, 1);
    text_.print_string(&one, false);
}

std::string InputEditor::read_key() {
    std::string key;
    if (screen_.destination().is_console) {
        int c = console_input_.get();
        if (c == std::char_traits<char>::eof()) {
            console_input_.clear();
            platform_.sleep_ms(kPollMs);
            return key;
        }
        key = c == '\n' ? '\r' : char(c);
        return key;
    }
    update_pixel_cursor();
    platform_.sleep_ms(kPollMs);
    StringDescriptor* k = keys_.poll_key();
    if (k) {
        if (k->length > 0) key.assign(reinterpret_cast<const char*>(k->text), size_t(k->length));
        strings_.free_if_temporary(k);
    }
    return key;
}

bool InputEditor::wait_key(uint8_t& key) {
    RunState& run = errors_.run();
    for (;;) {
        if (tab_spaces_ > 0) {
            --tab_spaces_;
            key = ' ';
            return true;
        }
        std::string k = read_key();
        if (event_procedure_) event_procedure_();
        strings_.temp_cleanup(saved_.temp_mark, 0);
        if (run.stop_threads.load() || errors_.pending()) return false;
        // Extended keys (two bytes) mean nothing to the editor.
        if (k.size() == 1) {
            erase_pixel_cursor();
            key = uint8_t(k[0]);
            return true;
        }
    }
}

// The pixel-image cursor: the destination's foreground colour exclusive-or'd
// into the cursor cell, or into its first pixel column on 32-bit images,
// free 8-bit images and loaded fonts, where it blinks in 512 ms phases.
void InputEditor::update_pixel_cursor() {
    const ScreenImage& d = screen_.destination();
    if (d.is_text || !d.data || d.is_console) return;
    const bool thin = d.bytes_per_unit == 4 || d.mode == 256 || !screen_.tables().is_builtin_font(d.font);
    const bool wanted = !thin || (platform_.clock_ms() & 512) == 0;
    if (wanted != cursor_drawn_) toggle_pixel_cursor();
}

void InputEditor::erase_pixel_cursor() {
    if (cursor_drawn_) toggle_pixel_cursor();
}

void InputEditor::toggle_pixel_cursor() {
    ScreenImage& d = screen_.destination();
    const DisplayTables& tables = screen_.tables();
    if (!cursor_drawn_) {
        cursor_drawn_row_ = d.cursor_row;
        cursor_drawn_column_ = d.cursor_column;
    }
    cursor_drawn_ = !cursor_drawn_;
    // Loaded fonts keep their metrics with the graphics statements, which
    // this runtime does not have; without metrics there is no cell to mark.
    if (!tables.is_builtin_font(d.font)) return;
    const int32_t cell_width = tables.font_cell_width[d.font];
    const int32_t cell_height = tables.font_cell_height[d.font];
    const bool thin = d.bytes_per_unit == 4 || d.mode == 256;
    const int32_t x0 = (cursor_drawn_column_ - 1) * cell_width;
    const int32_t y0 = (cursor_drawn_row_ - 1) * cell_height;
    const int32_t x1 = std::min<int32_t>(x0 + (thin ? 1 : cell_width), d.width);
    const int32_t y1 = std::min<int32_t>(y0 + cell_height, d.height);
    for (int32_t y = std::max(y0, 0); y < y1; ++y) {
        for (int32_t x = std::max(x0, 0); x < x1; ++x) {
            const size_t at = size_t(y) * d.width + size_t(x);
            if (d.bytes_per_unit == 4) {
                uint32_t& pixel = reinterpret_cast<uint32_t*>(d.data)[at];
                store_shared(pixel, pixel ^ uint32_t(d.foreground));
            } else {
                uint8_t& pixel = d.data[at];
                store_shared(pixel, uint8_t(pixel ^ (uint32_t(d.foreground) & d.colour_mask)));
            }
        }
    }
}

int16_t InputEditor::random_seed_prompt() {
    if (errors_.pending()) return 0;
    StringDescriptor prompt =
        view_of(reinterpret_cast<const uint8_t*>(kSeedPrompt), sizeof kSeedPrompt - 1);
    text_.print_string(&prompt, false);
    int16_t seed = 0;
    variables.clear();
    variables.set(1, &seed, kTypeInt16);
    input_editor(1, true);
    variables.clear();
    return seed;
}

}  // namespace quendrel
