#include "runtime/strings/format_using.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace quendrel {

namespace {

constexpr int32_t kIllegalFunctionCall = 5;
constexpr int32_t kTypeMismatch = 13;

// Significant digits of the scientific expansion of singles and doubles.
constexpr int kScientificPrecision = 255;

// Below this magnitude the fixed expansion of an extended value with 255
// decimals has at most 769 + 255 digits and fits the digit buffer; above it
// the value is an integer and is taken as the buffer's worth of leading
// digits instead.
constexpr long double kExtendedFixedLimit = 1e768L;

int32_t decimal_digits(uint64_t v) {
    int32_t n = 1;
    while (v >= 10) {
        v /= 10;
        ++n;
    }
    return n;
}

}  // namespace

// ---- loading a number ------------------------------------------------------

void FormatUsing::append_digits(const char* text, const char* end, bool fractional) {
    for (const char* p = text; p < end && *p >= '0' && *p <= '9'; ++p) {
        if (digit_count_ < kDigitCapacity) {
            digits_[digit_count_++] = *p;
            if (fractional) --exponent_adjust_;
        } else if (!fractional) {
            ++exponent_adjust_;  // a dropped integer digit still scales the value
        }
    }
}

void FormatUsing::normalise(bool negative) {
    int32_t first = 0;
    while (first < digit_count_ && digits_[first] == '0') ++first;
    if (first == digit_count_) {
        // Zero (negative zero included): the single digit 0.
        digits_[0] = '0';
        digit_count_ = 1;
        exponent_adjust_ = 0;
        negative_ = false;
        return;
    }
    std::memmove(digits_, digits_ + first, size_t(digit_count_ - first));
    digit_count_ -= first;
    negative_ = negative;
}

bool FormatUsing::load_magnitude(uint64_t magnitude, bool negative) {
    char buf[20];
    const char* end = std::to_chars(buf, buf + sizeof buf, magnitude).ptr;
    digit_count_ = 0;
    exponent_adjust_ = 0;
    append_digits(buf, end, false);
    normalise(negative);
    return true;
}

bool FormatUsing::load_scientific(double value) {
    if (!std::isfinite(value)) {
        errors_.raise_error(kIllegalFunctionCall);
        return false;
    }
    // The exact decimal expansion rounded to 256 significant digits, the
    // digits printf's "% .255E" gives (to_chars is defined to match it).
    char buf[300];  // d.<255 digits>e-324
    const char* end = std::to_chars(buf, buf + sizeof buf, std::fabs(value),
                                    std::chars_format::scientific, kScientificPrecision)
                          .ptr;
    digit_count_ = 0;
    exponent_adjust_ = 0;
    append_digits(buf, buf + 1, false);
    append_digits(buf + 2, end, true);
    const char* e = buf + 2 + kScientificPrecision + 1;  // after 'e'
    int exponent = 0;
    std::from_chars(*e == '+' ? e + 1 : e, end, exponent);
    exponent_adjust_ += exponent;
    normalise(std::signbit(value));
    return true;
}

bool FormatUsing::load_extended(long double value) {
    if (!std::isfinite(value)) {
        errors_.raise_error(kIllegalFunctionCall);
        return false;
    }
    char buf[1100];
    digit_count_ = 0;
    exponent_adjust_ = 0;
    const long double magnitude = std::fabs(value);
    int n = -1;
    if (magnitude < kExtendedFixedLimit) n = std::snprintf(buf, sizeof buf, "%.255Lf", magnitude);
    if (n > 0 && size_t(n) < sizeof buf) {
        const char* end = buf + n;
        const char* point = std::find(static_cast<const char*>(buf), end, '.');
        append_digits(buf, point, false);
        if (point < end) append_digits(point + 1, end, true);
    } else {
        // Integers of 10^768 and above: their leading 1,024 digits.
        n = std::snprintf(buf, sizeof buf, "%.*Le", kDigitCapacity - 1, magnitude);
        if (n <= 0 || size_t(n) >= sizeof buf) {
            errors_.raise_error(kIllegalFunctionCall);
            return false;
        }
        const char* end = buf + n;
        append_digits(buf, buf + 1, false);
        const char* e = std::find(static_cast<const char*>(buf), end, 'e');
        append_digits(buf + 2, e, true);
        int exponent = 0;
        if (e < end) std::from_chars(e[1] == '+' ? e + 2 : e + 1, end, exponent);
        exponent_adjust_ += exponent;
    }
    normalise(std::signbit(value));
    return true;
}

// ---- entry points ----------------------------------------------------------

int32_t FormatUsing::format_using(StringDescriptor* tmpl, int32_t position,
                                  StringDescriptor* output, StringDescriptor* value) {
    if (errors_.pending()) return 0;
    return walk(tmpl, position, output, value);
}

int32_t FormatUsing::format_using_int64(StringDescriptor* tmpl, int64_t value, int32_t position,
                                        StringDescriptor* output) {
    if (errors_.pending()) return 0;
    load_magnitude(value < 0 ? 0 - uint64_t(value) : uint64_t(value), value < 0);
    return walk(tmpl, position, output, nullptr);
}

int32_t FormatUsing::format_using_uint64(StringDescriptor* tmpl, uint64_t value,
                                         int32_t position, StringDescriptor* output) {
    if (errors_.pending()) return 0;
    load_magnitude(value, false);
    return walk(tmpl, position, output, nullptr);
}

int32_t FormatUsing::format_using_single(StringDescriptor* tmpl, float value, int32_t position,
                                         StringDescriptor* output) {
    if (errors_.pending() || !load_scientific(value)) return 0;
    return walk(tmpl, position, output, nullptr);
}

int32_t FormatUsing::format_using_double(StringDescriptor* tmpl, double value, int32_t position,
                                         StringDescriptor* output) {
    if (errors_.pending() || !load_scientific(value)) return 0;
    exponent_letter_ = 'D';
    const int32_t next = walk(tmpl, position, output, nullptr);
    exponent_letter_ = 'E';
    return next;
}

int32_t FormatUsing::format_using_extended(StringDescriptor* tmpl, long double value,
                                           int32_t position, StringDescriptor* output) {
    if (errors_.pending() || !load_extended(value)) return 0;
    exponent_letter_ = 'F';
    const int32_t next = walk(tmpl, position, output, nullptr);
    exponent_letter_ = 'E';
    return next;
}

// ---- the template walk -----------------------------------------------------

int32_t FormatUsing::walk(StringDescriptor* tmpl, int32_t position, StringDescriptor* output,
                          const StringDescriptor* string_value) {
    const uint8_t* text = tmpl->text;
    const int32_t length = tmpl->length;
    if (position < 0 || position > length) position = 0;
    pending_.clear();

    bool placed = false;
    bool from_start = position == 0;
    int32_t i = position;
    for (;;) {
        if (i >= length) {
            if (placed) break;
            if (from_start) {  // no field anywhere
                flush(output);
                errors_.raise_error(kIllegalFunctionCall);
                return 0;
            }
            i = 0;
            from_start = true;
            continue;
        }
        NumericField field;
        if (read_numeric_field(text, length, i, field)) {
            if (placed) {
                flush(output);
                return i;
            }
            if (string_value) {
                flush(output);
                errors_.raise_error(kTypeMismatch);
                return 0;
            }
            if (field.exponent_digits) {
                place_exponent(field);
            } else {
                place_fixed(field);
            }
            placed = true;
            i = field.end;
            continue;
        }
        if (const int32_t n = string_field_length(text, length, i)) {
            if (placed) {
                flush(output);
                return i;
            }
            if (!string_value) {
                flush(output);
                errors_.raise_error(kTypeMismatch);
                return 0;
            }
            place_string(text, i, n, string_value);
            placed = true;
            i += n;
            continue;
        }
        if (text[i] == '_' && i + 1 < length) ++i;
        pending_.push_back(char(text[i]));
        ++i;
    }
    flush(output);
    return 0;
}

bool FormatUsing::read_numeric_field(const uint8_t* text, int32_t length, int32_t at,
                                     NumericField& field) {
    enum { kStart, kAfterPlus, kInteger, kDecimals, kExponent };
    int state = kStart;
    int32_t j = at;
    auto carets = [&](int32_t n) {
        for (int32_t k = 0; k < n; ++k)
            if (text[j + k] != '^') return false;
        return true;
    };
    while (j < length) {
        const uint8_t c = text[j];
        const int32_t rem = length - j;
        if (state >= kInteger && (c == '+' || c == '-')) {
            field.trailing_sign = char(c);
            ++j;
            break;
        }
        if ((state == kInteger || state == kDecimals) && c == '^') {
            if (rem > 4 && carets(5)) {
                field.exponent_digits = 3;
                j += 5;
                state = kExponent;
                continue;
            }
            if (rem > 3 && carets(4)) {
                field.exponent_digits = 2;
                j += 4;
                state = kExponent;
                continue;
            }
            break;
        }
        if (state == kDecimals && c == '#') {
            ++field.decimals;
            ++j;
            continue;
        }
        if (state == kInteger && c == ',') {
            field.separator = true;
            ++field.integer_positions;
            ++j;
            continue;
        }
        if (state <= kInteger && c == '#') {
            ++field.integer_positions;
            state = kInteger;
            ++j;
            continue;
        }
        if (state <= kInteger && c == '.') {
            field.point = true;
            state = kDecimals;
            ++j;
            continue;
        }
        if (state <= kAfterPlus) {
            if (c == '*' && rem > 2 && text[j + 1] == '*' && text[j + 2] == '$') {
                field.asterisk_fill = field.currency = true;
                field.integer_positions += 2;
                state = kInteger;
                j += 3;
                continue;
            }
            if (c == '*' && rem > 1 && text[j + 1] == '*') {
                field.asterisk_fill = true;
                field.integer_positions += 2;
                state = kInteger;
                j += 2;
                continue;
            }
            if (c == '$' && rem > 1 && text[j + 1] == '$') {
                field.currency = true;
                field.integer_positions += 1;
                state = kInteger;
                j += 2;
                continue;
            }
        }
        if (state == kStart && c == '+') {
            field.leading_sign = true;
            state = kAfterPlus;
            ++j;
            continue;
        }
        break;
    }
    field.end = j;
    return state >= kInteger && field.integer_positions + field.decimals > 0;
}

int32_t FormatUsing::string_field_length(const uint8_t* text, int32_t length, int32_t at) {
    const uint8_t c = text[at];
    if (c == '&' || c == '!') return 1;
    if (c != '\\') return 0;
    int32_t j = at + 1;
    while (j < length && text[j] == ' ') ++j;
    return j < length && text[j] == '\\' ? j - at + 1 : 0;
}

void FormatUsing::place_string(const uint8_t* text, int32_t at, int32_t field_length,
                               const StringDescriptor* value) {
    const char* s = reinterpret_cast<const char*>(value->text);
    switch (text[at]) {
        case '&':
            pending_.append(s, size_t(value->length));
            break;
        case '!':
            pending_.push_back(value->length > 0 ? s[0] : ' ');
            break;
        default: {
            const int32_t n = std::min(field_length, value->length);
            pending_.append(s, size_t(n));
            pending_.append(size_t(field_length - n), ' ');
        }
    }
}

// ---- numeric fields --------------------------------------------------------

void FormatUsing::round_up() {
    int64_t i = cursor_ - 1;
    while (i >= 0 && digits_[i] == '9') digits_[i--] = '0';
    if (i >= 0) {
        ++digits_[i];
        return;
    }
    // Carry out of the first digit: one digit more before the point. The
    // buffer keeps a spare place, and a value is rounded only once.
    std::memmove(digits_ + 1, digits_, size_t(digit_count_));
    digits_[0] = '1';
    ++digit_count_;
}

void FormatUsing::place_fixed(const NumericField& field) {
    const size_t start = pending_.size();
    bool rounded = false;
    for (;;) {
        int64_t d = field.integer_positions;
        const int64_t f = field.decimals;
        const int64_t K = is_zero() && d == 0 ? 0 : integer_digits();
        const bool reserve_sign = negative_ && !field.leading_sign && !field.trailing_sign;
        if (reserve_sign) --d;
        int64_t width = d;
        if (field.separator) d -= d / 4;
        const bool overflow = d < K;
        if (overflow) {
            d = K;
            width = field.separator ? K + (K - 1) / 3 : K;
        }
        const int64_t k = K <= 0 ? 0 : field.separator ? K + (K - 1) / 3 : K;
        const int64_t leading_zeros = K < 0 ? -K : 0;
        int64_t pad = width - k;
        const bool zero_before_point = k == 0 && pad > 0;
        if (zero_before_point) --pad;

        cursor_ = 0;
        if (overflow) pending_.push_back('%');
        if (field.leading_sign) pending_.push_back(negative_ ? '-' : '+');
        if (pad > 0) pending_.append(size_t(pad), field.asterisk_fill ? '*' : ' ');
        if (reserve_sign) pending_.push_back('-');
        if (field.currency) pending_.push_back('$');
        if (zero_before_point) pending_.push_back('0');
        for (int64_t p = k; p >= 1; --p)
            pending_.push_back(field.separator && p % 4 == 0 ? ',' : next_digit());
        if (field.point) pending_.push_back('.');
        const int64_t zeros = std::min(leading_zeros, f);
        pending_.append(size_t(zeros), '0');
        for (int64_t i = zeros; i < f; ++i) pending_.push_back(next_digit());

        // When leading zeros were cut off, the first digit not shown is a 0.
        if (!rounded && leading_zeros <= f && next_digit_rounds_up()) {
            round_up();
            rounded = true;
            pending_.resize(start);
            continue;
        }
        break;
    }
    if (field.trailing_sign == '+') pending_.push_back(negative_ ? '-' : '+');
    if (field.trailing_sign == '-') pending_.push_back(negative_ ? '-' : ' ');
}

void FormatUsing::place_exponent(const NumericField& field) {
    const size_t start = pending_.size();
    bool rounded = false;
    for (;;) {
        int64_t d = field.integer_positions, f = field.decimals;
        int32_t x = field.exponent_digits;
        bool point = field.point;
        bool reserve_sign = !field.leading_sign && !field.trailing_sign;
        char reserved = negative_ ? '-' : ' ';
        if (reserve_sign) {
            if (--d == -1) {
                d = 0;
                if (--f <= 0) {
                    f = 0;
                    point = false;
                    d = 1;
                }
            }
            if (!negative_ && d < 1) {
                // A positive number gives the sign's place back to the digits,
                // or shows a 0 there before the point.
                ++d;
                reserve_sign = false;
                if (d == 1 && f > 0) {
                    d = 0;
                    reserve_sign = true;
                    reserved = '0';
                }
            }
        }
        bool overflow = false;
        if (d == 0 && f == 0) {
            overflow = true;
            d = 1;
        }
        const int64_t K = is_zero() && d == 0 ? 0 : integer_digits();
        const int64_t shown = d > 0 ? (K - 1) - (d - 1) : K;
        const uint64_t magnitude = shown < 0 ? uint64_t(-shown) : uint64_t(shown);
        const int32_t exponent_width = decimal_digits(magnitude);
        if (exponent_width > x) {
            overflow = true;
            x = exponent_width;
        }

        cursor_ = 0;
        if (overflow) pending_.push_back('%');
        if (field.leading_sign) pending_.push_back(negative_ ? '-' : '+');
        if (field.currency) pending_.push_back('$');
        if (reserve_sign) pending_.push_back(reserved);
        for (int64_t i = 0; i < d; ++i) pending_.push_back(next_digit());
        if (point) pending_.push_back('.');
        for (int64_t i = 0; i < f; ++i) pending_.push_back(next_digit());
        if (!rounded && next_digit_rounds_up()) {
            round_up();
            rounded = true;
            pending_.resize(start);
            continue;
        }
        pending_.push_back(exponent_letter_);
        pending_.push_back(shown < 0 ? '-' : '+');
        pending_.append(size_t(x - exponent_width), '0');
        char buf[20];
        pending_.append(buf, std::to_chars(buf, buf + sizeof buf, magnitude).ptr);
        break;
    }
    if (field.trailing_sign == '+') pending_.push_back(negative_ ? '-' : '+');
    if (field.trailing_sign == '-') pending_.push_back(negative_ ? '-' : ' ');
}

// ---- output ----------------------------------------------------------------

void FormatUsing::flush(StringDescriptor* output) {
    if (pending_.empty()) return;
    const uint32_t old_length = uint32_t(output->length);
    const uint32_t n = uint32_t(pending_.size());
    StringDescriptor* joined = heap_.string_new(old_length + n, true);
    // Read the output's text only now: making room may have moved it.
    if (old_length > 0) std::memcpy(joined->text, output->text, old_length);
    std::memcpy(joined->text + old_length, pending_.data(), n);
    heap_.string_assign(output, joined);
}

}  // namespace quendrel
