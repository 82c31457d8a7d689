// The formatted-print template engine (PRINT USING).
//
// A statement formats its values one call at a time into one output string:
// each call places exactly one value into the next field of the template,
// copies the literal text after it up to the following field and returns
// that field's position (0 at the end, so further values reuse the template
// from its start).
//
// Numbers enter the engine as the exact decimal digits of their magnitude
// (digits x 10^exponent_adjust); fields round half away from zero on those
// digits. Numeric fields: "#", ".", leading "+", trailing "+" or "-", "**",
// "$$", "**$", "," and "^^^^" or "^^^^^". String fields: "&", "!" and a
// backslash, spaces and a backslash. "_" makes the next character literal.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/kernel/runtime_errors.h"
#include "runtime/strings/string_heap.h"

namespace quendrel {

class FormatUsing {
public:
    static constexpr int32_t kDigitCapacity = 1024;

    FormatUsing(StringHeap& heap, RuntimeErrors& errors) : heap_(heap), errors_(errors) {}

    // Places the string `value` (error 13 at a numeric field). Returns the
    // next position; 0 after an error.
    int32_t format_using(StringDescriptor* tmpl, int32_t position, StringDescriptor* output,
                         StringDescriptor* value);

    int32_t format_using_int64(StringDescriptor* tmpl, int64_t value, int32_t position,
                               StringDescriptor* output);
    int32_t format_using_uint64(StringDescriptor* tmpl, uint64_t value, int32_t position,
                                StringDescriptor* output);
    int32_t format_using_single(StringDescriptor* tmpl, float value, int32_t position,
                                StringDescriptor* output);
    int32_t format_using_double(StringDescriptor* tmpl, double value, int32_t position,
                                StringDescriptor* output);
    int32_t format_using_extended(StringDescriptor* tmpl, long double value, int32_t position,
                                  StringDescriptor* output);

private:
    struct NumericField {
        int64_t integer_positions = 0;
        int64_t decimals = 0;
        int32_t exponent_digits = 0;  // 0, 2 or 3
        int32_t end = 0;              // first template position after the field
        bool point = false;
        bool leading_sign = false;
        char trailing_sign = 0;       // '+', '-' or none
        bool separator = false;
        bool asterisk_fill = false;
        bool currency = false;
    };

    // The template walk; `string_value` is null while a number is loaded.
    int32_t walk(StringDescriptor* tmpl, int32_t position, StringDescriptor* output,
                 const StringDescriptor* string_value);
    static bool read_numeric_field(const uint8_t* text, int32_t length, int32_t at,
                                   NumericField& field);
    // Length of the string field at `at`, or 0 when there is none.
    static int32_t string_field_length(const uint8_t* text, int32_t length, int32_t at);
    void place_string(const uint8_t* text, int32_t at, int32_t field_length,
                      const StringDescriptor* value);
    void place_fixed(const NumericField& field);
    void place_exponent(const NumericField& field);

    // Loading a number; false (error 5 raised) when it has no digits.
    bool load_magnitude(uint64_t magnitude, bool negative);
    bool load_scientific(double value);
    bool load_extended(long double value);
    // Takes digits from `text` (stopping at any non-digit) into the buffer.
    void append_digits(const char* text, const char* end, bool fractional);
    void normalise(bool negative);

    bool is_zero() const { return digit_count_ == 1 && digits_[0] == '0'; }
    int64_t integer_digits() const { return int64_t(digit_count_) + exponent_adjust_; }
    char next_digit() {
        const int64_t i = cursor_++;
        return i < digit_count_ ? digits_[i] : '0';
    }
    bool next_digit_rounds_up() const {
        return cursor_ < digit_count_ && digits_[cursor_] >= '5';
    }
    void round_up();  // adds 1 to the last digit taken

    void flush(StringDescriptor* output);

    StringHeap& heap_;
    RuntimeErrors& errors_;

    // One spare place for the digit a carry out of the first digit adds.
    char digits_[kDigitCapacity + 1] = {};
    int32_t digit_count_ = 0;
    int32_t exponent_adjust_ = 0;
    bool negative_ = false;
    char exponent_letter_ = 'E';
    int64_t cursor_ = 0;

    std::string pending_;  // this call's output, appended to the output string once
};

}  // namespace quendrel
