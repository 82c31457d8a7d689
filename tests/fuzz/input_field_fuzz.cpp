// Types random keystrokes into one field of a random numeric type, the way
// the line editor does (a refused key is dropped, backspace takes one
// back), and checks every text the validator accepted against the C
// library's own reading of it: the value stored must be that value, it must
// fit the type, and a refused text must leave the variable untouched.
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "runtime/console/field_validation.h"
#include "runtime/console/input_types.h"

namespace quendrel {
namespace {

constexpr int32_t kFixedTypes[] = {kTypeInt8,  kTypeUInt8,  kTypeInt16,  kTypeUInt16,
                                   kTypeInt32, kTypeUInt32, kTypeInt64,  kTypeUInt64,
                                   kTypeSingle, kTypeDouble, kTypeExtended};
// Characters that matter to the grammar, and backspace.
constexpr char kKeys[] = "0123456789000011119-+.eEdDhHoO&aAfFgx \b\b";
// The digits where the limits lie, typed in one go, so the boundaries are
// reached far more often than by single keys.
constexpr const char* kTokens[] = {
    "3402823", "34028236", "1401298", "17976931", "179769313", "4940656", "E38", "E+38",
    "E-45", "E308", "E-324", "E-323", "9223372036854775807", "18446744073709551615",
    "&H", "&O", "FFFFFFFF", "177777",
};

[[noreturn]] void fail(const char* what, const std::string& field, int32_t type_word) {
    std::fprintf(stderr, "%s: type 0x%08X field \"%s\"\n", what, unsigned(type_word), field.c_str());
    std::abort();
}

uint64_t all_ones(int bits) { return bits >= 64 ? ~uint64_t(0) : (uint64_t(1) << bits) - 1; }

// The & forms read by strtoull; false when the text is no such form.
bool read_pattern(const std::string& field, uint64_t& value, bool& overflow) {
    value = 0;
    overflow = false;
    if (field.empty() || field[0] != '&') return false;
    if (field.size() == 1) return true;
    int base = field[1] == 'H' || field[1] == 'h' ? 16 : 8;
    std::string digits = field.substr(2);
    if (digits.empty()) return true;
    errno = 0;
    char* end = nullptr;
    value = std::strtoull(digits.c_str(), &end, base);
    overflow = errno == ERANGE || *end != '\0' || digits[0] == '-' || digits[0] == '+';
    return true;
}

void check_integer(const std::string& field, int32_t type_word, const uint8_t* store) {
    const int bits = type_size_bits(type_word);
    const bool is_unsigned = (type_word & kTypeUnsigned) != 0;
    const uint64_t m = all_ones(bits);
    uint64_t expected = 0;
    bool overflow = false;
    if (!read_pattern(field, expected, overflow)) {
        if (field.empty() || field == "-") {
            if (field == "-" && is_unsigned) fail("minus in an unsigned field", field, type_word);
        } else {
            errno = 0;
            char* end = nullptr;
            if (is_unsigned) {
                if (field.find('-') != std::string::npos) fail("minus in an unsigned field", field, type_word);
                expected = std::strtoull(field.c_str(), &end, 10);
                overflow = expected > m;
            } else {
                long long v = std::strtoll(field.c_str(), &end, 10);
                long long top = (long long)(m / 2);
                overflow = v > top || (v < 0 && uint64_t(-(v + 1)) > m / 2);
                expected = uint64_t(v);
            }
            if (errno == ERANGE || *end != '\0' || field[0] == '+' || field[0] == ' ')
                fail("accepted text is not a whole number", field, type_word);
        }
    } else if (expected > m) {
        overflow = true;
    }
    if (overflow) fail("accepted value does not fit", field, type_word);
    const int bytes = field_store_bytes(type_word);
    uint64_t stored = 0;
    for (int i = 0; i < bytes; ++i) stored |= uint64_t(store[i]) << (8 * i);
    uint64_t want = type_word & kTypeBitField ? expected & m : expected & all_ones(8 * bytes);
    if (stored != want) fail("stored value differs", field, type_word);
}

void check_float(const std::string& field, int32_t type_word, const uint8_t* store) {
    const int bits = type_size_bits(type_word);
    long double expected = 0;
    uint64_t pattern;
    bool overflow;
    if (read_pattern(field, pattern, overflow)) {
        if (overflow) fail("accepted pattern does not fit", field, type_word);
        expected = static_cast<long double>(pattern);
        if (bits == 32) expected = float(expected);
        if (bits == 64) expected = double(expected);
    } else {
        std::string text = field;
        for (char& c : text)
            if (c == 'd' || c == 'D') c = 'e';
        if (bits == 32) expected = std::strtof(text.c_str(), nullptr);
        else expected = std::strtod(text.c_str(), nullptr);
    }
    long double stored;
    if (bits == 32) {
        float f;
        std::memcpy(&f, store, 4);
        stored = f;
    } else if (bits == 64) {
        double d;
        std::memcpy(&d, store, 8);
        stored = d;
    } else {
        long double e;
        std::memcpy(&e, store, sizeof e);
        stored = e;
    }
    if (!std::isfinite(stored)) fail("stored value is not finite", field, type_word);
    if (stored != expected) fail("stored value differs", field, type_word);
}

}  // namespace
}  // namespace quendrel

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quendrel;
    if (size < 2) return 0;
    int32_t type_word;
    const uint8_t pick = data[0] % 16;
    if (pick < std::size(kFixedTypes)) {
        type_word = kFixedTypes[pick];
    } else {
        type_word = (1 + data[1] % 64) | kTypeBitField | (pick % 2 ? kTypeUnsigned : 0);
    }
    std::string field;
    alignas(16) uint8_t store[32];
    alignas(16) uint8_t untouched[32];
    const auto validate = [&](const std::string& text) {
        std::memset(store, 0xA5, sizeof store);
        std::memcpy(untouched, store, sizeof store);
        bool valid = validate_number_field(text, type_word, store);
        if (valid != validate_number_field(text, type_word, nullptr))
            fail("validation depends on the store", text, type_word);
        if (!valid && std::memcmp(store, untouched, sizeof store) != 0)
            fail("refused text was written", text, type_word);
        if (valid) {
            if (type_word & kTypeFloat) check_float(text, type_word, store);
            else check_integer(text, type_word, store);
        }
        return valid;
    };
    if (!validate(field)) fail("empty field refused", field, type_word);
    const auto press = [&](char key) {
        if (key == '\b') {
            // As the editor does: take one back, then as many as the
            // shortened text needs to be valid again.
            if (!field.empty()) field.pop_back();
            while (!validate(field) && !field.empty()) field.pop_back();
            return;
        }
        if (field.size() >= 255) return;
        std::string candidate = field + key;
        if (validate(candidate)) field = candidate;
    };
    for (size_t i = 2; i < size; ++i) {
        const uint8_t b = data[i];
        if (b >= 0xE0) {
            for (const char* t = kTokens[(b - 0xE0) % std::size(kTokens)]; *t; ++t) press(*t);
        } else if (b & 0x80) {
            press(char(b & 0x7F));
        } else {
            press(kKeys[b % (sizeof kKeys - 1)]);
        }
    }
    return 0;
}
