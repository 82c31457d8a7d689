#include "runtime/strings/string_functions.h"

#include <functional>
#include <string>
#include <vector>

#include "strings_fixture.h"

namespace quendrel {
namespace {

class StringFunctionsTest : public StringsFixture {
protected:
    StringFunctions fn{heap, errors};
};

using Transform = std::function<StringDescriptor*(StringFunctions&, StringDescriptor*)>;

struct TransformCase {
    const char* name;
    Transform op;
    std::string expected;
};

const std::string kMixed = "  Mixed Case  ";

const std::vector<TransformCase>& transform_cases() {
    static const std::vector<TransformCase> cases = {
        {"upper_case", [](StringFunctions& f, StringDescriptor* s) { return f.upper_case(s); },
         "  MIXED CASE  "},
        {"lower_case", [](StringFunctions& f, StringDescriptor* s) { return f.lower_case(s); },
         "  mixed case  "},
        {"trim_left", [](StringFunctions& f, StringDescriptor* s) { return f.trim_left(s); },
         "Mixed Case  "},
        {"trim_right", [](StringFunctions& f, StringDescriptor* s) { return f.trim_right(s); },
         "  Mixed Case"},
        {"left_string", [](StringFunctions& f, StringDescriptor* s) { return f.left_string(s, 4); },
         "  Mi"},
        {"right_string",
         [](StringFunctions& f, StringDescriptor* s) { return f.right_string(s, 4); }, "se  "},
        {"mid_string", [](StringFunctions& f, StringDescriptor* s) { return f.mid_string(s, 3, 5); },
         "Mixed"},
        {"mid_string_to_end",
         [](StringFunctions& f, StringDescriptor* s) { return f.mid_string(s, 9); }, "Case  "},
    };
    return cases;
}

TEST_F(StringFunctionsTest, PlainTemporaryIsChangedInPlaceAndReturned) {
    for (const TransformCase& c : transform_cases()) {
        SCOPED_TRACE(c.name);
        StringDescriptor* s = make(Kind::PlainTemporary, kMixed);
        uint8_t* start = s->text;
        const uint32_t strings = heap.heap_list_count();
        StringDescriptor* r = c.op(fn, s);
        EXPECT_EQ(r, s);
        EXPECT_EQ(text(r), c.expected);
        EXPECT_GE(r->text, start);  // inside its own text: nothing was copied
        EXPECT_LE(r->text + r->length, start + kMixed.size());
        EXPECT_EQ(heap.heap_list_count(), strings);
    }
}

TEST_F(StringFunctionsTest, OtherArgumentsAreNeverChangedAndTemporariesAreConsumed) {
    for (Kind kind : {Kind::Variable, Kind::Literal, Kind::Fixed, Kind::SegmentTemporary}) {
        for (const TransformCase& c : transform_cases()) {
            SCOPED_TRACE(std::string(kind_name(kind)) + " " + c.name);
            StringDescriptor* s = make(kind, kMixed);
            const uint8_t* before = s->text;
            StringDescriptor* r = c.op(fn, s);
            ASSERT_NE(r, s);
            EXPECT_TRUE(StringHeap::is_plain_temporary(r));
            EXPECT_EQ(text(r), c.expected);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(before), kMixed.size()), kMixed);
            if (!consumed_when_copied(kind)) {
                EXPECT_EQ(text(s), kMixed);
            }
            EXPECT_EQ(was_freed(s), consumed_when_copied(kind));
        }
    }
}

TEST_F(StringFunctionsTest, ResultEqualToTheArgumentIsTheArgumentItself) {
    struct Case {
        const char* name;
        std::string input;
        Transform op;
    };
    const std::vector<Case> cases = {
        {"upper_case empty", "", [](StringFunctions& f, StringDescriptor* s) { return f.upper_case(s); }},
        {"lower_case empty", "", [](StringFunctions& f, StringDescriptor* s) { return f.lower_case(s); }},
        {"trim_left nothing", "ab ", [](StringFunctions& f, StringDescriptor* s) { return f.trim_left(s); }},
        {"trim_right nothing", " ab", [](StringFunctions& f, StringDescriptor* s) { return f.trim_right(s); }},
        {"trim_left empty", "", [](StringFunctions& f, StringDescriptor* s) { return f.trim_left(s); }},
        {"left_string 99", "hello", [](StringFunctions& f, StringDescriptor* s) { return f.left_string(s, 99); }},
        {"right_string 5", "hello", [](StringFunctions& f, StringDescriptor* s) { return f.right_string(s, 5); }},
        {"mid_string 1 5", "hello", [](StringFunctions& f, StringDescriptor* s) { return f.mid_string(s, 1, 5); }},
        {"mid_string 0 6", "hello", [](StringFunctions& f, StringDescriptor* s) { return f.mid_string(s, 0, 6); }},
        {"mid_string -3", "hello", [](StringFunctions& f, StringDescriptor* s) { return f.mid_string(s, -3); }},
        {"left_string of empty", "", [](StringFunctions& f, StringDescriptor* s) { return f.left_string(s, 3); }},
    };
    for (Kind kind : {Kind::Variable, Kind::Literal, Kind::PlainTemporary}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(kind_name(kind)) + " " + c.name);
            StringDescriptor* s = make(kind, c.input);
            EXPECT_EQ(c.op(fn, s), s);
            EXPECT_EQ(text(s), c.input);
        }
    }
}

// The command interpreter's chain on the player's input variable.
TEST_F(StringFunctionsTest, CommandNormalisationChainCopiesOnlyOnce) {
    StringDescriptor* input = variable("  look at Case  ");
    const uint32_t strings = heap.heap_list_count();
    const uint32_t temps = heap.temp_count();
    StringDescriptor* upper = fn.upper_case(input);
    StringDescriptor* r = fn.trim_left(fn.trim_right(upper));
    EXPECT_EQ(r, upper);
    EXPECT_EQ(text(r), "LOOK AT CASE");
    EXPECT_EQ(text(input), "  look at Case  ");
    EXPECT_EQ(heap.heap_list_count(), strings + 1);
    EXPECT_EQ(heap.temp_count(), temps + 1);
}

TEST_F(StringFunctionsTest, CaseConversionTouchesOnlyAsciiLetters) {
    const std::string mixed = "@AZ[`az{\x80\xe4\xc4";
    EXPECT_EQ(text(fn.upper_case(literal(mixed.c_str()))), "@AZ[`AZ{\x80\xe4\xc4");
    EXPECT_EQ(text(fn.lower_case(literal(mixed.c_str()))), "@az[`az{\x80\xe4\xc4");
}

TEST_F(StringFunctionsTest, TrimmingRemovesOnlySpaces) {
    for (Kind kind : {Kind::PlainTemporary, Kind::Variable}) {
        SCOPED_TRACE(kind_name(kind));
        EXPECT_EQ(text(fn.trim_left(make(kind, "    "))), "");
        EXPECT_EQ(text(fn.trim_right(make(kind, "    "))), "");
        EXPECT_EQ(text(fn.trim_left(make(kind, "\t x "))), "\t x ");
        EXPECT_EQ(text(fn.trim_right(make(kind, " x\t"))), " x\t");
    }
}

TEST_F(StringFunctionsTest, SubstringsClampTheirArguments) {
    struct Case {
        const char* name;
        Transform op;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"left 0", [](StringFunctions& f, StringDescriptor* s) { return f.left_string(s, 0); }, ""},
        {"left -3", [](StringFunctions& f, StringDescriptor* s) { return f.left_string(s, -3); }, ""},
        {"left 2", [](StringFunctions& f, StringDescriptor* s) { return f.left_string(s, 2); }, "He"},
        {"right -1", [](StringFunctions& f, StringDescriptor* s) { return f.right_string(s, -1); }, ""},
        {"right 2", [](StringFunctions& f, StringDescriptor* s) { return f.right_string(s, 2); }, "lo"},
        {"right 9", [](StringFunctions& f, StringDescriptor* s) { return f.right_string(s, 9); }, "Hello"},
        {"mid 2,3", [](StringFunctions& f, StringDescriptor* s) { return f.mid_string(s, 2, 3); }, "ell"},
        {"mid 0,3", [](StringFunctions& f, StringDescriptor* s) { return f.mid_string(s, 0, 3); }, "He"},
        {"mid -1,3", [](StringFunctions& f, StringDescriptor* s) { return f.mid_string(s, -1, 3); }, "H"},
        {"mid -5,3", [](StringFunctions& f, StringDescriptor* s) { return f.mid_string(s, -5, 3); }, ""},
        {"mid 2,0", [](StringFunctions& f, StringDescriptor* s) { return f.mid_string(s, 2, 0); }, ""},
        {"mid 2,-1", [](StringFunctions& f, StringDescriptor* s) { return f.mid_string(s, 2, -1); }, ""},
        {"mid 6,1", [](StringFunctions& f, StringDescriptor* s) { return f.mid_string(s, 6, 1); }, ""},
        {"mid 4,99", [](StringFunctions& f, StringDescriptor* s) { return f.mid_string(s, 4, 99); }, "lo"},
        {"mid min,max", [](StringFunctions& f, StringDescriptor* s) { return f.mid_string(s, INT32_MIN, INT32_MAX); }, ""},
        {"mid 5", [](StringFunctions& f, StringDescriptor* s) { return f.mid_string(s, 5); }, "o"},
        {"mid 6", [](StringFunctions& f, StringDescriptor* s) { return f.mid_string(s, 6); }, ""},
        {"mid max", [](StringFunctions& f, StringDescriptor* s) { return f.mid_string(s, INT32_MAX); }, ""},
    };
    for (Kind kind : {Kind::PlainTemporary, Kind::Variable}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(kind_name(kind)) + " " + c.name);
            EXPECT_EQ(text(c.op(fn, make(kind, "Hello"))), c.expected);
        }
    }
}

TEST_F(StringFunctionsTest, CharStringMakesOneByteOrRaisesError5) {
    StringDescriptor* nul = fn.char_string(0);
    ASSERT_EQ(nul->length, 1);
    EXPECT_EQ(nul->text[0], 0);
    EXPECT_EQ(fn.char_string(255)->text[0], 255);
    EXPECT_EQ(pending_error(), 0);

    for (int32_t bad : {256, -1}) {
        run.pending_error = 0;
        StringDescriptor* r = fn.char_string(bad);
        EXPECT_EQ(pending_error(), 5) << bad;
        EXPECT_EQ(r->length, 0);
        EXPECT_TRUE(r->temporary);
    }
}

TEST_F(StringFunctionsTest, RepetitionCountsNegativeAsZero) {
    EXPECT_EQ(text(fn.space_string(3)), "   ");
    EXPECT_EQ(text(fn.space_string(-2)), "");
    EXPECT_EQ(text(fn.repeat_char(4, 'x')), "xxxx");
    EXPECT_EQ(text(fn.repeat_char(-1, 'x')), "");
    EXPECT_TRUE(fn.space_string(0)->temporary);
}

TEST_F(StringFunctionsTest, CharCodeReadsBytesAndRaisesError5OutsideTheString) {
    EXPECT_EQ(fn.char_code(literal("A")), 65);
    EXPECT_EQ(fn.char_code(literal("abc"), 3), 99);
    EXPECT_EQ(fn.char_code(literal("\xc8")), 200);
    EXPECT_EQ(pending_error(), 0);
    struct Case {
        const char* s;
        int32_t position;
    } bad[] = {{"", 1}, {"abc", 0}, {"abc", 4}, {"abc", -1}};
    for (const Case& c : bad) {
        run.pending_error = 0;
        EXPECT_EQ(fn.char_code(literal(c.s), c.position), 0);
        EXPECT_EQ(pending_error(), 5) << c.s << " " << c.position;
    }
}

TEST_F(StringFunctionsTest, InstrSearchFollowsItsStartRules) {
    struct Case {
        int32_t start, given;
        const char *s, *pattern;
        int32_t expected;
    } cases[] = {
        {0, 0, "hello", "l", 3},     // no start given: from 1
        {-7, 0, "hello", "h", 1},
        {0, 1, "hello", "", 0},      // start 0, empty pattern
        {3, 1, "hello", "", 3},
        {5, 1, "hello", "", 5},
        {6, 1, "hello", "", 0},      // beyond the end
        {6, 1, "hello", "o", 0},
        {-2, 1, "hello", "h", 1},
        {1, 1, "", "", 0},
        {1, 1, "", "a", 0},
        {4, 1, "hello", "l", 4},
        {5, 1, "hello", "o", 5},
        {1, 1, "hello", "lo", 4},
        {1, 1, "hello", "lox", 0},
        {4, 1, "hello", "loo", 0},   // cannot fit
        {1, 1, "ab", "abc", 0},
        {1, 1, "aaab", "aab", 2},    // resumes one byte after a partial match
        {1, 1, "Hello", "h", 0},     // case matters
        {INT32_MAX, 1, "hello", "o", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fn.instr_search(c.start, literal(c.s), literal(c.pattern), c.given), c.expected)
            << c.start << " " << c.s << " " << c.pattern;
    }
}

TEST_F(StringFunctionsTest, InstrSearchFindsBytesBeyondNul) {
    StringDescriptor* s = heap.string_literal("a\0b\0c", 5);
    StringDescriptor* p = heap.string_literal("\0c", 2);
    EXPECT_EQ(fn.instr_search(1, s, p, 1), 4);
}

TEST_F(StringFunctionsTest, ComparisonsAreUnsignedByteOrder) {
    struct Case {
        const char *a, *b;
        int32_t eq, ne, lt, gt, le, ge;
    } cases[] = {
        {"abc", "abc", -1, 0, 0, 0, -1, -1},
        {"", "", -1, 0, 0, 0, -1, -1},
        {"ab", "abc", 0, -1, -1, 0, -1, 0},   // a prefix is smaller and unequal
        {"abc", "ab", 0, -1, 0, -1, 0, -1},
        {"", "a", 0, -1, -1, 0, -1, 0},
        {"b", "abc", 0, -1, 0, -1, 0, -1},
        {"\x80", "a", 0, -1, 0, -1, 0, -1},   // bytes above 127 sort last
        {"A", "a", 0, -1, -1, 0, -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        StringDescriptor* a = literal(c.a);
        StringDescriptor* b = literal(c.b);
        EXPECT_EQ(fn.string_equal(a, b), c.eq);
        EXPECT_EQ(fn.string_not_equal(a, b), c.ne);
        EXPECT_EQ(fn.string_less(a, b), c.lt);
        EXPECT_EQ(fn.string_greater(a, b), c.gt);
        EXPECT_EQ(fn.string_less_equal(a, b), c.le);
        EXPECT_EQ(fn.string_greater_equal(a, b), c.ge);
    }
}

TEST_F(StringFunctionsTest, NumericResultsLeaveTemporariesListed) {
    StringDescriptor* s = temporary("hello");
    StringDescriptor* p = temporary("l");
    fn.instr_search(1, s, p, 1);
    fn.string_equal(s, p);
    fn.string_less(s, p);
    fn.char_code(s);
    EXPECT_EQ(text(s), "hello");
    EXPECT_TRUE(s->temporary);
    EXPECT_TRUE(p->temporary);
    EXPECT_FALSE(was_freed(s));
}

TEST_F(StringFunctionsTest, MidAssignCopiesWithinTheTargetWithoutChangingItsLength) {
    struct Case {
        int32_t start;
        const char* source;
        int32_t length, given;
        const char* expected;
    } cases[] = {
        {2, "XY", 0, 0, "aXYdef"},
        {5, "XYZ", 0, 0, "abcdXY"},     // cut at the target's end
        {2, "XYZ", 1, 1, "aXcdef"},
        {2, "XYZ", 9, 1, "aXYZef"},     // cut at the source's end
        {0, "XYZ", 0, 0, "YZcdef"},     // start 0 skips one source byte
        {-1, "XYZ", 0, 0, "Zbcdef"},
        {-1, "XYZ", 2, 1, "abcdef"},    // both skipped bytes were the count
        {-1, "XYZ", 3, 1, "Zbcdef"},
        {7, "XY", 0, 0, "abcdef"},
        {1, "XY", -1, 1, "abcdef"},
        {1, "", 0, 0, "abcdef"},
        {INT32_MIN, "XY", 0, 0, "abcdef"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.start) + " " + c.source);
        StringDescriptor* target = variable("abcdef");
        fn.mid_assign(target, c.start, literal(c.source), c.length, c.given);
        EXPECT_EQ(text(target), c.expected);
    }
}

TEST_F(StringFunctionsTest, MidAssignLeavesSharedAndConstantTextAlone) {
    StringDescriptor* source = literal("XY");
    fn.mid_assign(heap.empty_string(), 1, source, 0, 0);
    EXPECT_EQ(heap.empty_string()->length, 0);
    fn.mid_assign(heap.space_string_1(), 1, source, 0, 0);
    EXPECT_EQ(text(heap.space_string_1()), " ");
    char constant[] = "hello";
    fn.mid_assign(literal(constant), 1, source, 0, 0);
    EXPECT_STREQ(constant, "hello");
}

TEST_F(StringFunctionsTest, MidAssignDoesNothingWhileAnErrorIsPending) {
    StringDescriptor* target = variable("abcdef");
    errors.raise_error(5);
    fn.mid_assign(target, 1, literal("XY"), 0, 0);
    EXPECT_EQ(text(target), "abcdef");
}

TEST_F(StringFunctionsTest, MidAssignOfATargetIntoItself) {
    StringDescriptor* target = variable("abcdef");
    fn.mid_assign(target, 3, target, 0, 0);
    EXPECT_EQ(text(target), "ababcd");
    EXPECT_FALSE(was_freed(target));
}

TEST_F(StringFunctionsTest, LeftAndRightSetPadOrCutToTheTarget) {
    struct Case {
        const char* source;
        const char* left;
        const char* right;
    } cases[] = {
        {"ab", "ab   ", "   ab"},
        {"abcde", "abcde", "abcde"},
        {"abcdefg", "abcde", "abcde"},
        {"", "     ", "     "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        StringDescriptor* l = make(Kind::Fixed, "xxxxx");
        StringDescriptor* r = make(Kind::Fixed, "xxxxx");
        fn.left_set(l, literal(c.source));
        fn.right_set(r, literal(c.source));
        EXPECT_EQ(text(l), c.left);
        EXPECT_EQ(text(r), c.right);
    }
    StringDescriptor* v = variable("1234");
    fn.right_set(v, literal("ab"));
    EXPECT_EQ(text(v), "  ab");
}

TEST_F(StringFunctionsTest, StatementsConsumeATemporarySource) {
    StringDescriptor* target = variable("abcdef");
    StringDescriptor* source = temporary("XY");
    fn.left_set(target, source);
    EXPECT_EQ(text(target), "XY    ");
    EXPECT_TRUE(was_freed(source));
}

}  // namespace
}  // namespace quendrel
