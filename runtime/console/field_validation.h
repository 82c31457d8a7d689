// Keystroke validation of one numeric field of the input statements: is the
// text typed so far a value (or the beginning of one) that fits the
// variable? A valid field is converted and stored at once, so the variable
// always holds what the screen shows.
//
// Integers: decimal with the type's limits, &H hexadecimal and &O octal
// bit patterns with at most as many digits as the largest value has.
// Floating point: sign, integer part, point, fraction, exponent (E, and D
// for double and extended), refused as soon as the value can no longer fit
// the type or carries more significant digits than the type keeps.
#pragma once

#include <cstdint>
#include <string_view>

namespace quendrel {

// Whether the editor can serve a variable of this type word: strings,
// integers of 8, 16, 32 or 64 bits, floating point of 32, 64 or 256 bits,
// packed bit fields of 1 to 64 bits.
bool input_type_supported(int32_t type_word);

// Bytes validate_number_field writes for a type word: the variable's size,
// or 8 for a packed bit field, whose value is given as a 64-bit pattern.
int32_t field_store_bytes(int32_t type_word);

// True when `field` is valid for a numeric variable of `type_word`; then its
// value is written to `store` (field_store_bytes of it), unless store is null.
// A refused field writes nothing.
bool validate_number_field(std::string_view field, int32_t type_word, void* store);

}  // namespace quendrel
