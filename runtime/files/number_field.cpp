#include "runtime/files/number_field.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "runtime/console/input_types.h"

namespace quendrel {
namespace {

bool is_digit(int c) { return c >= '0' && c <= '9'; }
bool is_hex_digit(int c) {
    return is_digit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
bool is_exponent_letter(int c) { return c == 'E' || c == 'e' || c == 'D' || c == 'd'; }
int hex_value(char c) {
    if (c <= '9') return c - '0';
    return (c | 0x20) - 'a' + 10;
}

// Whether the digits are above the limit when both are read from the left,
// over no more digits than the limit has; the first difference decides.
bool digits_above(const std::string& digits, const char* limit) {
    size_t n = std::strlen(limit);
    for (size_t i = 0; i < n && i < digits.size(); ++i) {
        if (digits[i] != limit[i]) return digits[i] > limit[i];
    }
    return false;
}

// The unsigned 64-bit pattern of a hexadecimal or octal field; false when
// it has more digits than 64 bits hold.
bool pattern_value(const NumberFieldReader& field, uint64_t& value) {
    const std::string& digits = field.digits();
    value = 0;
    if (field.radix() == NumberFieldReader::Radix::Hexadecimal) {
        if (digits.size() > 16) return false;
        for (char c : digits) value = value << 4 | uint64_t(hex_value(c));
    } else {
        if (digits.size() > 22 || (digits.size() == 22 && digits[0] > '1')) return false;
        for (char c : digits) value = value << 3 | uint64_t(c - '0');
    }
    return true;
}

// 64-bit integers come straight from the digits: the integer part, moved one
// further from zero when the first digit after it is 5 or more.
int32_t store_64(const NumberFieldReader& field, bool is_unsigned, void* variable) {
    const std::string& digits = field.digits();
    uint64_t magnitude = 0;
    if (!digits.empty()) {
        int64_t position = field.position();
        bool negative = field.negative();
        if (is_unsigned) {
            if (negative && position >= 0) return 6;
            if (position > 19 || (position == 19 && digits_above(digits, "18446744073709551615")))
                return 6;
        } else {
            const char* limit = negative ? "9223372036854775808" : "9223372036854775807";
            if (position > 18 || (position == 18 && digits_above(digits, limit))) return 6;
        }
        for (int64_t i = 0; i <= position; ++i)
            magnitude = magnitude * 10 + uint64_t(size_t(i) < digits.size() ? digits[size_t(i)] - '0' : 0);
        int64_t next_index = position + 1;
        char next = next_index >= 0 && size_t(next_index) < digits.size() ? digits[size_t(next_index)]
                                                                          : '0';
        uint64_t largest = is_unsigned ? (negative ? 0 : UINT64_MAX)
                                       : (negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX));
        if (next >= '5') {
            if (magnitude >= largest) return 6;
            ++magnitude;
        }
        if (negative) magnitude = ~magnitude + 1;  // two's complement of the magnitude
    }
    std::memcpy(variable, &magnitude, 8);
    return 0;
}

int32_t store_small_integer(const NumberFieldReader& field, int bits, bool is_unsigned,
                            void* variable) {
    int64_t result;
    uint64_t top = (uint64_t(1) << bits) - 1;
    if (field.radix() != NumberFieldReader::Radix::Decimal) {
        uint64_t pattern;
        if (!pattern_value(field, pattern) || pattern > top) return 6;
        result = int64_t(pattern);
        if (!is_unsigned && (pattern >> (bits - 1)) != 0) result -= int64_t(top) + 1;
    } else {
        double value;
        if (!decimal_value(field, value)) return 6;
        if (!(value >= -0x1p63 && value <= 0x1p63)) return 6;
        double rounded = std::nearbyint(value);  // halves to even
        double low = is_unsigned ? 0.0 : -std::ldexp(1.0, bits - 1);
        double high = is_unsigned ? double(top) : std::ldexp(1.0, bits - 1) - 1;
        if (rounded < low || rounded > high) return 6;
        result = int64_t(rounded);
    }
    switch (bits) {
    case 8: {
        uint8_t v = uint8_t(result);
        std::memcpy(variable, &v, 1);
        break;
    }
    case 16: {
        uint16_t v = uint16_t(result);
        std::memcpy(variable, &v, 2);
        break;
    }
    default: {
        uint32_t v = uint32_t(result);
        std::memcpy(variable, &v, 4);
        break;
    }
    }
    return 0;
}

}  // namespace

bool NumberFieldReader::feed(int byte) {
    switch (state_) {
    case State::Start:
        if (byte == '&') {
            state_ = State::Ampersand;
            return true;
        }
        if (byte == '+' || byte == '-') {
            negative_ = byte == '-';
            state_ = State::Mantissa;
            return true;
        }
        [[fallthrough]];
    case State::Mantissa:
        if (is_digit(byte)) {
            add_digit(char(byte), false);
            state_ = State::Mantissa;
            return true;
        }
        if (byte == '.') {
            state_ = State::Fraction;
            return true;
        }
        if (is_exponent_letter(byte)) {
            state_ = State::ExponentLetter;
            return true;
        }
        return false;
    case State::Ampersand:
        if (byte == 'H' || byte == 'h') radix_ = Radix::Hexadecimal;
        else if (byte == 'O' || byte == 'o') radix_ = Radix::Octal;
        else return false;
        state_ = State::Radix;
        return true;
    case State::Radix:
        if (radix_ == Radix::Hexadecimal ? !is_hex_digit(byte) : !(byte >= '0' && byte <= '7'))
            return false;
        if (digits_.size() < kMaxDigits) digits_.push_back(char(byte));
        else overflow_ = true;
        return true;
    case State::Fraction:
        if (is_digit(byte)) {
            add_digit(char(byte), true);
            return true;
        }
        if (is_exponent_letter(byte)) {
            state_ = State::ExponentLetter;
            return true;
        }
        return false;
    case State::ExponentLetter:
        if (byte == '+' || byte == '-') {
            exponent_negative_ = byte == '-';
            state_ = State::ExponentSign;
            return true;
        }
        [[fallthrough]];
    case State::ExponentSign:
    case State::Exponent:
        if (!is_digit(byte)) return false;
        state_ = State::Exponent;
        if (exponent_digits_ == 0 && byte == '0') return true;
        if (exponent_digits_ == kMaxExponentDigits) {
            overflow_ = true;
            return true;
        }
        exponent_ = exponent_ * 10 + (byte - '0');
        ++exponent_digits_;
        return true;
    }
    return false;
}

void NumberFieldReader::add_digit(char digit, bool fraction) {
    if (digits_.empty() && digit == '0') {
        if (fraction) --integer_digits_;  // a zero between the point and the first digit
        return;
    }
    if (digits_.size() < kMaxDigits) digits_.push_back(digit);
    else overflow_ = true;
    if (!fraction) ++integer_digits_;
}

int64_t NumberFieldReader::position() const {
    return integer_digits_ - 1 + (exponent_negative_ ? -exponent_ : exponent_);
}

bool decimal_value(const NumberFieldReader& field, double& value) {
    const std::string& digits = field.digits();
    value = 0.0;
    if (digits.empty()) {
        if (field.negative()) value = -0.0;
        return true;
    }
    int64_t position = field.position();
    if (position > 308 || (position == 308 && digits_above(digits, "17976931348623157"))) return false;
    if (position < -324) {
        if (field.negative()) value = -0.0;
        return true;
    }
    // Up to 17 digits, the rest dropped, written as an integer mantissa so
    // the conversion does not depend on the locale's decimal point.
    size_t kept = digits.size() < 17 ? digits.size() : 17;
    std::string text = field.negative() ? "-" : "";
    text.append(digits, 0, kept);
    text += 'E';
    text += std::to_string(position - int64_t(kept - 1));
    value = std::strtod(text.c_str(), nullptr);
    return true;
}

int32_t store_number(const NumberFieldReader& field, int32_t type_word, void* variable) {
    int bits = type_size_bits(type_word);
    bool is_float = (type_word & kTypeFloat) != 0;
    bool is_unsigned = (type_word & kTypeUnsigned) != 0;
    if (type_word & kTypeString) return 5;
    if (is_float ? (bits != 32 && bits != 64 && bits != 256)
                 : (bits != 8 && bits != 16 && bits != 32 && bits != 64))
        return 5;
    if (field.overflow()) return 6;
    bool pattern = field.radix() != NumberFieldReader::Radix::Decimal;

    if (!is_float) {
        if (bits < 64) return store_small_integer(field, bits, is_unsigned, variable);
        if (!pattern) return store_64(field, is_unsigned, variable);
        uint64_t value;
        if (!pattern_value(field, value)) return 6;
        std::memcpy(variable, &value, 8);
        return 0;
    }

    long double value;
    if (pattern) {
        uint64_t bits_value;
        if (!pattern_value(field, bits_value)) return 6;
        value = static_cast<long double>(bits_value);
    } else {
        double decimal;
        if (!decimal_value(field, decimal)) return 6;
        value = decimal;
    }
    if (bits == 32) {
        if (std::fabs(value) > static_cast<long double>(3.402823466E38)) return 6;
        float single = float(value);
        std::memcpy(variable, &single, 4);
    } else if (bits == 64) {
        double dbl = double(value);
        std::memcpy(variable, &dbl, 8);
    } else {
        // Extended variables occupy 32 bytes; the value fills the front.
        std::memset(variable, 0, 32);
        std::memcpy(variable, &value, sizeof(long double));
    }
    return 0;
}

}  // namespace quendrel
