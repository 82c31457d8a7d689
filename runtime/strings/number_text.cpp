#include "runtime/strings/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace quendrel {

namespace {

// Decimal digits of v after the sign position; the caller adds the sign.
uint32_t write_magnitude(uint64_t v, char* out) {
    char digits[20];  // 18446744073709551615
    const uint32_t n = uint32_t(std::to_chars(digits, digits + sizeof digits, v).ptr - digits);
    std::memcpy(out, digits, n);
    return n;
}

struct Mantissa {
    char digits[17];  // significant digits, most significant first
    int exponent;     // power of ten of the first digit
};

// x rounded to `count` significant digits, exactly as printf's "%.*E"
// would print it (to_chars with a precision is defined to match printf).
Mantissa round_to(double x, int count) {
    char buf[40];
    const char* end = std::to_chars(buf, buf + sizeof buf, std::fabs(x),
                                    std::chars_format::scientific, count - 1)
                          .ptr;
    Mantissa m{};
    const char* p = buf;
    m.digits[0] = *p++;
    if (*p == '.') ++p;
    for (int i = 1; i < count; ++i) m.digits[i] = *p++;
    ++p;  // 'e'
    std::from_chars(*p == '+' ? p + 1 : p, end, m.exponent);
    return m;
}

// The shortest fixed or exponent text of x with `precision` significant
// digits and the exponent letter `letter`.
uint32_t write_float(double x, int precision, char letter, char* out) {
    char* o = out;
    *o++ = std::signbit(x) ? '-' : ' ';
    if (!std::isfinite(x)) {
        std::memcpy(o, std::isnan(x) ? "NAN" : "INF", 3);
        return uint32_t(o + 3 - out);
    }
    Mantissa m = round_to(x, precision);
    // A double whose 16th digit is 9 is shown from its 15-digit rounding,
    // so that 0.9999999999999999 reads as 1.
    if (precision == 16 && m.digits[15] == '9') {
        m = round_to(x, 15);
        m.digits[15] = '0';
    }
    int sig = precision;
    while (sig > 0 && m.digits[sig - 1] == '0') --sig;
    if (sig == 0) {
        out[0] = ' ';
        out[1] = '0';
        return 2;
    }
    const int e = m.exponent;
    if (e <= precision - 1 && e - sig >= -(precision + 1)) {
        // Fixed form: x itself with the decimals its digits need (for a
        // 16-digit integer this shows x's own last digit, not the 15-digit
        // rounding). A leading "0" before the point is left out.
        char fixed[48];  // below 10^16 with at most 18 decimals
        const char* end = std::to_chars(fixed, fixed + sizeof fixed, std::fabs(x),
                                        std::chars_format::fixed, std::max(sig - e - 1, 0))
                              .ptr;
        const char* from = fixed[0] == '0' && end - fixed > 1 ? fixed + 1 : fixed;
        std::memcpy(o, from, size_t(end - from));
        o += end - from;
        return uint32_t(o - out);
    }
    *o++ = m.digits[0];
    if (sig > 1) {
        *o++ = '.';
        std::memcpy(o, m.digits + 1, size_t(sig - 1));
        o += sig - 1;
    }
    *o++ = letter;
    *o++ = e < 0 ? '-' : '+';
    const int magnitude = e < 0 ? -e : e;
    if (magnitude < 10) *o++ = '0';
    o = std::to_chars(o, o + 4, magnitude).ptr;
    return uint32_t(o - out);
}

}  // namespace

uint32_t NumberText::write_signed(int64_t v, char* out) {
    out[0] = v < 0 ? '-' : ' ';
    const uint64_t magnitude = v < 0 ? 0 - uint64_t(v) : uint64_t(v);
    return 1 + write_magnitude(magnitude, out + 1);
}

uint32_t NumberText::write_unsigned(uint64_t v, char* out) {
    out[0] = ' ';
    return 1 + write_magnitude(v, out + 1);
}

uint32_t NumberText::write_single(float v, char* out) { return write_float(v, 7, 'E', out); }

uint32_t NumberText::write_double(double v, char* out) { return write_float(v, 16, 'D', out); }

StringDescriptor* NumberText::make(const char* text, uint32_t length) {
    StringDescriptor* r = heap_.string_new(length, true);
    std::memcpy(r->text, text, length);
    return r;
}

StringDescriptor* NumberText::number_text_i8(int8_t v) {
    char buf[kCapacityI8];
    return make(buf, write_signed(v, buf));
}

StringDescriptor* NumberText::number_text_i16(int16_t v) {
    char buf[kCapacityI16];
    return make(buf, write_signed(v, buf));
}

StringDescriptor* NumberText::number_text_i32(int32_t v) {
    char buf[kCapacityI32];
    return make(buf, write_signed(v, buf));
}

StringDescriptor* NumberText::number_text_i64(int64_t v) {
    char buf[kCapacityI64];
    return make(buf, write_signed(v, buf));
}

StringDescriptor* NumberText::number_text_u8(uint8_t v) {
    char buf[kCapacityU8];
    return make(buf, write_unsigned(v, buf));
}

StringDescriptor* NumberText::number_text_u16(uint16_t v) {
    char buf[kCapacityU16];
    return make(buf, write_unsigned(v, buf));
}

StringDescriptor* NumberText::number_text_u32(uint32_t v) {
    char buf[kCapacityU32];
    return make(buf, write_unsigned(v, buf));
}

StringDescriptor* NumberText::number_text_u64(uint64_t v) {
    char buf[kCapacityU64];
    return make(buf, write_unsigned(v, buf));
}

StringDescriptor* NumberText::number_text_single(float v) {
    char buf[kCapacitySingle];
    return make(buf, write_single(v, buf));
}

StringDescriptor* NumberText::number_text_double(double v) {
    char buf[kCapacityDouble];
    return make(buf, write_double(v, buf));
}

StringDescriptor* NumberText::number_text_extended(long double v) {
    char buf[kCapacityExtended];
    return make(buf, write_double(double(v), buf));
}

}  // namespace quendrel
