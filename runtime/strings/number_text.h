// The text form of numbers (STR$): a sign position (space or "-"), then the
// digits. Integers print in full; floating point uses the shorter of a fixed
// and an exponent form with 7 significant digits and the letter E (single)
// or 16 significant digits and the letter D (double; extended values are
// narrowed to double first).
#pragma once

#include <cstdint>

#include "runtime/strings/string_heap.h"

namespace quendrel {

class NumberText {
public:
    // The longest text each conversion can produce.
    static constexpr uint32_t kCapacityI8 = 4, kCapacityI16 = 6, kCapacityI32 = 11,
                              kCapacityI64 = 20;
    static constexpr uint32_t kCapacityU8 = 4, kCapacityU16 = 6, kCapacityU32 = 11,
                              kCapacityU64 = 21;
    static constexpr uint32_t kCapacitySingle = 16, kCapacityDouble = 32,
                              kCapacityExtended = 32;

    explicit NumberText(StringHeap& heap) : heap_(heap) {}

    StringDescriptor* number_text_i8(int8_t v);
    StringDescriptor* number_text_i16(int16_t v);
    StringDescriptor* number_text_i32(int32_t v);
    StringDescriptor* number_text_i64(int64_t v);
    StringDescriptor* number_text_u8(uint8_t v);
    StringDescriptor* number_text_u16(uint16_t v);
    StringDescriptor* number_text_u32(uint32_t v);
    StringDescriptor* number_text_u64(uint64_t v);
    StringDescriptor* number_text_single(float v);
    StringDescriptor* number_text_double(double v);
    StringDescriptor* number_text_extended(long double v);

    // The same texts written into out (at least the type's capacity);
    // they return the length. Shared with the text output routines.
    static uint32_t write_signed(int64_t v, char* out);
    static uint32_t write_unsigned(uint64_t v, char* out);
    static uint32_t write_single(float v, char* out);
    static uint32_t write_double(double v, char* out);

private:
    StringDescriptor* make(const char* text, uint32_t length);

    StringHeap& heap_;
};

}  // namespace quendrel
