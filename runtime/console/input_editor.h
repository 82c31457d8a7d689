// The line editor of the INPUT and LINE INPUT statements.
//
// The user types one line; after every keystroke the line is split into
// comma-separated fields (a field may be quoted, so that it can hold
// commas), and the field being typed is checked against its variable and
// stored at once. A keystroke that makes the line invalid is taken back:
// the line is drawn again from a copy of the screen as it was when the
// editor started, composed on a scratch copy and copied onto the page in
// one piece, so a frame never shows a half-drawn line. When Enter is
// pressed the variables already hold their values.
//
// While the editor runs, frames are produced automatically and the text
// cursor shows; on pixel images, which the frame builder draws no cursor
// for, the editor draws its own by exclusive-or.
//
// Program thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "runtime/console/screen.h"
#include "runtime/console/text_output.h"
#include "runtime/files/key_source.h"
#include "runtime/kernel/runtime_errors.h"
#include "runtime/platform/platform.h"
#include "runtime/strings/string_heap.h"

namespace quendrel {

struct InputVariable {
    // A StringDescriptor for strings, else the variable's bytes.
    void* address = nullptr;
    int32_t type_word = 0;
    // Packed bit fields are not written by the editor: their validated
    // value waits here, as a pattern of the field's bits, for the caller
    // to pack.
    uint64_t bit_field_value = 0;
};

// The receiving variables, filled by the caller before the call and
// indexed from 1.
class InputVariableList {
public:
    void set(int32_t index, void* address, int32_t type_word);
    // Null for an index that was never set.
    InputVariable* at(int32_t index);
    int32_t size() const { return int32_t(entries_.size()); }
    void clear() { entries_.clear(); }

private:
    std::vector<InputVariable> entries_;
};

class InputEditor {
public:
    static constexpr size_t kMaxLine = 255;
    static constexpr uint32_t kPollMs = 10;

    // `console_input` is read instead of the keys when the destination is
    // an image marked as console output.
    InputEditor(RuntimeErrors& errors, Platform& platform, Screen& screen, TextOutput& text,
                StringHeap& strings, KeySource& keys, std::istream& console_input = std::cin);
    InputEditor(const InputEditor&) = delete;
    InputEditor& operator=(const InputEditor&) = delete;

    // Reads one line into variables 1..count of `variables`; with
    // line_end, the cursor moves to the next line afterwards.
    void input_editor(int32_t count, bool line_end);

    // The runtime's own prompt for a random-number seed; the seed typed.
    int16_t random_seed_prompt();

    // The program's event procedure, run after every wait for a key.
    void set_event_procedure(std::function<void()> procedure) {
        event_procedure_ = std::move(procedure);
    }

    InputVariableList variables;

private:
    struct Saved {
        int32_t display_mode = 1;
        int32_t source_slot = 0;
        int32_t page_slot = 0;
        int16_t cursor_column = 1, cursor_row = 1;
        uint8_t wrap_pending = 0;
        uint8_t cursor_visible = 0;
        uint32_t temp_mark = 0;
    };

    bool variables_usable(int32_t count);
    void clear_variables();
    // Splits the typed line into fields and checks and stores the last
    // one; false when the line must be refused.
    bool parse_and_store();
    bool store_field(int32_t index, const std::string& text);
    // Drops the last typed character and draws the line again; false when
    // there was none.
    bool refuse();
    void redraw();
    // False when the editor must stop (shutdown, or an error raised by the
    // event procedure).
    bool wait_key(uint8_t& key);
    std::string read_key();
    void print_character(uint8_t character);
    int32_t scratch_copy(int32_t slot);
    void finish(bool line_end, bool stopping);

    // The cursor of pixel images.
    void update_pixel_cursor();
    void erase_pixel_cursor();
    void toggle_pixel_cursor();

    RuntimeErrors& errors_;
    Platform& platform_;
    Screen& screen_;
    TextOutput& text_;
    StringHeap& strings_;
    KeySource& keys_;
    std::istream& console_input_;
    std::function<void()> event_procedure_;

    // State of one call.
    Saved saved_;
    int32_t count_ = 0;
    int32_t scratch_[2] = {0, 0};
    bool line_input_ = false;
    std::string typed_, displayed_;
    std::vector<std::string> fields_;
    int32_t tab_spaces_ = 0;
    bool cursor_drawn_ = false;
    int16_t cursor_drawn_row_ = 0, cursor_drawn_column_ = 0;
};

}  // namespace quendrel
