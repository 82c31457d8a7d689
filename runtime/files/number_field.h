// The numeric field of INPUT #: a reader that takes the field's bytes one at
// a time and keeps at most 256 significant digits with the decimal point's
// place, the sign and an exponent of at most 18 digits, and the conversion
// of what it kept into a variable of any numeric type word.
#pragma once

#include <cstdint>
#include <string>

namespace quendrel {

class NumberFieldReader {
public:
    static constexpr size_t kMaxDigits = 256;
    static constexpr int kMaxExponentDigits = 18;

    enum class Radix { Decimal, Hexadecimal, Octal };

    // Takes the next byte of the field (or −1 for the end); false when the
    // byte does not belong to the number and so ends it.
    bool feed(int byte);

    Radix radix() const { return radix_; }
    bool negative() const { return negative_; }
    // Decimal: the significant digits, leading zeros dropped. Hexadecimal
    // and octal: every digit as given.
    const std::string& digits() const { return digits_; }
    // The power of ten of the first significant digit (decimal only).
    int64_t position() const;
    // Too many digits, or too many exponent digits.
    bool overflow() const { return overflow_; }

private:
    enum class State { Start, Ampersand, Radix, Mantissa, Fraction, ExponentLetter, ExponentSign, Exponent };

    void add_digit(char digit, bool fraction);

    State state_ = State::Start;
    Radix radix_ = Radix::Decimal;
    bool negative_ = false;
    std::string digits_;
    int64_t integer_digits_ = 0;  // significant digits before the point, minus zeros after it
    int64_t exponent_ = 0;
    int exponent_digits_ = 0;
    bool exponent_negative_ = false;
    bool overflow_ = false;
};

// Stores the field's value into a variable of the given type word (the
// byte count the word names). The runtime error (6 for overflow, 5 for a
// type word that is not numeric), or 0.
int32_t store_number(const NumberFieldReader& field, int32_t type_word, void* variable);

// The decimal value as a double; false on overflow.
bool decimal_value(const NumberFieldReader& field, double& value);

}  // namespace quendrel
