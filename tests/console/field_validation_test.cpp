#include "runtime/console/field_validation.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstring>
#include <string>

#include "runtime/console/input_types.h"

namespace quendrel {
namespace {

// The stored value as text (shortest round-trip form for floats), or
// "refused".
std::string check(int32_t type_word, const std::string& field) {
    alignas(16) uint8_t store[32];
    std::memset(store, 0x5A, sizeof store);
    if (!validate_number_field(field, type_word, store)) {
        for (uint8_t b : store)
            if (b != 0x5A) return "refused, but written";
        return "refused";
    }
    char buffer[64];
    const int bits = type_size_bits(type_word);
    if (type_word & kTypeFloat) {
        char* end;
        if (bits == 32) {
            float f;
            std::memcpy(&f, store, 4);
            end = std::to_chars(buffer, buffer + 64, f).ptr;
        } else if (bits == 64) {
            double d;
            std::memcpy(&d, store, 8);
            end = std::to_chars(buffer, buffer + 64, d).ptr;
        } else {
            long double e;
            std::memcpy(&e, store, sizeof e);
            for (size_t i = sizeof e; i < 32; ++i)
                if (store[i]) return "extended tail not cleared";
            end = std::to_chars(buffer, buffer + 64, double(e)).ptr;
        }
        return std::string(buffer, end);
    }
    uint64_t pattern = 0;
    const int bytes = field_store_bytes(type_word);
    std::memcpy(&pattern, store, size_t(bytes));
    if (type_word & kTypeBitField) return "bits " + std::to_string(pattern);
    if (type_word & kTypeUnsigned) return std::to_string(pattern);
    const int shift = 64 - 8 * bytes;
    return std::to_string(int64_t(pattern << shift) >> shift);
}

struct Case {
    int32_t type_word;
    const char* field;
    const char* result;
};

void run_cases(const Case* begin, const Case* end) {
    for (const Case* c = begin; c != end; ++c)
        EXPECT_EQ(check(c->type_word, c->field), c->result)
            << "type " << std::hex << c->type_word << std::dec << " field \"" << c->field << "\"";
}

TEST(FieldValidation, Integers) {
    static const Case cases[] = {
        {kTypeInt16, "", "0"},
        {kTypeInt16, "-", "0"},
        {kTypeUInt16, "-", "refused"},
        {kTypeInt16, "-0", "0"},
        {kTypeInt16, "-01", "refused"},
        {kTypeInt16, "1 ", "refused"},
        {kTypeInt16, "+1", "refused"},
        {kTypeInt8, "127", "127"},
        {kTypeInt8, "128", "refused"},
        {kTypeInt8, "-128", "-128"},
        {kTypeInt8, "-129", "refused"},
        {kTypeUInt16, "65535", "65535"},
        {kTypeUInt16, "65536", "refused"},
        {kTypeInt32, "2147483647", "2147483647"},
        {kTypeInt32, "2147483648", "refused"},
        {kTypeInt32, "-2147483648", "-2147483648"},
        {kTypeUInt32, "4294967295", "4294967295"},
        {kTypeUInt32, "42949672950", "refused"},
        // The & forms: digit counts of the largest value, bit patterns.
        {kTypeInt16, "&", "0"},
        {kTypeInt16, "&h", "0"},
        {kTypeInt16, "&o", "0"},
        {kTypeInt16, "&x", "refused"},
        {kTypeInt16, "&1", "refused"},
        {kTypeInt16, "&H7fFf", "32767"},
        {kTypeInt16, "&H8000", "-32768"},
        {kTypeInt16, "&HG", "refused"},
        {kTypeUInt8, "&HFF", "255"},
        {kTypeUInt8, "&H0FF", "refused"},
        {kTypeInt8, "&O377", "-1"},
        {kTypeInt8, "&O400", "refused"},
        {kTypeInt8, "&O8", "refused"},
        {kTypeInt16, "&O177777", "-1"},
        {kTypeInt16, "&O0177777", "refused"},
        {kTypeUInt32, "&HFFFFFFFF", "4294967295"},
        {kTypeInt32, "&H100000000", "refused"},
        {kTypeInt32, "&O37777777777", "-1"},
        {kTypeInt32, "&O40000000000", "refused"},
        {kTypeInt16, "-&H1", "refused"},
    };
    run_cases(std::begin(cases), std::end(cases));
}

TEST(FieldValidation, SixtyFourBitIntegers) {
    static const Case cases[] = {
        {kTypeInt64, "9223372036854775807", "9223372036854775807"},
        {kTypeInt64, "9223372036854775808", "refused"},
        {kTypeInt64, "-9223372036854775808", "-9223372036854775808"},
        {kTypeInt64, "-9223372036854775809", "refused"},
        // A smaller leading digit settles the comparison.
        {kTypeInt64, "1999999999999999999", "1999999999999999999"},
        {kTypeInt64, "10000000000000000000", "refused"},
        {kTypeUInt64, "18446744073709551615", "18446744073709551615"},
        {kTypeUInt64, "18446744073709551616", "refused"},
        {kTypeUInt64, "9999999999999999999", "9999999999999999999"},
        {kTypeUInt64, "-1", "refused"},
        {kTypeInt64, "0123", "refused"},
        {kTypeInt64, "-", "0"},
        {kTypeInt64, "&HFFFFFFFFFFFFFFFF", "-1"},
        {kTypeInt64, "&H1FFFFFFFFFFFFFFFF", "refused"},
        {kTypeUInt64, "&O1777777777777777777777", "18446744073709551615"},
        {kTypeUInt64, "&O2000000000000000000000", "refused"},
        {kTypeUInt64, "&O777777777777777777777", "9223372036854775807"},
    };
    run_cases(std::begin(cases), std::end(cases));
}

TEST(FieldValidation, FloatGrammar) {
    static const Case cases[] = {
        {kTypeSingle, "", "0"},
        {kTypeSingle, "-", "0"},
        {kTypeSingle, ".", "0"},
        {kTypeSingle, "-.", "0"},
        {kTypeSingle, "-.5", "-0.5"},
        {kTypeSingle, "0", "0"},
        {kTypeSingle, "0.25", "0.25"},
        {kTypeSingle, "01", "refused"},
        {kTypeSingle, "0E1", "refused"},
        {kTypeSingle, "0.0E1", "refused"},
        {kTypeSingle, "0.01E1", "0.1"},
        {kTypeSingle, "E1", "refused"},
        {kTypeSingle, "-E", "refused"},
        {kTypeSingle, "1.E", "refused"},
        {kTypeSingle, "1.5e", "1.5"},
        {kTypeSingle, "1.5e-", "1.5"},
        {kTypeSingle, "1.5e+2", "150"},
        {kTypeSingle, "1E05", "refused"},
        {kTypeSingle, "1E0", "1"},
        {kTypeSingle, "1E2E", "refused"},
        {kTypeSingle, "1.2.", "refused"},
        {kTypeSingle, "1-", "refused"},
        {kTypeSingle, "1d2", "refused"},
        {kTypeDouble, "1d2", "100"},
        {kTypeExtended, "-1.25D1", "-12.5"},
        {kTypeSingle, "&H10", "16"},
        {kTypeDouble, "&HFFFFFFFFFFFFFFFF", "18446744073709551616"},
        {kTypeSingle, "-&H10", "refused"},
    };
    run_cases(std::begin(cases), std::end(cases));
}

TEST(FieldValidation, FloatRangesAndDigits) {
    static const Case cases[] = {
        {kTypeSingle, "3.402823E38", "3.402823e+38"},
        {kTypeSingle, "3.402824E38", "refused"},
        {kTypeSingle, "3.4028235E38", "3.4028235e+38"},
        {kTypeSingle, "2.9E38", "2.9e+38"},
        {kTypeSingle, "1E39", "refused"},
        {kTypeSingle, "0.1E40", "refused"},
        {kTypeSingle, "1.401298E-45", "1e-45"},
        {kTypeSingle, "1.5E-45", "1e-45"},
        {kTypeSingle, "1.3E-45", "refused"},
        {kTypeSingle, "1E-46", "refused"},
        {kTypeSingle, "0.00001401298E-40", "1e-45"},
        {kTypeSingle, "12345678", "12345678"},
        {kTypeSingle, "1234567890", "1234567936"},
        {kTypeSingle, "1234.5678", "1234.5677"},
        {kTypeSingle, "1234.56789", "refused"},
        {kTypeSingle, "0.00012345678", "0.00012345678"},
        {kTypeSingle, "0.000123456789", "refused"},
        {kTypeSingle, "0.0000000000", "0"},
        {kTypeDouble, "1.7976931E308", "1.7976931e+308"},
        {kTypeDouble, "1.7976932E308", "refused"},
        {kTypeDouble, "1E309", "refused"},
        {kTypeDouble, "4.940656E-324", "5e-324"},
        {kTypeDouble, "4.9E-324", "5e-324"},
        {kTypeDouble, "4.8E-324", "refused"},
        {kTypeDouble, "1.234567890123456", "1.234567890123456"},
        {kTypeDouble, "1.2345678901234567", "refused"},
        // These pass the digit comparisons yet lie beyond the largest value:
        // refused rather than stored as infinity.
        {kTypeSingle, "3.4028236E38", "refused"},
        {kTypeDouble, "1.797693199E308", "refused"},
        {kTypeExtended, "1.797693199E308", "refused"},
    };
    run_cases(std::begin(cases), std::end(cases));
}

TEST(FieldValidation, BitFieldsAndTypeWords) {
    static const Case cases[] = {
        {3 | kTypeBitField | kTypeUnsigned, "7", "bits 7"},
        {3 | kTypeBitField | kTypeUnsigned, "8", "refused"},
        {3 | kTypeBitField, "-4", "bits 4"},
        {3 | kTypeBitField, "4", "refused"},
        {3 | kTypeBitField, "&H8", "refused"},
        {3 | kTypeBitField, "&O7", "bits 7"},
        {40 | kTypeBitField | kTypeUnsigned, "1099511627775", "bits 1099511627775"},
        {40 | kTypeBitField | kTypeUnsigned, "1099511627776", "refused"},
        {24, "1", "refused"},
        {kTypeString, "", "refused"},
        {kTypeFloat | 16, "1", "refused"},
    };
    run_cases(std::begin(cases), std::end(cases));
    EXPECT_TRUE(validate_number_field("123", kTypeInt16, nullptr));
    EXPECT_EQ(field_store_bytes(kTypeExtended), 32);
    EXPECT_EQ(field_store_bytes(5 | kTypeBitField), 8);
}

}  // namespace
}  // namespace quendrel
