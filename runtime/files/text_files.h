// The text statements on files: PRINT #, INPUT # into strings and numbers,
// LINE INPUT # and INPUT$.
//
// Text files follow the PC conventions: a line ends with CR LF (CR, LF and
// LF CR are taken as well) and a byte 26 (Ctrl+Z) ends the file wherever it
// stands. read_text_byte leaves the position in front of that mark, so every
// later read finds it again.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/files/file_system.h"
#include "runtime/files/key_source.h"
#include "runtime/files/screen_device.h"

namespace quendrel {

class TextFiles {
public:
    // read_text_byte results besides the bytes 0-255.
    static constexpr int kEnd = -1;
    static constexpr int kError = -2;

    TextFiles(FileSystem& files, ScreenDevice& screen, KeySource& keys)
        : files_(files), handles_(files.handles()), errors_(files.errors()),
          strings_(files.strings()), screen_(screen), keys_(keys) {}

    int read_text_byte(int32_t handle);
    // After a CR or LF: consumes the other half of the pair if it follows.
    void skip_line_end(int32_t handle, int byte);
    // After a numeric field ended by `byte`: moves to the start of the next field.
    void skip_field_end(int32_t handle, int byte);

    // The string is consumed when it is a temporary.
    void file_print_text(int32_t file_number, StringDescriptor* text, bool trailing_space, bool zone,
                         bool line_end);
    void file_input_string(int32_t file_number, StringDescriptor* variable);
    // Stores into a variable of the type word's size; left unchanged on error.
    void file_input_number(int32_t file_number, int32_t type_word, void* variable);
    void file_line_input(int32_t file_number, StringDescriptor* variable);
    // A temporary string (the empty string on error).
    StringDescriptor* input_chars(int32_t count, int32_t file_number, bool file_given);

private:
    bool step_back(int32_t handle);
    void skip_string_field_end(int32_t handle, int byte);
    // Opens for the text reads: the handle, or −1 after raising.
    int32_t readable_input(int32_t file_number);
    StringDescriptor* make_string(const std::string& bytes);
    StringDescriptor* empty_result();
    void assign(StringDescriptor* variable, const std::string& bytes);
    StringDescriptor* keyboard_chars(int32_t count);

    FileSystem& files_;
    FileHandleTable& handles_;
    RuntimeErrors& errors_;
    StringHeap& strings_;
    ScreenDevice& screen_;
    KeySource& keys_;
};

}  // namespace quendrel
