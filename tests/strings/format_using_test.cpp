#include "runtime/strings/format_using.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "strings_fixture.h"

namespace quendrel {
namespace {

using Value = std::variant<int64_t, uint64_t, float, double, long double, std::string>;

class FormatUsingTest : public StringsFixture {
protected:
    FormatUsing engine{heap, errors};

    int32_t place(StringDescriptor* tmpl, const Value& v, int32_t position,
                  StringDescriptor* output) {
        struct Visitor {
            FormatUsingTest& t;
            StringDescriptor* tmpl;
            int32_t position;
            StringDescriptor* output;
            int32_t operator()(int64_t v) { return t.engine.format_using_int64(tmpl, v, position, output); }
            int32_t operator()(uint64_t v) { return t.engine.format_using_uint64(tmpl, v, position, output); }
            int32_t operator()(float v) { return t.engine.format_using_single(tmpl, v, position, output); }
            int32_t operator()(double v) { return t.engine.format_using_double(tmpl, v, position, output); }
            int32_t operator()(long double v) {
                return t.engine.format_using_extended(tmpl, v, position, output);
            }
            int32_t operator()(const std::string& s) {
                return t.engine.format_using(tmpl, position, output, t.temporary(s.c_str()));
            }
        };
        return std::visit(Visitor{*this, tmpl, position, output}, v);
    }

    // One formatted-print statement: the values one after another into an
    // empty output variable, stopping at an error.
    std::string statement(const std::string& tmpl, const std::vector<Value>& values) {
        StringDescriptor* t = variable(tmpl.c_str());
        StringDescriptor* output = heap.string_new(0, false);
        int32_t position = 0;
        for (const Value& v : values) {
            position = place(t, v, position, output);
            if (errors.pending()) break;
        }
        std::string result = text(output);
        heap.temp_cleanup(1, 0);
        return result;
    }
};

TEST_F(FormatUsingTest, TemplateTable) {
    struct Case {
        std::string tmpl;
        std::vector<Value> values;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"##", {1.0f, 2.0f, 3.0f}, " 1 2 3"},
        {"###", {-5.0f}, " -5"},
        {"###", {-456.0f}, "%-456"},
        {"#.##", {0.125f}, "0.13"},
        {"##.##", {0.0f}, " 0.00"},
        {".##", {0.5f}, ".50"},
        {".##", {0.0f}, ".00"},
        {"**$##.##", {5.25f}, "***$5.25"},
        {"$$###.##", {12.5f}, "  $12.50"},
        {"##,###", {1234.0f}, " 1,234"},
        {"#,###.##", {1234567.0f}, "%1,234,567.00"},
        {"+#.##", {-5.0f}, "-5.00"},
        {"+#.##", {5.0f}, "+5.00"},
        {"#.##-", {-5.0f}, "5.00-"},
        {"#.##-", {5.0f}, "5.00 "},
        {"#.##+", {5.0f}, "5.00+"},
        {"#.##+", {-5.0f}, "5.00-"},
        {"##.##^^^^", {123.4f}, " 1.23E+02"},
        {".###^^^^", {123.4f}, "0.12E+03"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(statement(c.tmpl, c.values), c.expected) << c.tmpl;
        EXPECT_EQ(run.pending_error.load(), 0) << c.tmpl;
    }
}

TEST_F(FormatUsingTest, CaseClock) {
    struct Case {
        float minutes, seconds;
        const char* expected;
    } cases[] = {
        {29, 59.5f, "  29:59.500"},
        {29, 5.25f, "  29: 5.250"},
        {0, 59.9996f, "   0:60.000"},
        {123, 1, " 123: 1.000"},
        {1234, 1, " %1234: 1.000"},
        {-1, -1.5f, "  -1:-1.500"},
    };
    for (const Case& c : cases) {
        StringDescriptor* tmpl = literal(" ###:##.###");
        StringDescriptor* output = heap.string_new(0, false);
        EXPECT_EQ(engine.format_using_single(tmpl, c.minutes, 0, output), 5);
        EXPECT_EQ(engine.format_using_single(tmpl, c.seconds, 5, output), 0);
        EXPECT_EQ(text(output), c.expected);
        EXPECT_EQ(run.pending_error.load(), 0);
        heap.temp_cleanup(1, 0);
    }
}

TEST_F(FormatUsingTest, RoundingIsHalfAwayFromZeroOnTheExactDigits) {
    struct Case {
        std::string tmpl;
        Value v;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"#", 2.5, "3"},
        {"##", -2.5, "-3"},
        {"#", 0.5, "1"},                    // rounding into an empty integer part
        {"#.##", 2.675, "2.67"},            // the double is 2.67499999999999982...
        {"#.##", 1.005f, "1.00"},           // the single is 1.00499999523...
        {"#.##", 0.005, "0.01"},            // 0.005000000000000000104...
        {"#.##", 0.0006, "0.00"},           // the first digit not shown is a 0
        {"#.##", 0.0049, "0.00"},
        {"##.#", 99.96, "%100.0"},          // carry out of the first digit
        {"###", 999.5, "%1000"},
        {"+#.#^^^^", 9.96, "+1.0D+01"},
        {"#.#^^^^", 9.96, "0.1D+02"},
        {"#.##", int64_t(7), "7.00"},
        {"#.#", 0.25L, "0.3"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(statement(c.tmpl, {c.v}), c.expected) << c.tmpl << " " << c.v.index();
    }
}

TEST_F(FormatUsingTest, FieldForms) {
    struct Case {
        std::string tmpl;
        Value v;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"##,###", -1234.0f, "-1,234"},
        {"#,###,###", 1234567.0, "1,234,567"},
        {"##,##.#", 12345.67, "%12,345.7"},
        {"**", 5.0f, "*5"},
        {"$$", 5.0f, "$5"},
        {"**##", 5.0f, "***5"},
        {"**##", -5.0f, "**-5"},
        {"$$##", 5.0f, "  $5"},
        {"**$#", 1234.0f, "%$1234"},
        {"+###", 0.0f, "+  0"},              // the sign comes before the padding
        {"###.", 5.0f, "  5."},
        {"#.##^^^^", 0.0f, "0.00E+00"},
        {"#.##^^^^", 5.0f, "0.50E+01"},
        {"#.##^^^^", -5.0f, "-.50E+01"},
        {"##.##^^^^", -123.4f, "-1.23E+02"},
        {"###.##^^^^", 5.0f, " 50.00E-01"},
        {"+#.##^^^^", 123.4f, "+1.23E+02"},
        {"#.##^^^^-", -123.4f, "1.23E+02-"},
        {"#^^^^", 5.0f, "5E+00"},
        {"#^^^^", -5.0f, "%-5E+00"},
        {".#^^^^", 0.5f, " 5E-01"},
        {"+#.##^^^^^", 1e100, "+1.00D+100"},
        {"+#.##^^^^", 1e100, "%+1.00D+100"},     // the exponent needs three digits
        {"+#.##^^^^", 1e-100, "%+1.00D-100"},
        {"$$#.#^^^^", 1.5, "$ 1.5D+00"},
        {"##.##^^^^", 123.4L, " 1.23F+02"},
        {"####################", int64_t(INT64_MIN), "-9223372036854775808"},
        {"###################", int64_t(INT64_MIN), "%-9223372036854775808"},
        {"####################", uint64_t(UINT64_MAX), "18446744073709551615"},
        {"#.#", int64_t(-0), "0.0"},
        {"#.#", -0.0, "0.0"},                    // negative zero shows as zero
        {"#.#", -0.01, "-.0"},                   // a negative value rounded to zero
    };
    for (const Case& c : cases) {
        EXPECT_EQ(statement(c.tmpl, {c.v}), c.expected) << c.tmpl;
    }
}

TEST_F(FormatUsingTest, ExponentLetterReturnsToEAfterDoubleAndExtended) {
    EXPECT_EQ(statement("##.##^^^^", {123.4}), " 1.23D+02");
    EXPECT_EQ(statement("##.##^^^^", {123.4L}), " 1.23F+02");
    EXPECT_EQ(statement("##.##^^^^", {123.4f}), " 1.23E+02");
    EXPECT_EQ(statement("##.##^^^^", {int64_t(123)}), " 1.23E+02");
}

TEST_F(FormatUsingTest, StringFields) {
    struct Case {
        std::string tmpl;
        std::vector<Value> values;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"!", {std::string("abc")}, "a"},
        {"!", {std::string("")}, " "},
        {"\\  \\", {std::string("abcdef")}, "abcd"},
        {"\\  \\", {std::string("ab")}, "ab  "},
        {"\\\\", {std::string("abc")}, "ab"},
        {"[&]", {std::string("whole text")}, "[whole text]"},
        {"&", {std::string("")}, ""},
        {"Name: & Age: ##", {std::string("Bob"), 42.0f}, "Name: Bob Age: 42"},
        {"&,", {std::string("a"), std::string("b")}, "a,b,"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tmpl);
        EXPECT_EQ(statement(c.tmpl, c.values), c.expected);
        EXPECT_EQ(run.pending_error.load(), 0);
    }
    // An unclosed backslash is literal text: no field at all, error 5 after
    // the text has been copied once.
    EXPECT_EQ(statement("\\ x\\", {std::string("abc")}), "\\ x\\");
    EXPECT_EQ(run.pending_error.load(), 5);
}

TEST_F(FormatUsingTest, LiteralTextAndEscapes) {
    EXPECT_EQ(statement("_###", {5.0f}), "# 5");
    EXPECT_EQ(statement("__##", {5.0f}), "_ 5");
    EXPECT_EQ(statement("_&&", {std::string("x")}), "&x");
    EXPECT_EQ(statement("##_", {5.0f}), " 5_");           // a final "_" is itself
    EXPECT_EQ(statement("a.b#c", {5.0f}), "a.b5c");        // "." without positions is text
    EXPECT_EQ(statement("-## $", {5.0f}), "- 5 $");
    EXPECT_EQ(statement("+ #", {5.0f}), "+ 5");
    EXPECT_EQ(statement("(##) ", {1.0f, 2.0f}), "( 1) ( 2) ");
}

TEST_F(FormatUsingTest, EachCallReturnsThePositionOfTheNextField) {
    StringDescriptor* tmpl = literal("a## b## c");
    StringDescriptor* output = heap.string_new(0, false);
    EXPECT_EQ(engine.format_using_single(tmpl, 1, 0, output), 5);
    EXPECT_EQ(text(output), "a 1 b");
    EXPECT_EQ(engine.format_using_single(tmpl, 2, 5, output), 0);
    EXPECT_EQ(text(output), "a 1 b 2 c");
    // A call from a position after the last field wraps to the start.
    EXPECT_EQ(engine.format_using_single(tmpl, 3, 7, output), 5);
    EXPECT_EQ(text(output), "a 1 b 2 c ca 3 b");
}

TEST_F(FormatUsingTest, TypeMismatchRaisesError13AndKeepsTheOutputSoFar) {
    EXPECT_EQ(statement("ab##", {std::string("x")}), "ab");
    EXPECT_EQ(run.pending_error.load(), 13);
    run.pending_error = 0;
    EXPECT_EQ(statement("ab&", {5.0f}), "ab");
    EXPECT_EQ(run.pending_error.load(), 13);
    run.pending_error = 0;
    StringDescriptor* output = heap.string_new(0, false);
    EXPECT_EQ(engine.format_using(literal("!"), 0, output, literal("x")), 0);
    EXPECT_EQ(engine.format_using_double(literal("!"), 1.0, 0, output), 0);
    EXPECT_EQ(run.pending_error.load(), 13);
}

TEST_F(FormatUsingTest, TemplateWithoutAFieldRaisesError5) {
    for (const char* tmpl : {"", "abc", "+", "$", ".", "^^^^", "_#", "+.^^^^"}) {
        SCOPED_TRACE(tmpl);
        run.pending_error = 0;
        StringDescriptor* output = heap.string_new(0, false);
        EXPECT_EQ(engine.format_using_single(literal(tmpl), 5, 0, output), 0);
        EXPECT_EQ(run.pending_error.load(), 5);
    }
}

TEST_F(FormatUsingTest, NonFiniteValuesRaiseError5) {
    for (Value v : {Value(INFINITY), Value(double(NAN)), Value(-HUGE_VALL)}) {
        run.pending_error = 0;
        EXPECT_EQ(statement("##", {v}), "");
        EXPECT_EQ(run.pending_error.load(), 5);
    }
}

TEST_F(FormatUsingTest, NothingHappensWhileAnErrorIsPending) {
    errors.raise_error(7);
    StringDescriptor* output = heap.string_new(0, false);
    StringDescriptor* tmpl = literal("ab##");
    EXPECT_EQ(engine.format_using_int64(tmpl, 1, 0, output), 0);
    EXPECT_EQ(engine.format_using_uint64(tmpl, 1, 0, output), 0);
    EXPECT_EQ(engine.format_using_single(tmpl, 1, 0, output), 0);
    EXPECT_EQ(engine.format_using_double(tmpl, 1, 0, output), 0);
    EXPECT_EQ(engine.format_using_extended(tmpl, 1, 0, output), 0);
    EXPECT_EQ(engine.format_using(literal("&"), 0, output, literal("x")), 0);
    EXPECT_EQ(output->length, 0);
    EXPECT_EQ(run.pending_error.load(), 7);
}

TEST_F(FormatUsingTest, OutOfRangePositionStartsFromTheBeginning) {
    StringDescriptor* output = heap.string_new(0, false);
    EXPECT_EQ(engine.format_using_single(literal("x##"), 5, 99, output), 0);
    EXPECT_EQ(engine.format_using_single(literal("x##"), 6, -4, output), 0);
    EXPECT_EQ(text(output), "x 5x 6");
}

// The largest extended values have thousands of integer digits; the engine
// keeps the leading 1,024 and shows zeros after them.
TEST_F(FormatUsingTest, HugeExtendedValuesAreBounded) {
    char reference[64];
    std::snprintf(reference, sizeof reference, "%.25Le", LDBL_MAX);
    const std::string leading = std::string(1, reference[0]) + std::string(reference + 2, 19);

    const std::string wide = statement("#", {LDBL_MAX});
    ASSERT_EQ(wide.size(), 1u + 4933u);
    EXPECT_EQ(wide.substr(0, 21), "%" + leading);
    EXPECT_EQ(wide.find_first_not_of('0', 1 + 1024), std::string::npos);

    EXPECT_EQ(statement("+#.##^^^^", {LDBL_MAX}), "%+1.19F+4932");
    EXPECT_EQ(statement("+#.##^^^^", {-LDBL_MAX}), "%-1.19F+4932");
    EXPECT_EQ(statement("#.##", {LDBL_TRUE_MIN}), "0.00");
    EXPECT_EQ(statement("+#.##^^^^", {1e-300L}), "+0.00F+00");  // beyond 255 decimals: zero

    // Around the switch between the fixed and the leading-digits expansion.
    for (long double v : {9.9e767L, 1e768L, 1.1e768L, 1e769L}) {
        const std::string s = statement("+#.###^^^^^", {v});
        char expected[64];
        std::snprintf(expected, sizeof expected, "%+.3LE", v);
        std::string e = expected;
        e.replace(e.find('E'), 1, "F");
        EXPECT_EQ(s, e) << double(v);
    }
}

// Fixed and exponent fields agree with printf's rounding of the exact value
// (printf rounds ties to even, which random values practically never hit).
TEST_F(FormatUsingTest, FieldsAgreeWithPrintfOverManyValues) {
    std::mt19937_64 random(777);
    std::uniform_real_distribution<double> magnitude(-4, 4);
    StringDescriptor* fixed = variable("#####.###");
    StringDescriptor* exponent = variable("+#.######^^^^");
    for (int i = 0; i < 5000; ++i) {
        const double v = std::uniform_real_distribution<double>(-1, 1)(random) *
                         std::pow(10.0, magnitude(random));
        const long double lv = (long double)v * (1.0L + 1e-17L);
        char reference[64];
        StringDescriptor* output = heap.string_new(0, false);

        engine.format_using_double(fixed, v, 0, output);
        std::snprintf(reference, sizeof reference, "%9.3f", v);
        ASSERT_EQ(text(output), reference) << v;

        heap.string_assign(output, heap.string_new(0, true));
        engine.format_using_extended(fixed, lv, 0, output);
        std::snprintf(reference, sizeof reference, "%9.3Lf", lv);
        ASSERT_EQ(text(output), reference) << double(lv);

        heap.string_assign(output, heap.string_new(0, true));
        engine.format_using_double(exponent, v, 0, output);
        std::snprintf(reference, sizeof reference, "%+.6E", v);
        std::string expected = reference;
        expected[expected.find('E')] = 'D';
        ASSERT_EQ(text(output), expected) << v;

        heap.string_free(output);
        heap.temp_cleanup(1, 0);
    }
}

}  // namespace
}  // namespace quendrel
