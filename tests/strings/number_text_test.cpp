#include "runtime/strings/number_text.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "strings_fixture.h"

namespace quendrel {
namespace {

class NumberTextTest : public StringsFixture {
protected:
    NumberText numbers{heap};
};

TEST_F(NumberTextTest, IntegersGetASignPositionAndFitTheirCapacities) {
    struct Case {
        StringDescriptor* s;
        const char* expected;
        uint32_t capacity;
    } cases[] = {
        {numbers.number_text_i8(5), " 5", NumberText::kCapacityI8},
        {numbers.number_text_i8(-5), "-5", NumberText::kCapacityI8},
        {numbers.number_text_i8(-128), "-128", NumberText::kCapacityI8},
        {numbers.number_text_i16(-32768), "-32768", NumberText::kCapacityI16},
        {numbers.number_text_i32(0), " 0", NumberText::kCapacityI32},
        {numbers.number_text_i32(INT32_MIN), "-2147483648", NumberText::kCapacityI32},
        {numbers.number_text_i64(INT64_MIN), "-9223372036854775808", NumberText::kCapacityI64},
        {numbers.number_text_i64(INT64_MAX), " 9223372036854775807", NumberText::kCapacityI64},
        {numbers.number_text_u8(5), " 5", NumberText::kCapacityU8},
        {numbers.number_text_u8(255), " 255", NumberText::kCapacityU8},
        {numbers.number_text_u16(65535), " 65535", NumberText::kCapacityU16},
        {numbers.number_text_u32(UINT32_MAX), " 4294967295", NumberText::kCapacityU32},
        {numbers.number_text_u64(UINT64_MAX), " 18446744073709551615", NumberText::kCapacityU64},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(text(c.s), c.expected);
        EXPECT_LE(uint32_t(c.s->length), c.capacity) << c.expected;
        EXPECT_TRUE(StringHeap::is_plain_temporary(c.s));
    }
}

TEST_F(NumberTextTest, SinglePrecisionUsesSevenDigitsAndTheLetterE) {
    struct Case {
        float v;
        const char* expected;
    } cases[] = {
        {1234567.0f, " 1234567"},
        {12345678.0f, " 1.234568E+07"},
        {0.5f, " .5"},
        {-0.25f, "-.25"},
        {0.0001f, " .0001"},
        {0.00000001f, " 1E-08"},
        {1.5e10f, " 1.5E+10"},
        {0.0f, " 0"},
        {-0.0f, " 0"},
        {1000000.0f, " 1000000"},
        {10000000.0f, " 1E+07"},
        {-1.5f, "-1.5"},
        {100.0f, " 100"},
        {0.1f, " .1"},
        {1.0f / 3, " .3333333"},
        {0.1234567f, " .1234567"},
        {0.01234567f, " 1.234567E-02"},  // e − sig = −9: exponent form
        {0.0123456f, " .0123456"},       // e − sig = −8: fixed
        {FLT_MAX, " 3.402823E+38"},
        {-FLT_MAX, "-3.402823E+38"},
        {std::nextafter(0.0f, 1.0f), " 1.401298E-45"},
        {9.9999996f, " 10"},
        {INFINITY, " INF"},
        {-INFINITY, "-INF"},
    };
    for (const Case& c : cases) {
        StringDescriptor* s = numbers.number_text_single(c.v);
        EXPECT_EQ(text(s), c.expected) << c.v;
        EXPECT_LE(uint32_t(s->length), NumberText::kCapacitySingle);
    }
}

TEST_F(NumberTextTest, DoublePrecisionUsesSixteenDigitsAndTheLetterD) {
    struct Case {
        double v;
        const char* expected;
    } cases[] = {
        {0.1, " .1"},
        {1.0 / 3, " .3333333333333333"},
        {1.5e20, " 1.5D+20"},
        {0.1 + 0.2, " .3"},
        {-0.0, " 0"},
        {0.0, " 0"},
        {1e-300, " 1D-300"},
        {1e15, " 1000000000000000"},
        {1e16, " 1D+16"},
        {123.456, " 123.456"},
        {-2.5e-5, "-.000025"},
        {DBL_MAX, " 1.797693134862316D+308"},
        {-DBL_MIN, "-2.225073858507201D-308"},
        {std::nextafter(0.0, 1.0), " 4.940656458412465D-324"},
        {2.0 / 3, " .6666666666666666"},
        // The 16th significant digit 9 falls back to the 15-digit rounding.
        {std::nextafter(1.0, 0.0), " 1"},
        {9.999999999999999e17, " 1D+18"},
        {0.1234567890123459, " .123456789012346"},
        {-123456789012345.9, "-123456789012346"},
    };
    for (const Case& c : cases) {
        StringDescriptor* s = numbers.number_text_double(c.v);
        EXPECT_EQ(text(s), c.expected) << c.v;
        EXPECT_LE(uint32_t(s->length), NumberText::kCapacityDouble);
    }
}

TEST_F(NumberTextTest, ExtendedIsNarrowedToDouble) {
    EXPECT_EQ(text(numbers.number_text_extended(0.1L)), " .1");
    EXPECT_EQ(text(numbers.number_text_extended(-1.5e20L)), "-1.5D+20");
    EXPECT_EQ(text(numbers.number_text_extended(1e400L)), " INF");
}

// The fixed form is built from the rounded digits; it must read exactly as
// printf's "% .*f" with the stated number of decimals would print it.
TEST_F(NumberTextTest, FixedFormMatchesPrintfOverManyValues) {
    std::mt19937_64 random(12345);
    std::uniform_real_distribution<double> exponent(-18, 17);
    for (int i = 0; i < 5000; ++i) {
        const double mantissa = std::uniform_real_distribution<double>(-10, 10)(random);
        const double v = mantissa * std::pow(10.0, std::floor(exponent(random)));
        for (int precision : {7, 16}) {
            StringDescriptor* s = precision == 7 ? numbers.number_text_single(float(v))
                                                 : numbers.number_text_double(v);
            const std::string got = text(s);
            if (got.find_first_of("ED") != std::string::npos) continue;
            // Decimals shown → the printf form with that many decimals.
            const size_t point = got.find('.');
            const int decimals = point == std::string::npos ? 0 : int(got.size() - point - 1);
            char reference[64];
            const double x = precision == 7 ? double(float(v)) : v;
            std::snprintf(reference, sizeof reference, "% .*f", decimals, x);
            std::string expected = reference;
            if (expected.size() > 2 && expected[1] == '0') expected.erase(1, 1);
            ASSERT_EQ(got, expected) << "value " << x << " precision " << precision;
        }
        heap.temp_cleanup(1, 0);
    }
}

}  // namespace
}  // namespace quendrel
