// The dialect's string functions: case, trimming, substrings, repetition,
// character codes, search, comparison and the in-place assignments.
//
// Ownership, shared by every function that returns a string:
// - a plain temporary argument is changed in place and returned;
// - any other argument is never changed: the result is a new temporary and
//   the argument is freed if it was a temporary of another kind;
// - when the result would equal the argument, the argument itself comes back.
// Functions with a numeric result never free their arguments; the
// statement's temp_cleanup does.
#pragma once

#include <cstdint>

#include "runtime/kernel/runtime_errors.h"
#include "runtime/strings/string_heap.h"

namespace quendrel {

class StringFunctions {
public:
    StringFunctions(StringHeap& heap, RuntimeErrors& errors) : heap_(heap), errors_(errors) {}

    StringDescriptor* upper_case(StringDescriptor* s);
    StringDescriptor* lower_case(StringDescriptor* s);
    StringDescriptor* trim_left(StringDescriptor* s);
    StringDescriptor* trim_right(StringDescriptor* s);

    StringDescriptor* left_string(StringDescriptor* s, int32_t n);
    StringDescriptor* right_string(StringDescriptor* s, int32_t n);
    StringDescriptor* mid_string(StringDescriptor* s, int32_t start, int32_t length);
    StringDescriptor* mid_string(StringDescriptor* s, int32_t start);  // to the end

    StringDescriptor* char_string(int32_t code);
    StringDescriptor* space_string(int32_t n);
    StringDescriptor* repeat_char(int32_t n, uint8_t code);

    int32_t char_code(StringDescriptor* s);
    int32_t char_code(StringDescriptor* s, int32_t position);

    int32_t instr_search(int32_t start, StringDescriptor* s, StringDescriptor* pattern,
                         int32_t start_given);

    int32_t string_equal(const StringDescriptor* a, const StringDescriptor* b) const;
    int32_t string_not_equal(const StringDescriptor* a, const StringDescriptor* b) const;
    int32_t string_less(const StringDescriptor* a, const StringDescriptor* b) const;
    int32_t string_greater(const StringDescriptor* a, const StringDescriptor* b) const;
    int32_t string_less_equal(const StringDescriptor* a, const StringDescriptor* b) const;
    int32_t string_greater_equal(const StringDescriptor* a, const StringDescriptor* b) const;

    // MID$ statement: the count is `length` when length_given, else the
    // source length. The target's length never changes.
    void mid_assign(StringDescriptor* target, int32_t start, StringDescriptor* source,
                    int32_t length, int32_t length_given);
    // LSET / RSET: the target keeps its length, padded with spaces on the
    // right (left_set) or the left (right_set), or cut.
    void left_set(StringDescriptor* target, StringDescriptor* source);
    void right_set(StringDescriptor* target, StringDescriptor* source);

private:
    // Bytes [offset, offset + count) of s under the ownership rules.
    StringDescriptor* substring(StringDescriptor* s, int32_t offset, int32_t count);
    // s with every byte in [from, to] given bit 0x20 (set or cleared).
    StringDescriptor* change_case(StringDescriptor* s, uint8_t from, uint8_t to, bool set_bit);
    // Byte order of a and b: negative, 0 or positive.
    static int compare(const StringDescriptor* a, const StringDescriptor* b);
    // Whether the in-place statements may write into target's bytes.
    bool writable(const StringDescriptor* target) const;

    StringHeap& heap_;
    RuntimeErrors& errors_;
};

}  // namespace quendrel
