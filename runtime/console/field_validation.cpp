#include "runtime/console/field_validation.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <system_error>

#include "runtime/console/input_types.h"

namespace quendrel {

namespace {

// Range of a floating-point type in decimal: the position of a value is the
// power p of 10 with value = 0.ddd... * 10^p.
struct FloatLimits {
    int64_t max_position, min_position;
    std::string_view max_digits, min_digits;
    size_t compared_digits;
    size_t max_zeros_after_point;
    size_t max_significant;
};
constexpr FloatLimits kSingleLimits = {39, -44, "3402823", "1401298", 7, 43, 8};
constexpr FloatLimits kDoubleLimits = {309, -323, "17976931", "4940656", 8, 322, 16};

// Exponents this large are out of range for every type; the cap only keeps
// the running value from overflowing while the digits are read.
constexpr int64_t kExponentCap = 1000000;

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

constexpr int digit_in(char c, int radix) {
    int d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    return d < radix ? d : -1;
}

constexpr int digits_of(uint64_t value, int radix) {
    int n = 0;
    do {
        ++n;
        value /= uint64_t(radix);
    } while (value);
    return n;
}

constexpr uint64_t all_ones(int bits) { return bits >= 64 ? ~uint64_t(0) : (uint64_t(1) << bits) - 1; }

enum class Pattern { NotPattern, Valid, Refused };

// The &H and &O forms. `bits` 64 takes up to 16 hexadecimal digits, or 22
// octal ones when the first is 0 or 1; narrower types take as many digits
// as their largest value has, and no value above it.
Pattern read_pattern(std::string_view field, int bits, uint64_t& value) {
    value = 0;
    if (field.empty() || field[0] != '&') return Pattern::NotPattern;
    if (field.size() == 1) return Pattern::Valid;
    int radix;
    switch (field[1]) {
        case 'H':
        case 'h': radix = 16; break;
        case 'O':
        case 'o': radix = 8; break;
        default: return Pattern::NotPattern;
    }
    std::string_view digits = field.substr(2);
    if (digits.empty()) return Pattern::Valid;
    const uint64_t largest = all_ones(bits);
    size_t max_digits = size_t(digits_of(largest, radix));
    if (bits >= 64 && radix == 8 && digits[0] != '0' && digits[0] != '1') max_digits = 21;
    if (digits.size() > max_digits) return Pattern::Refused;
    for (char c : digits) {
        int d = digit_in(c, radix);
        if (d < 0) return Pattern::Refused;
        value = value * uint64_t(radix) + uint64_t(d);
    }
    return value <= largest ? Pattern::Valid : Pattern::Refused;
}

// Decimal integers; the result is the value's two's-complement pattern.
bool read_decimal_integer(std::string_view field, int bits, bool is_unsigned, uint64_t& pattern) {
    pattern = 0;
    bool negative = !is_unsigned && !field.empty() && field[0] == '-';
    std::string_view digits = field.substr(negative ? 1 : 0);
    if (digits.empty()) return true;
    if (digits[0] == '0' && digits.size() > 1) return false;
    for (char c : digits)
        if (!is_digit(c)) return false;

    uint64_t magnitude = 0;
    if (bits >= 64) {
        // Compared as text, so no arithmetic can overflow.
        const size_t max_digits = is_unsigned ? 20 : 19;
        if (digits.size() > max_digits) return false;
        if (digits.size() == max_digits) {
            std::string_view limit = is_unsigned ? "18446744073709551615"
                                     : negative  ? "9223372036854775808"
                                                 : "9223372036854775807";
            if (digits > limit) return false;
        }
        for (char c : digits) magnitude = magnitude * 10 + uint64_t(c - '0');
    } else {
        const uint64_t m = all_ones(bits);
        const uint64_t limit = is_unsigned ? m : negative ? m / 2 + 1 : m / 2;
        for (char c : digits) {
            uint64_t d = uint64_t(c - '0');
            if (d > limit || magnitude > (limit - d) / 10) return false;
            magnitude = magnitude * 10 + d;
        }
    }
    pattern = negative ? uint64_t(0) - magnitude : magnitude;
    return true;
}

void store_pattern(uint64_t pattern, int32_t bytes, void* store) {
    auto* out = static_cast<uint8_t*>(store);
    for (int32_t i = 0; i < bytes; ++i) out[i] = uint8_t(pattern >> (8 * i));
}

void store_float(long double value, int bits, void* store) {
    if (bits == 32) {
        float single = float(value);
        std::memcpy(store, &single, sizeof single);
    } else if (bits == 64) {
        double dbl = double(value);
        std::memcpy(store, &dbl, sizeof dbl);
    } else {
        // Extended variables occupy 32 bytes; the value fills the front.
        std::memset(store, 0, 32);
        std::memcpy(store, &value, sizeof value);
    }
}

// Compares the significant digits with a limit over at most `count` digits:
// the sign of the first difference, 0 when they agree that far.
int compare_digits(std::string_view digits, std::string_view limit, size_t count) {
    size_t n = std::min({digits.size(), limit.size(), count});
    for (size_t i = 0; i < n; ++i)
        if (digits[i] != limit[i]) return digits[i] < limit[i] ? -1 : 1;
    return 0;
}

bool validate_float(std::string_view field, int bits, void* store) {
    uint64_t pattern;
    switch (read_pattern(field, 64, pattern)) {
        case Pattern::Valid:
            if (store) store_float(static_cast<long double>(pattern), bits, store);
            return true;
        case Pattern::Refused: return false;
        case Pattern::NotPattern: break;
    }

    const bool single = bits == 32;
    const size_t n = field.size();
    size_t i = 0;
    if (i < n && field[i] == '-') ++i;
    const size_t integer_start = i;
    while (i < n && is_digit(field[i])) ++i;
    std::string_view integer = field.substr(integer_start, i - integer_start);
    if (!integer.empty() && integer[0] == '0' && (integer.size() > 1 || (i < n && field[i] != '.')))
        return false;
    std::string_view fraction;
    if (i < n && field[i] == '.') {
        size_t start = ++i;
        while (i < n && is_digit(field[i])) ++i;
        fraction = field.substr(start, i - start);
    }
    const auto nonzero = [](char c) { return c >= '1' && c <= '9'; };
    const bool mantissa_nonzero = std::any_of(integer.begin(), integer.end(), nonzero) ||
                                  std::any_of(fraction.begin(), fraction.end(), nonzero);

    int64_t exponent = 0;
    if (i < n && (field[i] == 'E' || field[i] == 'e' ||
                  (!single && (field[i] == 'D' || field[i] == 'd')))) {
        if (i == 0 || !is_digit(field[i - 1]) || !mantissa_nonzero) return false;
        ++i;
        bool negative_exponent = false;
        if (i < n && (field[i] == '+' || field[i] == '-')) negative_exponent = field[i++] == '-';
        const size_t start = i;
        while (i < n && is_digit(field[i])) {
            if (i > start && field[start] == '0') return false;
            exponent = std::min(exponent * 10 + (field[i] - '0'), kExponentCap);
            ++i;
        }
        if (negative_exponent) exponent = -exponent;
    }
    if (i != n) return false;

    if (mantissa_nonzero) {
        const FloatLimits& limits = single ? kSingleLimits : kDoubleLimits;
        // A lone 0 before the point counts as no integer digits.
        const size_t integer_digits = integer == "0" ? 0 : integer.size();
        size_t zeros = 0;
        if (integer_digits == 0)
            while (zeros < fraction.size() && fraction[zeros] == '0') ++zeros;
        if (zeros > limits.max_zeros_after_point) return false;
        std::string_view significant =
            integer_digits ? field.substr(integer_start) : fraction.substr(zeros);
        const int64_t position =
            (integer_digits ? int64_t(integer_digits) : -int64_t(zeros)) + exponent;
        if (position > limits.max_position || position < limits.min_position) return false;
        // The digits of the integer part and the fraction, without the point.
        char joined[512];
        size_t joined_length = 0;
        for (char c : significant) {
            if (!is_digit(c)) {
                if (c == '.') continue;
                break;
            }
            if (joined_length == sizeof joined) break;
            joined[joined_length++] = c;
        }
        std::string_view digits(joined, joined_length);
        if (position == limits.max_position &&
            compare_digits(digits, limits.max_digits, limits.compared_digits) > 0)
            return false;
        if (position == limits.min_position &&
            compare_digits(digits, limits.min_digits, limits.compared_digits) < 0)
            return false;
        if (!fraction.empty() && integer_digits + fraction.size() - zeros > limits.max_significant)
            return false;
    }

    // The standard conversion, with D read as E; it stops by itself at an
    // exponent letter or sign with no digits after it.
    char text[300];
    if (n > sizeof text) return false;
    for (size_t k = 0; k < n; ++k) text[k] = field[k] == 'D' || field[k] == 'd' ? 'e' : field[k];
    long double value = 0;
    if (single) {
        float v = 0;
        auto result = std::from_chars(text, text + n, v);
        if (result.ec == std::errc::result_out_of_range) return false;
        if (result.ec == std::errc()) value = v;
    } else {
        double v = 0;
        auto result = std::from_chars(text, text + n, v);
        if (result.ec == std::errc::result_out_of_range) return false;
        if (result.ec == std::errc()) value = v;
    }
    if (store) store_float(value, bits, store);
    return true;
}

}  // namespace

bool input_type_supported(int32_t type_word) {
    const int32_t bits = type_size_bits(type_word);
    if (type_word & kTypeString) return !(type_word & (kTypeFloat | kTypeBitField));
    if (type_word & kTypeFloat) return !(type_word & kTypeBitField) && (bits == 32 || bits == 64 || bits == 256);
    if (type_word & kTypeBitField) return bits >= 1 && bits <= 64;
    return bits == 8 || bits == 16 || bits == 32 || bits == 64;
}

int32_t field_store_bytes(int32_t type_word) {
    return type_word & kTypeBitField ? 8 : type_byte_count(type_word);
}

bool validate_number_field(std::string_view field, int32_t type_word, void* store) {
    if (!input_type_supported(type_word) || (type_word & kTypeString)) return false;
    const int bits = type_size_bits(type_word);
    if (type_word & kTypeFloat) {
        if (field.empty()) {
            if (store) store_float(0, bits, store);
            return true;
        }
        return validate_float(field, bits, store);
    }
    uint64_t pattern = 0;
    bool valid;
    switch (read_pattern(field, bits, pattern)) {
        case Pattern::Valid: valid = true; break;
        case Pattern::Refused: valid = false; break;
        default:
            valid = read_decimal_integer(field, bits, (type_word & kTypeUnsigned) != 0, pattern);
            break;
    }
    if (!valid) return false;
    if (store) {
        if (type_word & kTypeBitField)
            store_pattern(pattern & all_ones(bits), 8, store);
        else
            store_pattern(pattern, field_store_bytes(type_word), store);
    }
    return true;
}

}  // namespace quendrel
