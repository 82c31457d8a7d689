// The key translation table: for every character, extended key and keypad
// key, its scan code and what it gives in the PC keyboard buffer with each
// modifier.
//
// Entries 0-255 are characters, 256 + scan for extended keys, 512 + n for
// keypad key n (codes 100256 + n and 200000 + n). A result below 256 is a
// character (with the entry's scan code); one with bits 8-15 set is an
// extended code whose high byte is the scan code and whose character is 0;
// 0 means the combination gives no key.
#pragma once

#include <array>
#include <cstdint>

namespace quendrel {

enum KeyColumn : int {
    kColumnBase = 0,  // lower-case letter for A-Z, the entry's number otherwise
    kColumnScan = 1,
    kColumnNormal = 2,
    kColumnShift = 3,
    kColumnCtrl = 4,
    kColumnAlt = 5,
    kColumnNumLock = 6,
    kColumnNumLockShift = 9,
};

using KeyTranslationEntry = std::array<int32_t, 10>;
using KeyTranslationTable = std::array<KeyTranslationEntry, 528>;

constexpr int kExtendedEntries = 256;
constexpr int kKeypadEntries = 512;

namespace key_table_rows {

// A printable character pair on one key: unshifted, shifted, scan, Ctrl, Alt.
struct CharacterKey {
    char normal, shifted;
    int32_t scan, ctrl, alt;
};

// clang-format off
constexpr CharacterKey kCharacterKeys[] = {
    {'1', '!',  2,      0, 0x7800},
    {'2', '@',  3, 0x0300, 0x7900},
    {'3', '#',  4,      0, 0x7A00},
    {'4', '$',  5,      0, 0x7B00},
    {'5', '%',  6,      0, 0x7C00},
    {'6', '^',  7,     30, 0x7D00},
    {'7', '&',  8,      0, 0x7E00},
    {'8', '*',  9,      0, 0x7F00},
    {'9', '(', 10,      0, 0x8000},
    {'0', ')', 11,      0, 0x8100},
    {'-', '_', 12,     31, 0x8200},
    {'=', '+', 13,      0, 0x8300},
    {'[', '{', 26,     27, 0x1A00},
    {']', '}', 27,     29, 0x1B00},
    {';', ':', 39,      0, 0x2700},
    {'\'', '"', 40,     0, 0x2800},
    {'`', '~', 41,      0, 0x2900},
    {'\\', '|', 43,    28, 0x2B00},
    {',', '<', 51,      0, 0x3300},
    {'.', '>', 52,      0, 0x3400},
    {'/', '?', 53,      0, 0x3500},
};

// Scan codes of the letter keys A-Z.
constexpr int32_t kLetterScan[26] = {
    30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,
    49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44,
};

// Control characters that live on a key of their own.
struct ControlKey {
    int32_t character, scan, normal, shift, ctrl, alt;
};
constexpr ControlKey kControlKeys[] = {
    { 8, 14,  8,      8,    127, 0x0E00},
    { 9, 15,  9, 0x0F00, 0x9400,      0},
    {13, 28, 13,     13,     10,      0},
    {27,  1, 27,     27,     27,      0},
    {32, 57, 32,     32,     32,      0},
};

struct ExtendedKey {
    int32_t scan, normal, shift, ctrl, alt;
};
constexpr ExtendedKey kExtendedKeys[] = {
    {71, 0x4700, 0x4700, 0x7700, 0x9700},  // Home
    {72, 0x4800, 0x4800, 0x8D00, 0x9800},  // Up
    {73, 0x4900, 0x4900, 0x8400, 0x9900},  // Page Up
    {75, 0x4B00, 0x4B00, 0x7300, 0x9B00},  // Left
    {77, 0x4D00, 0x4D00, 0x7400, 0x9D00},  // Right
    {79, 0x4F00, 0x4F00, 0x7500, 0x9F00},  // End
    {80, 0x5000, 0x5000, 0x9100, 0xA000},  // Down
    {81, 0x5100, 0x5100, 0x7600, 0xA100},  // Page Down
    {82, 0x5200, 0x5200, 0x9200, 0xA200},  // Insert
    {83, 0x5300, 0x5300, 0x9300, 0xA300},  // Delete
    {87, 0x8500, 0x8500, 0x8900, 0x8B00},  // F11
    {88, 0x8600, 0x8600, 0x8A00, 0x8C00},  // F12
};

struct KeypadKey {
    int32_t scan, normal, shift, ctrl, alt, num_lock, num_lock_shift;
};
constexpr KeypadKey kKeypadKeys[16] = {
    {82, 0x5200, 48, 0x9200,      0, 48, 0x5200},  // 0
    {79, 0x4F00, 49, 0x7500,      0, 49, 0x4F00},  // 1
    {80, 0x5000, 50, 0x9100,      0, 50, 0x5000},  // 2
    {81, 0x5100, 51, 0x7600,      0, 51, 0x5100},  // 3
    {75, 0x4B00, 52, 0x7300,      0, 52, 0x4B00},  // 4
    {76, 0x4C00, 53, 0x8F00,      0, 53, 0x4C00},  // 5
    {77, 0x4D00, 54, 0x7400,      0, 54, 0x4D00},  // 6
    {71, 0x4700, 55, 0x7700,      0, 55, 0x4700},  // 7
    {72, 0x4800, 56, 0x8D00,      0, 56, 0x4800},  // 8
    {73, 0x4900, 57, 0x8400,      0, 57, 0x4900},  // 9
    {83, 0x5300, 46, 0x9300,      0, 46, 0x5300},  // .
    {53,     47, 47, 0x9500, 0xA400, 47,     47},  // /
    {55,     42, 42, 0x9600, 0x3700, 42,     42},  // *
    {74,     45, 45, 0x8E00, 0x4A00, 45,     45},  // -
    {78,     43, 43, 0x9000, 0x4E00, 43,     43},  // +
    {28,     13, 13,     10, 0xA600, 13,     13},  // Enter
};
// clang-format on

}  // namespace key_table_rows

constexpr KeyTranslationTable build_key_translation_table() {
    using namespace key_table_rows;
    KeyTranslationTable t{};
    for (int i = 0; i < 528; ++i) t[i][kColumnBase] = i;

    // Characters without a key of their own enter the buffer unchanged.
    for (int c = 1; c < 256; ++c)
        for (int col = kColumnNormal; col <= kColumnAlt; ++col) t[c][col] = c;

    auto set = [&t](int entry, int32_t scan, int32_t normal, int32_t shift, int32_t ctrl,
                    int32_t alt) {
        t[entry][kColumnScan] = scan;
        t[entry][kColumnNormal] = normal;
        t[entry][kColumnShift] = shift;
        t[entry][kColumnCtrl] = ctrl;
        t[entry][kColumnAlt] = alt;
    };
    for (const ControlKey& k : kControlKeys) set(k.character, k.scan, k.normal, k.shift, k.ctrl, k.alt);
    for (const CharacterKey& k : kCharacterKeys) {
        set(uint8_t(k.normal), k.scan, uint8_t(k.normal), uint8_t(k.normal), k.ctrl, k.alt);
        set(uint8_t(k.shifted), k.scan, uint8_t(k.shifted), uint8_t(k.shifted), k.ctrl, k.alt);
    }
    for (int i = 0; i < 26; ++i) {
        int32_t scan = kLetterScan[i];
        int upper = 'A' + i, lower = 'a' + i;
        set(upper, scan, upper, upper, i + 1, scan * 256);
        set(lower, scan, lower, lower, i + 1, scan * 256);
        t[upper][kColumnBase] = lower;
    }

    for (int n = 0; n < 10; ++n)
        set(kExtendedEntries + 59 + n, 59 + n, 0x3B00 + 0x100 * n, 0x5400 + 0x100 * n,
            0x5E00 + 0x100 * n, 0x6800 + 0x100 * n);
    for (const ExtendedKey& k : kExtendedKeys)
        set(kExtendedEntries + (k.normal >> 8), k.scan, k.normal, k.shift, k.ctrl, k.alt);

    for (int n = 0; n < 16; ++n) {
        const KeypadKey& k = kKeypadKeys[n];
        set(kKeypadEntries + n, k.scan, k.normal, k.shift, k.ctrl, k.alt);
        t[kKeypadEntries + n][kColumnNumLock] = k.num_lock;
        t[kKeypadEntries + n][kColumnNumLockShift] = k.num_lock_shift;
    }
    return t;
}

inline constexpr KeyTranslationTable kKeyTranslationTable = build_key_translation_table();

// The table entry of a key code, or -1 for codes the table does not cover
// (modifiers, locks, states).
constexpr int key_translation_entry(int32_t code) {
    if (code >= 0 && code < 256) return code;
    if (code >= 100256 && code <= 100271) return kKeypadEntries + (code - 100256);
    if (code >= 200000 && code <= 200010) return kKeypadEntries + (code - 200000);
    if (code >= 256 && code <= 65535) return kExtendedEntries + ((code >> 8) & 0xFF);
    return -1;
}

}  // namespace quendrel
