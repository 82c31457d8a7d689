#include "runtime/strings/string_pack.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace quendrel {

namespace {

constexpr int32_t kIllegalFunctionCall = 5;
constexpr int kMsbfSingleFraction = 23;
constexpr int kMsbfDoubleFraction = 55;
constexpr int kMsbfBias = 129;  // value = 1.fraction x 2^(E - 129)

// Bytes of a long double that carry its value: 10 for the x87 format, whose
// storage is padded to 16 bytes of undefined content.
constexpr size_t kExtendedValueBytes =
    std::numeric_limits<long double>::digits == 64 ? 10 : sizeof(long double);
static_assert(kExtendedValueBytes <= StringPack::kExtendedFormSize);

int32_t clamp_bits(int32_t bits) { return bits < 0 ? 0 : bits > 64 ? 64 : bits; }

uint64_t low_mask(int32_t bits) { return bits >= 64 ? ~uint64_t(0) : (uint64_t(1) << bits) - 1; }

}  // namespace

StringDescriptor* StringPack::pack_bytes(const void* bytes, uint32_t n) {
    StringDescriptor* r = heap_.string_new(n, true);
    if (n > 0) std::memcpy(r->text, bytes, n);
    return r;
}

StringDescriptor* StringPack::pack_value_extended(long double v) {
    uint8_t form[kExtendedFormSize] = {};
    std::memcpy(form, &v, kExtendedValueBytes);
    return pack_bytes(form, kExtendedFormSize);
}

StringDescriptor* StringPack::pack_value_bits(uint64_t v, int32_t bits) {
    bits = clamp_bits(bits);
    const uint64_t masked = v & low_mask(bits);
    uint8_t bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = uint8_t(masked >> (8 * i));
    return pack_bytes(bytes, uint32_t(bits + 7) / 8);
}

bool StringPack::unpack_bytes(const StringDescriptor* s, void* out, uint32_t n) {
    if (errors_.pending()) return false;
    if (uint32_t(s->length) < n) {
        errors_.raise_error(kIllegalFunctionCall);
        return false;
    }
    if (n > 0) std::memcpy(out, s->text, n);
    return true;
}

int8_t StringPack::unpack_value_i8(const StringDescriptor* s) { return unpack_as<int8_t>(s); }
uint8_t StringPack::unpack_value_u8(const StringDescriptor* s) { return unpack_as<uint8_t>(s); }
int16_t StringPack::unpack_value_i16(const StringDescriptor* s) { return unpack_as<int16_t>(s); }
uint16_t StringPack::unpack_value_u16(const StringDescriptor* s) { return unpack_as<uint16_t>(s); }
int32_t StringPack::unpack_value_i32(const StringDescriptor* s) { return unpack_as<int32_t>(s); }
uint32_t StringPack::unpack_value_u32(const StringDescriptor* s) { return unpack_as<uint32_t>(s); }
int64_t StringPack::unpack_value_i64(const StringDescriptor* s) { return unpack_as<int64_t>(s); }
uint64_t StringPack::unpack_value_u64(const StringDescriptor* s) { return unpack_as<uint64_t>(s); }
float StringPack::unpack_value_single(const StringDescriptor* s) { return unpack_as<float>(s); }
double StringPack::unpack_value_double(const StringDescriptor* s) { return unpack_as<double>(s); }

long double StringPack::unpack_value_extended(const StringDescriptor* s) {
    uint8_t form[kExtendedFormSize];
    if (!unpack_bytes(s, form, kExtendedFormSize)) return 0;
    long double v = 0;
    std::memcpy(&v, form, kExtendedValueBytes);
    return v;
}

int64_t StringPack::unpack_value_bits(const StringDescriptor* s, int32_t bits, bool is_signed) {
    bits = clamp_bits(bits);
    uint8_t bytes[8] = {};
    if (!unpack_bytes(s, bytes, uint32_t(bits + 7) / 8)) return 0;
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= uint64_t(bytes[i]) << (8 * i);
    v &= low_mask(bits);
    if (is_signed && bits > 0 && bits < 64 && (v >> (bits - 1)) & 1) v |= ~low_mask(bits);
    return int64_t(v);
}

StringDescriptor* StringPack::pack_msbf(double v, int fraction_bits, uint32_t n) {
    if (errors_.pending()) return heap_.string_new(0, true);
    uint64_t form = 0;
    if (v != 0) {
        if (!std::isfinite(v)) {
            errors_.raise_error(kIllegalFunctionCall);
            return heap_.string_new(0, true);
        }
        int e = 0;
        const double m = std::frexp(std::fabs(v), &e);  // |v| = m x 2^e, m in [0.5, 1)
        const int exponent = e - 1 + kMsbfBias;
        if (exponent > 255) {
            errors_.raise_error(kIllegalFunctionCall);
            return heap_.string_new(0, true);
        }
        if (exponent >= 1) {
            // 2m - 1 has at most 52 fraction bits, so the scaling is exact.
            const uint64_t fraction = uint64_t(std::ldexp(2 * m - 1, fraction_bits));
            form = fraction | (uint64_t(std::signbit(v)) << fraction_bits) |
                   (uint64_t(exponent) << (fraction_bits + 1));
        }
        // Below 2^-128 nothing can be written but zero.
    }
    uint8_t bytes[8];
    for (uint32_t i = 0; i < n; ++i) bytes[i] = uint8_t(form >> (8 * i));
    return pack_bytes(bytes, n);
}

StringDescriptor* StringPack::pack_msbf_single(float v) {
    return pack_msbf(v, kMsbfSingleFraction, 4);
}

StringDescriptor* StringPack::pack_msbf_double(double v) {
    return pack_msbf(v, kMsbfDoubleFraction, 8);
}

float StringPack::unpack_msbf_single(const StringDescriptor* s) {
    uint8_t b[4];
    if (!unpack_bytes(s, b, 4)) return 0;
    const int exponent = b[3];
    if (exponent == 0) return 0;
    const uint32_t mantissa = (uint32_t(1) << 23) | (uint32_t(b[2] & 0x7F) << 16) |
                              (uint32_t(b[1]) << 8) | b[0];
    // Exact in double; the narrowing rounds once (values near 2^-128 are
    // subnormal floats).
    const double magnitude = std::ldexp(double(mantissa), exponent - kMsbfBias - 23);
    return float((b[2] & 0x80) ? -magnitude : magnitude);
}

double StringPack::unpack_msbf_double(const StringDescriptor* s) {
    uint8_t b[8];
    if (!unpack_bytes(s, b, 8)) return 0;
    const int exponent = b[7];
    if (exponent == 0) return 0;
    uint64_t mantissa = uint64_t(1) << 55;  // 56 significant bits
    for (int i = 0; i < 7; ++i) mantissa |= uint64_t(i == 6 ? b[i] & 0x7F : b[i]) << (8 * i);
    // Round the 56 bits to a double's 53, ties to even.
    uint64_t kept = mantissa >> 3;
    const uint64_t dropped = mantissa & 7;
    if (dropped > 4 || (dropped == 4 && (kept & 1))) ++kept;
    const double magnitude = std::ldexp(double(kept), exponent - kMsbfBias - 52);
    return (b[6] & 0x80) ? -magnitude : magnitude;
}

}  // namespace quendrel
