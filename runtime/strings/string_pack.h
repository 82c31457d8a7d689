// Numbers packed into strings and back (MKI$/CVI and friends), and the
// Microsoft Binary Format forms (MKSMBF$/CVSMBF, MKDMBF$/CVDMBF).
//
// Packed strings hold the value's bytes in memory order. The 32-byte form
// holds an extended value followed by zero bytes. Bit fields take
// (bits + 7) / 8 bytes of the value masked to its bits.
//
// Microsoft Binary Format: the last byte is the exponent E (0 means zero),
// the byte before it holds the sign in bit 7 and the top fraction bits; the
// value is 1.fraction x 2^(E - 129). Single form: 23 fraction bits; double
// form: 55. Magnitudes of 2^127 and above cannot be written (error 5);
// magnitudes below 2^-128 become zero.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/kernel/runtime_errors.h"
#include "runtime/strings/string_heap.h"

namespace quendrel {

class StringPack {
public:
    static constexpr uint32_t kExtendedFormSize = 32;

    StringPack(StringHeap& heap, RuntimeErrors& errors) : heap_(heap), errors_(errors) {}

    StringDescriptor* pack_value_i8(int8_t v) { return pack_bytes(&v, sizeof v); }
    StringDescriptor* pack_value_u8(uint8_t v) { return pack_bytes(&v, sizeof v); }
    StringDescriptor* pack_value_i16(int16_t v) { return pack_bytes(&v, sizeof v); }
    StringDescriptor* pack_value_u16(uint16_t v) { return pack_bytes(&v, sizeof v); }
    StringDescriptor* pack_value_i32(int32_t v) { return pack_bytes(&v, sizeof v); }
    StringDescriptor* pack_value_u32(uint32_t v) { return pack_bytes(&v, sizeof v); }
    StringDescriptor* pack_value_i64(int64_t v) { return pack_bytes(&v, sizeof v); }
    StringDescriptor* pack_value_u64(uint64_t v) { return pack_bytes(&v, sizeof v); }
    StringDescriptor* pack_value_single(float v) { return pack_bytes(&v, sizeof v); }
    StringDescriptor* pack_value_double(double v) { return pack_bytes(&v, sizeof v); }
    StringDescriptor* pack_value_extended(long double v);
    // bits outside 1 ... 64 are clamped; 0 or less gives the empty string.
    StringDescriptor* pack_value_bits(uint64_t v, int32_t bits);

    // Error 5 and 0 when s is shorter than the form.
    int8_t unpack_value_i8(const StringDescriptor* s);
    uint8_t unpack_value_u8(const StringDescriptor* s);
    int16_t unpack_value_i16(const StringDescriptor* s);
    uint16_t unpack_value_u16(const StringDescriptor* s);
    int32_t unpack_value_i32(const StringDescriptor* s);
    uint32_t unpack_value_u32(const StringDescriptor* s);
    int64_t unpack_value_i64(const StringDescriptor* s);
    uint64_t unpack_value_u64(const StringDescriptor* s);
    float unpack_value_single(const StringDescriptor* s);
    double unpack_value_double(const StringDescriptor* s);
    long double unpack_value_extended(const StringDescriptor* s);  // needs all 32 bytes
    // Signed fields are sign-extended from their top bit.
    int64_t unpack_value_bits(const StringDescriptor* s, int32_t bits, bool is_signed);

    StringDescriptor* pack_msbf_single(float v);
    StringDescriptor* pack_msbf_double(double v);
    float unpack_msbf_single(const StringDescriptor* s);
    double unpack_msbf_double(const StringDescriptor* s);

private:
    StringDescriptor* pack_bytes(const void* bytes, uint32_t n);
    // Copies the first n bytes of s into out; false (error 5 raised) when
    // s is too short or an error is already pending.
    bool unpack_bytes(const StringDescriptor* s, void* out, uint32_t n);
    template <typename T>
    T unpack_as(const StringDescriptor* s) {
        T v{};
        return unpack_bytes(s, &v, sizeof v) ? v : T{};
    }
    // An MBF number of `fraction_bits` fraction bits in n bytes; null after
    // error 5.
    StringDescriptor* pack_msbf(double v, int fraction_bits, uint32_t n);

    StringHeap& heap_;
    RuntimeErrors& errors_;
};

}  // namespace quendrel
