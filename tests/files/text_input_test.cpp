#include <cfloat>
#include <cmath>
#include <cstring>

#include "files_fixture.h"
#include "runtime/console/input_types.h"

namespace quendrel {
namespace {

using namespace std::string_literals;
using TextInputTest = FilesFixture;

TEST_F(TextInputTest, StringFieldsSplitAtCommasAndLineEnds) {
    struct Case {
        const char* label;
        std::string content;
        std::vector<std::string> fields;
    } cases[] = {
        {"QuotedAndPadded", "  \"x\",y  ,z", {"x", "y", "z"}},
        {"TrailingSpacesTrimmed", "abc   \r\n", {"abc"}},
        {"QuoteKeepsCommasAndLineEnds", "\"a,b\r\nc\"d,e", {"a,b\r\nc", "e"}},
        {"TabsInsideKept", "\ta\tb\t,c", {"a\tb", "c"}},
        {"LineEndVariants", "x\ny\r\n\r\nz\n\rw", {"x", "y", "", "z", "w"}},
        {"QuoteInsideUnquoted", "ab\"c\",d", {"ab\"c\"", "d"}},
        {"UnclosedQuote", "\"abc", {"abc"}},
        {"CtrlZEnds", "ab\x1a,cd", {"ab"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        write_file("f", c.content);
        open("f", kOpenInput, 1);
        for (const std::string& field : c.fields) EXPECT_EQ(input_string(1), field);
        EXPECT_EQ(take_error(), 0);
        EXPECT_EQ(files.file_at_end(1), -1);
        EXPECT_EQ(input_string(1), "");  // past the end: emptied and error 62
        EXPECT_EQ(take_error(), 62);
        files.file_close(1, true);
    }
}

TEST_F(TextInputTest, InputNeedsAReadableInputFile) {
    write_file("f", "1,2");
    open("f", kOpenBinary, 1);
    open("f", kOpenInput, 2, kAccessWrite);
    int16_t value = 9;
    for (auto [number, error] : {std::pair{1, 54}, std::pair{2, 75}, std::pair{3, 52}}) {
        EXPECT_EQ(input_string(number), "old");
        EXPECT_EQ(take_error(), error);
        text_files.file_input_number(number, kTypeInt16, &value);
        EXPECT_EQ(take_error(), error);
    }
    EXPECT_EQ(value, 9);
}

// The stored value of any numeric type word, widened for comparison.
long double stored(const uint8_t* bytes, int32_t type) {
    switch (type) {
    case kTypeInt8: return int8_t(bytes[0]);
    case kTypeUInt8: return bytes[0];
    case kTypeInt16: { int16_t v; std::memcpy(&v, bytes, 2); return v; }
    case kTypeUInt16: { uint16_t v; std::memcpy(&v, bytes, 2); return v; }
    case kTypeInt32: { int32_t v; std::memcpy(&v, bytes, 4); return v; }
    case kTypeUInt32: { uint32_t v; std::memcpy(&v, bytes, 4); return v; }
    case kTypeInt64: { int64_t v; std::memcpy(&v, bytes, 8); return v; }
    case kTypeUInt64: { uint64_t v; std::memcpy(&v, bytes, 8); return v; }
    case kTypeSingle: { float v; std::memcpy(&v, bytes, 4); return v; }
    case kTypeDouble: { double v; std::memcpy(&v, bytes, 8); return v; }
    default: { long double v; std::memcpy(&v, bytes, sizeof v); return v; }
    }
}

struct NumberCase {
    const char* label;
    std::string content;
    int32_t type;
    std::vector<long double> values;  // one INPUT # each
    int32_t error;                    // of the read after them (0: none made)
};
void PrintTo(const NumberCase& c, std::ostream* os) { *os << c.label; }


class NumberInputTest : public FilesFixture, public ::testing::WithParamInterface<NumberCase> {};

TEST_P(NumberInputTest, ReadsAndConverts) {
    const NumberCase& c = GetParam();
    write_file("f", c.content);
    open("f", kOpenInput, 1);
    for (long double expected : c.values) {
        uint8_t bytes[32];
        std::memset(bytes, 0xAA, sizeof bytes);
        text_files.file_input_number(1, c.type, bytes);
        ASSERT_EQ(take_error(), 0);
        EXPECT_EQ(stored(bytes, c.type), expected);
    }
    if (c.error) {
        uint8_t bytes[32];
        std::memset(bytes, 0xAA, sizeof bytes);
        text_files.file_input_number(1, c.type, bytes);
        EXPECT_EQ(take_error(), c.error);
        EXPECT_EQ(bytes[0], 0xAA);  // the variable keeps its value
    }
}

const NumberCase kNumberCases[] = {
    {"Exponent", "1.5E3", kTypeDouble, {1500}, 62},
    {"LeadingPoint", "-.5", kTypeDouble, {-0.5}, 62},
    {"Hexadecimal", "&HFF", kTypeInt16, {255}, 0},
    {"EmptyLineIsZero", "\r\n5", kTypeInt16, {0, 5}, 62},
    {"TextAfterDigitsSkipped", "12abc,7", kTypeInt16, {12, 7}, 62},
    {"SixteenBitOverflow", "40000", kTypeInt16, {}, 6},
    {"HalfRoundsToEvenDown", "2.5", kTypeInt16, {2}, 0},
    {"HalfRoundsToEvenUp", "3.5", kTypeInt16, {4}, 0},
    {"NegativeHalf", "-2.5", kTypeInt16, {-2}, 0},
    {"SixteenBitLimits", "32767 -32768", kTypeInt16, {32767, -32768}, 0},
    {"SixteenBitBelow", "-32769", kTypeInt16, {}, 6},
    {"HexPatternIsNegative", "&HFFFF", kTypeInt16, {-1}, 0},
    {"HexIntoUnsigned", "&hffff", kTypeUInt16, {65535}, 0},
    {"HexTooWide", "&H10000", kTypeInt16, {}, 6},
    {"Octal", "&O777,&o17", kTypeInt32, {511, 15}, 0},
    {"AmpersandAloneIsZero", "&,3", kTypeInt32, {0, 3}, 0},
    {"AmpersandOtherEndsField", "&Q5,3", kTypeInt32, {0, 3}, 0},
    {"EightBitUnsignedRange", "255,-1", kTypeUInt8, {255}, 6},
    {"EightBitSigned", "-128,128", kTypeInt8, {-128}, 6},
    {"ThirtyTwoBit", "4294967295,-1", kTypeUInt32, {4294967295.0L}, 6},
    {"Int64Max", "9223372036854775807", kTypeInt64, {9223372036854775807.0L}, 0},
    {"Int64Min", "-9223372036854775808", kTypeInt64, {-9223372036854775808.0L}, 0},
    {"Int64AboveMax", "9223372036854775808", kTypeInt64, {}, 6},
    {"Int64RoundsPastMax", "9223372036854775807.5", kTypeInt64, {}, 6},
    {"Int64RoundsAwayFromZero", "1.5 -1.5 2.49 0.5 .04 1E18", kTypeInt64, {2, -2, 2, 1, 0, 1e18L}, 0},
    {"Int64ManyDigits", "123456789012345678", kTypeInt64, {123456789012345678.0L}, 0},
    {"Int64TooBig", "1E19", kTypeInt64, {}, 6},
    {"Int64HexPattern", "&HFFFFFFFFFFFFFFFF", kTypeInt64, {-1}, 0},
    {"Int64HexTooLong", "&H1FFFFFFFFFFFFFFFF", kTypeInt64, {}, 6},
    {"Int64OctalLongest", "&O1777777777777777777777", kTypeUInt64, {18446744073709551615.0L}, 0},
    {"Int64OctalTooBig", "&O2000000000000000000000", kTypeUInt64, {}, 6},
    {"UInt64Max", "18446744073709551615", kTypeUInt64, {18446744073709551615.0L}, 0},
    {"UInt64AboveMax", "18446744073709551616", kTypeUInt64, {}, 6},
    {"UInt64SmallNegative", "-0.4", kTypeUInt64, {0}, 0},
    {"UInt64NegativeRoundsBelowZero", "-0.5", kTypeUInt64, {}, 6},
    {"UInt64NegativeOne", "-1", kTypeUInt64, {}, 6},
    {"SingleLargest", "3.402823466E38", kTypeSingle, {3.402823466E38f}, 0},
    {"SingleTooLarge", "3.5E38", kTypeSingle, {}, 6},
    {"SingleTooNegative", "-3.5E38", kTypeSingle, {}, 6},
    {"DoubleLargest", "1.7976931348623157E308", kTypeDouble, {DBL_MAX}, 0},
    {"DoubleTooLarge", "1.7976931348623158E308", kTypeDouble, {}, 6},
    {"DoubleFarTooLarge", "1E309", kTypeDouble, {}, 6},
    {"DoubleTiny", "1E-400,4.9406564584124654E-324", kTypeDouble, {0, 4.9406564584124654E-324}, 0},
    // Rounding all digits would give the next double above 1.
    {"DigitsAfterSeventeenDropped", "1.0000000000000001111", kTypeDouble, {1.0}, 0},
    {"ExponentLettersAndSigns", "1D2 +7 2e+1 5E-1", kTypeDouble, {100, 7, 20, 0.5}, 0},
    {"SecondPointEndsNumber", "1.2.3,4", kTypeDouble, {1.2, 4}, 0},
    {"SecondExponentEndsNumber", "1E2E3,4", kTypeDouble, {100, 4}, 0},
    {"LeadingZeros", "000.00012 0e99999", kTypeDouble, {0.00012, 0}, 0},
    {"SpacesCommasAndLinesBetween", "5  ,\r\n , 7", kTypeInt32, {5, 7}, 62},
    {"CtrlZEndsNumber", "12\x1a" "34", kTypeInt32, {12}, 62},
    {"ExtendedFromHex", "&HFFFFFFFFFFFFFFFF", kTypeExtended, {18446744073709551615.0L}, 0},
    {"ExtendedFromDecimal", "0.1", kTypeExtended, {static_cast<long double>(0.1)}, 0},
    {"NothingLeft", "   ", kTypeDouble, {}, 62},
    {"TypeWordNotNumeric", "1", kTypeString, {}, 5},
    {"TypeWordBadSize", "1", 24, {}, 5},
};

INSTANTIATE_TEST_SUITE_P(Fields, NumberInputTest, ::testing::ValuesIn(kNumberCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(TextInputTest, DigitLimitsOverflowAfterTheFieldIsSkipped) {
    struct Case {
        std::string field;
        int32_t error;
    } cases[] = {
        {std::string(256, '7'), 0},
        {std::string(257, '7'), 6},
        {"0.000" + std::string(256, '3'), 0},
        {"1E" + std::string(30, '0') + "123456789012345678", 6},  // 18 digits: too large a value
        {"1E-" + std::string(30, '0') + "123456789012345678", 0},  // 18 digits: tiny
        {"1E-1234567890123456789", 6},                              // 19 exponent digits
        {"&H" + std::string(256, '0'), 6},                          // more than 16 digits
        {"&H" + std::string(257, 'F'), 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field.substr(0, 30));
        write_file("f", c.field + ",9");
        open("f", kOpenInput, 1);
        double value = -1;
        text_files.file_input_number(1, kTypeDouble, &value);
        EXPECT_EQ(take_error(), c.error);
        text_files.file_input_number(1, kTypeDouble, &value);  // the next field follows
        EXPECT_EQ(take_error(), 0);
        EXPECT_EQ(value, 9);
        files.file_close(1, true);
    }
}

}  // namespace
}  // namespace quendrel
