#include "runtime/strings/string_pack.h"

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>

#include "strings_fixture.h"

namespace quendrel {
namespace {

class StringPackTest : public StringsFixture {
protected:
    StringPack pack{heap, errors};

    StringDescriptor* bytes(const std::string& s) {
        StringDescriptor* d = heap.string_new(uint32_t(s.size()), true);
        for (size_t i = 0; i < s.size(); ++i) d->text[i] = uint8_t(s[i]);
        return d;
    }
};

TEST_F(StringPackTest, ValuesArePackedInMemoryOrder) {
    EXPECT_EQ(text(pack.pack_value_i16(0x1234)), std::string("\x34\x12"));
    EXPECT_EQ(text(pack.pack_value_i32(-2)), std::string("\xfe\xff\xff\xff"));
    EXPECT_EQ(text(pack.pack_value_u8(200)), std::string("\xc8"));
    EXPECT_EQ(text(pack.pack_value_single(1.0f)), std::string("\x00\x00\x80\x3f", 4));
    EXPECT_EQ(pack.pack_value_double(0)->length, 8);
    EXPECT_EQ(pack.pack_value_i64(0)->length, 8);
    EXPECT_EQ(pack.pack_value_u32(0)->length, 4);
}

TEST_F(StringPackTest, EveryWidthRoundTrips) {
    EXPECT_EQ(pack.unpack_value_i8(pack.pack_value_i8(-128)), -128);
    EXPECT_EQ(pack.unpack_value_u8(pack.pack_value_u8(255)), 255);
    EXPECT_EQ(pack.unpack_value_i16(pack.pack_value_i16(-32768)), -32768);
    EXPECT_EQ(pack.unpack_value_u16(pack.pack_value_u16(65535)), 65535);
    EXPECT_EQ(pack.unpack_value_i32(pack.pack_value_i32(INT32_MIN)), INT32_MIN);
    EXPECT_EQ(pack.unpack_value_u32(pack.pack_value_u32(UINT32_MAX)), UINT32_MAX);
    EXPECT_EQ(pack.unpack_value_i64(pack.pack_value_i64(INT64_MIN)), INT64_MIN);
    EXPECT_EQ(pack.unpack_value_u64(pack.pack_value_u64(UINT64_MAX)), UINT64_MAX);
    EXPECT_EQ(pack.unpack_value_single(pack.pack_value_single(-1.5e-30f)), -1.5e-30f);
    EXPECT_EQ(pack.unpack_value_double(pack.pack_value_double(DBL_MAX)), DBL_MAX);
    const long double third = 1.0L / 3;
    EXPECT_EQ(pack.unpack_value_extended(pack.pack_value_extended(third)), third);
    EXPECT_EQ(pending_error(), 0);
}

TEST_F(StringPackTest, ExtendedFormIsValueThenZeroBytes) {
    StringDescriptor* s = pack.pack_value_extended(-2.5L);
    ASSERT_EQ(s->length, 32);
    const long double v = -2.5L;
    const size_t value_bytes = std::numeric_limits<long double>::digits == 64 ? 10 : sizeof v;
    EXPECT_EQ(std::memcmp(s->text, &v, value_bytes), 0);
    for (int32_t i = int32_t(value_bytes); i < 32; ++i) EXPECT_EQ(s->text[i], 0) << i;
}

TEST_F(StringPackTest, BitFieldsUseWholeBytesOfTheMaskedValue) {
    EXPECT_EQ(text(pack.pack_value_bits(0x1FF, 4)), std::string("\x0f"));
    EXPECT_EQ(text(pack.pack_value_bits(0xFABCDE, 20)), std::string("\xde\xbc\x0a"));
    EXPECT_EQ(text(pack.pack_value_bits(0x1FF, 9)), std::string("\xff\x01"));
    EXPECT_EQ(pack.pack_value_bits(~uint64_t(0), 64)->length, 8);
    EXPECT_EQ(pack.pack_value_bits(~uint64_t(0), 99)->length, 8);
    EXPECT_EQ(pack.pack_value_bits(5, 0)->length, 0);

    struct Case {
        std::string s;
        int32_t bits;
        bool is_signed;
        int64_t expected;
    } cases[] = {
        {"\x0f", 4, true, -1},
        {"\x0f", 4, false, 15},
        {"\xf7", 4, true, 7},                 // bits above the field are ignored
        {"\xff\x07", 12, true, 2047},
        {std::string("\x00\x08", 2), 12, true, -2048},
        {std::string("\x00\x08", 2), 12, false, 2048},
        {std::string(8, '\xff'), 64, true, -1},
        {"\x01", 1, true, -1},
        {"\x01", 1, false, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(pack.unpack_value_bits(bytes(c.s), c.bits, c.is_signed), c.expected)
            << c.bits << (c.is_signed ? " signed" : " unsigned");
    }
}

TEST_F(StringPackTest, UnpackingAShortStringRaisesError5AndGivesZero) {
    EXPECT_EQ(pack.unpack_value_i32(bytes("abc")), 0);
    EXPECT_EQ(pending_error(), 5);
    run.pending_error = 0;
    EXPECT_EQ(pack.unpack_value_extended(pack.pack_value_double(1.0)), 0.0L);  // 8 of 32 bytes
    EXPECT_EQ(pending_error(), 5);
    run.pending_error = 0;
    EXPECT_EQ(pack.unpack_value_bits(bytes("\x01"), 9, false), 0);
    EXPECT_EQ(pending_error(), 5);
    run.pending_error = 0;
    EXPECT_EQ(pack.unpack_value_i8(bytes("")), 0);
    EXPECT_EQ(pending_error(), 5);
}

TEST_F(StringPackTest, UnpackingDoesNotFreeItsArgument) {
    StringDescriptor* s = pack.pack_value_i16(7);
    EXPECT_EQ(pack.unpack_value_i16(s), 7);
    EXPECT_TRUE(s->temporary);
    EXPECT_FALSE(was_freed(s));
}

TEST_F(StringPackTest, MsbfSingleKnownEncodings) {
    struct Case {
        float v;
        std::string form;
    } cases[] = {
        {1.0f, std::string("\x00\x00\x00\x81", 4)},
        {-1.0f, std::string("\x00\x00\x80\x81", 4)},
        {0.5f, std::string("\x00\x00\x00\x80", 4)},
        {10.0f, std::string("\x00\x00\x20\x84", 4)},
        {0.0f, std::string(4, '\0')},
        {-0.0f, std::string(4, '\0')},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(text(pack.pack_msbf_single(c.v)), c.form) << c.v;
        EXPECT_EQ(pack.unpack_msbf_single(bytes(c.form)), c.v) << c.v;
    }
    EXPECT_EQ(text(pack.pack_msbf_double(1.0)), std::string("\0\0\0\0\0\0\0\x81", 8));
    EXPECT_EQ(text(pack.pack_msbf_double(-10.0)), std::string("\0\0\0\0\0\0\xa0\x84", 8));
}

TEST_F(StringPackTest, MsbfRoundTripsRepresentableValues) {
    const float singles[] = {1, -1, 0.1f, 3.14159265f, -123456.7f, 1e38f, FLT_MIN,
                             std::ldexp(1.0f, -128), std::ldexp(1.75f, -127),
                             std::nextafter(std::ldexp(1.0f, 127), 0.0f)};
    for (float v : singles) {
        EXPECT_EQ(pack.unpack_msbf_single(pack.pack_msbf_single(v)), v) << v;
    }
    const double doubles[] = {1, -1, 0.1, 1.0 / 3, -123.456, 1.5e38, 1e-38,
                              std::ldexp(1.0, -128), std::nextafter(std::ldexp(1.0, 127), 0.0)};
    for (double v : doubles) {
        EXPECT_EQ(pack.unpack_msbf_double(pack.pack_msbf_double(v)), v) << v;
    }
    EXPECT_EQ(pending_error(), 0);
}

TEST_F(StringPackTest, MsbfRaisesError5ForValuesItCannotHold) {
    const float singles[] = {std::ldexp(1.0f, 127), FLT_MAX, INFINITY, -INFINITY, NAN};
    for (float v : singles) {
        run.pending_error = 0;
        EXPECT_EQ(pack.pack_msbf_single(v)->length, 0) << v;
        EXPECT_EQ(pending_error(), 5) << v;
    }
    run.pending_error = 0;
    EXPECT_EQ(pack.pack_msbf_double(1e300)->length, 0);
    EXPECT_EQ(pending_error(), 5);
    run.pending_error = 0;
    EXPECT_EQ(pack.unpack_msbf_double(bytes("abc")), 0);
    EXPECT_EQ(pending_error(), 5);
}

TEST_F(StringPackTest, MsbfUnderflowGivesZero) {
    EXPECT_EQ(text(pack.pack_msbf_single(1e-40f)), std::string(4, '\0'));
    EXPECT_EQ(text(pack.pack_msbf_double(-1e-300)), std::string(8, '\0'));
    EXPECT_EQ(pending_error(), 0);
}

// The 8-byte form has 56 significant bits; a double keeps 53, rounded to
// nearest with ties to even.
TEST_F(StringPackTest, MsbfDoubleRoundsItsExtraBits) {
    struct Case {
        uint8_t low_byte;
        double expected;
    } cases[] = {
        {1, 1.0},                             // below half: down
        {4, 1.0},                             // tie, even: stays
        {5, 1.0 + std::ldexp(1.0, -52)},      // above half: up
        {12, 1.0 + std::ldexp(1.0, -51)},     // tie, odd: up to even
    };
    for (const Case& c : cases) {
        std::string form("\0\0\0\0\0\0\0\x81", 8);
        form[0] = char(c.low_byte);
        EXPECT_EQ(pack.unpack_msbf_double(bytes(form)), c.expected) << int(c.low_byte);
    }
}

}  // namespace
}  // namespace quendrel
