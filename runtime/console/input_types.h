// Type words of the input statements: one signed 32-bit word per receiving
// variable tells its size and kind. Shared by the line-input editor and the
// file input statements.
#pragma once

#include <cstdint>

namespace quendrel {

enum : int32_t {
    kTypeSizeMask = 0x1FF,        // bits 0-8: size in bits, 0 for strings
    kTypeLineInput = 1 << 9,      // the single string of a LINE INPUT statement
    kTypeBitField = 1 << 24,      // packed bit-field variable
    kTypeUnsigned = 1 << 28,
    kTypeFloat = 1 << 29,
    kTypeString = 1 << 30,
};

// The usual words, spelled out once.
enum : int32_t {
    kTypeInt8 = 8,
    kTypeInt16 = 16,
    kTypeInt32 = 32,
    kTypeInt64 = 64,
    kTypeUInt8 = 8 | kTypeUnsigned,
    kTypeUInt16 = 16 | kTypeUnsigned,
    kTypeUInt32 = 32 | kTypeUnsigned,
    kTypeUInt64 = 64 | kTypeUnsigned,
    kTypeSingle = 32 | kTypeFloat,
    kTypeDouble = 64 | kTypeFloat,
    kTypeExtended = 256 | kTypeFloat,  // stored in 32 bytes
};

constexpr int32_t type_size_bits(int32_t type_word) { return type_word & kTypeSizeMask; }
// Bytes a numeric variable occupies.
constexpr int32_t type_byte_count(int32_t type_word) { return (type_word >> 3) & 63; }

}  // namespace quendrel
