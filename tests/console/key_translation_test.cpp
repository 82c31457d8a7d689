// Every row of the key translation, checked through the buffer entry a key
// press makes with each modifier held.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "key_fixture.h"
#include "runtime/console/key_translation.h"

namespace quendrel {
namespace {

enum Mod { kNone, kShift, kCtrl, kAlt };

// What a result value of the table puts into the buffer.
std::vector<std::pair<int, int>> expected_pairs(int32_t value, int32_t scan) {
    if (value == 0) return {};
    if (value & 0xFF00) return {{0, value >> 8}};
    return {{value, scan}};
}

class KeyTranslationTest : public KeyTest {
protected:
    std::vector<std::pair<int, int>> press_with(Mod mod, int32_t code) {
        const int32_t modifier = mod == kShift ? kKeyLeftShift
                                 : mod == kCtrl ? kKeyLeftCtrl
                                 : mod == kAlt  ? kKeyLeftAlt
                                                : 0;
        if (modifier) keys.key_down(modifier);
        tap(code);
        if (modifier) keys.key_up(modifier);
        return take_pairs();
    }

    void expect_key(int32_t code, int32_t scan, const int32_t (&values)[4]) {
        for (Mod mod : {kNone, kShift, kCtrl, kAlt}) {
            SCOPED_TRACE("code " + std::to_string(code) + " modifier " + std::to_string(mod));
            EXPECT_EQ(press_with(mod, code), expected_pairs(values[mod], scan));
        }
    }
};

TEST_F(KeyTranslationTest, PrintableCharactersTakeScanCtrlAndAltFromTheirKey) {
    struct Row {
        const char* pair;
        int32_t scan, ctrl, alt;
    };
    const Row rows[] = {
        {"1!", 2, 0, 0x7800},   {"2@", 3, 0x0300, 0x7900}, {"3#", 4, 0, 0x7A00},
        {"4$", 5, 0, 0x7B00},   {"5%", 6, 0, 0x7C00},      {"6^", 7, 30, 0x7D00},
        {"7&", 8, 0, 0x7E00},   {"8*", 9, 0, 0x7F00},      {"9(", 10, 0, 0x8000},
        {"0)", 11, 0, 0x8100},  {"-_", 12, 31, 0x8200},    {"=+", 13, 0, 0x8300},
        {"[{", 26, 27, 0x1A00}, {"]}", 27, 29, 0x1B00},    {";:", 39, 0, 0x2700},
        {"'\"", 40, 0, 0x2800}, {"`~", 41, 0, 0x2900},     {"\\|", 43, 28, 0x2B00},
        {",<", 51, 0, 0x3300},  {".>", 52, 0, 0x3400},     {"/?", 53, 0, 0x3500},
    };
    for (const Row& row : rows)
        for (char c : std::string(row.pair))
            expect_key(uint8_t(c), row.scan, {uint8_t(c), uint8_t(c), row.ctrl, row.alt});
}

TEST_F(KeyTranslationTest, LettersFollowTheKeyboardRows) {
    // Scan codes run along the three letter rows of the PC keyboard.
    const std::pair<const char*, int32_t> rows[] = {{"QWERTYUIOP", 16}, {"ASDFGHJKL", 30}, {"ZXCVBNM", 44}};
    for (const auto& [letters, first_scan] : rows) {
        for (int i = 0; letters[i]; ++i) {
            int32_t scan = first_scan + i;
            int32_t upper = letters[i], lower = upper + 32;
            int32_t control = upper - 'A' + 1;
            expect_key(upper, scan, {upper, upper, control, scan * 256});
            expect_key(lower, scan, {lower, lower, control, scan * 256});
        }
    }
}

TEST_F(KeyTranslationTest, ControlKeysOfTheirOwn) {
    struct Row {
        int32_t character, scan, values[4];
    };
    const Row rows[] = {
        {8, 14, {8, 8, 127, 0x0E00}},     // Backspace
        {9, 15, {9, 0x0F00, 0x9400, 0}},  // Tab
        {13, 28, {13, 13, 10, 0}},        // Enter
        {27, 1, {27, 27, 27, 0}},         // Esc
        {32, 57, {32, 32, 32, 0}},        // space
    };
    for (const Row& row : rows) expect_key(row.character, row.scan, row.values);
}

TEST_F(KeyTranslationTest, CharactersWithoutAKeyEnterUnchangedWithScanZero) {
    std::vector<int32_t> characters;
    for (int c = 1; c <= 7; ++c) characters.push_back(c);
    for (int c : {10, 11, 12}) characters.push_back(c);
    for (int c = 14; c <= 26; ++c) characters.push_back(c);
    for (int c = 28; c <= 31; ++c) characters.push_back(c);
    for (int c = 127; c <= 255; ++c) characters.push_back(c);
    for (int32_t c : characters) {
        for (Mod mod : {kNone, kShift, kCtrl, kAlt}) {
            SCOPED_TRACE(c);
            EXPECT_EQ(press_with(mod, c), (std::vector<std::pair<int, int>>{{c, 0}}));
        }
    }
}

TEST_F(KeyTranslationTest, ExtendedKeys) {
    struct Row {
        int32_t scan, values[4];
    };
    std::vector<Row> rows;
    for (int n = 0; n < 10; ++n)
        rows.push_back({59 + n, {0x3B00 + 0x100 * n, 0x5400 + 0x100 * n, 0x5E00 + 0x100 * n,
                                 0x6800 + 0x100 * n}});
    const Row others[] = {
        {71, {0x4700, 0x4700, 0x7700, 0x9700}}, {72, {0x4800, 0x4800, 0x8D00, 0x9800}},
        {73, {0x4900, 0x4900, 0x8400, 0x9900}}, {75, {0x4B00, 0x4B00, 0x7300, 0x9B00}},
        {77, {0x4D00, 0x4D00, 0x7400, 0x9D00}}, {79, {0x4F00, 0x4F00, 0x7500, 0x9F00}},
        {80, {0x5000, 0x5000, 0x9100, 0xA000}}, {81, {0x5100, 0x5100, 0x7600, 0xA100}},
        {82, {0x5200, 0x5200, 0x9200, 0xA200}}, {83, {0x5300, 0x5300, 0x9300, 0xA300}},
        {87, {0x8500, 0x8500, 0x8900, 0x8B00}}, {88, {0x8600, 0x8600, 0x8A00, 0x8C00}},
    };
    rows.insert(rows.end(), std::begin(others), std::end(others));
    for (const Row& row : rows) expect_key(row.values[0], row.scan, row.values);
}

TEST_F(KeyTranslationTest, ExtendedCodesWithoutAnEntryKeepTheirHighByte) {
    EXPECT_EQ(press_with(kNone, kKeyCentre), (std::vector<std::pair<int, int>>{{0, 0x4C}}));
    EXPECT_EQ(press_with(kCtrl, 0x7700), (std::vector<std::pair<int, int>>{{0, 0x77}}));
    // Modifiers and locks store nothing.
    EXPECT_TRUE(press_with(kNone, kKeySysReq).empty());
}

TEST_F(KeyTranslationTest, Keypad) {
    struct Row {
        int32_t scan, normal, shift, ctrl, alt, num_lock, num_lock_shift;
    };
    const Row rows[16] = {
        {82, 0x5200, 48, 0x9200, 0, 48, 0x5200},      {79, 0x4F00, 49, 0x7500, 0, 49, 0x4F00},
        {80, 0x5000, 50, 0x9100, 0, 50, 0x5000},      {81, 0x5100, 51, 0x7600, 0, 51, 0x5100},
        {75, 0x4B00, 52, 0x7300, 0, 52, 0x4B00},      {76, 0x4C00, 53, 0x8F00, 0, 53, 0x4C00},
        {77, 0x4D00, 54, 0x7400, 0, 54, 0x4D00},      {71, 0x4700, 55, 0x7700, 0, 55, 0x4700},
        {72, 0x4800, 56, 0x8D00, 0, 56, 0x4800},      {73, 0x4900, 57, 0x8400, 0, 57, 0x4900},
        {83, 0x5300, 46, 0x9300, 0, 46, 0x5300},      {53, 47, 47, 0x9500, 0xA400, 47, 47},
        {55, 42, 42, 0x9600, 0x3700, 42, 42},         {74, 45, 45, 0x8E00, 0x4A00, 45, 45},
        {78, 43, 43, 0x9000, 0x4E00, 43, 43},         {28, 13, 13, 10, 0xA600, 13, 13},
    };
    for (int n = 0; n < 16; ++n) {
        const Row& r = rows[n];
        SCOPED_TRACE("keypad entry " + std::to_string(n));
        if (n <= 10) {
            // Num Lock off has a code of its own; Num Lock on picks the
            // Num Lock columns unless Ctrl or Alt is held.
            expect_key(kKeypadOffInsert + n, r.scan, {r.normal, r.shift, r.ctrl, r.alt});
            expect_key(kKeypadDigit0 + n, r.scan, {r.num_lock, r.num_lock_shift, r.ctrl, r.alt});
        } else {
            expect_key(kKeypadDigit0 + n, r.scan, {r.normal, r.shift, r.ctrl, r.alt});
        }
    }
}

TEST_F(KeyTranslationTest, LaterModifierWins) {
    keys.key_down(kKeyLeftShift);
    keys.key_down(kKeyRightCtrl);
    EXPECT_EQ(press_with(kNone, 'a'), (std::vector<std::pair<int, int>>{{1, 30}}));
    keys.key_down(kKeyRightAlt);
    EXPECT_EQ(press_with(kNone, 'a'), (std::vector<std::pair<int, int>>{{0, 30}}));
}

TEST(KeyTranslationTableTest, BaseColumnAndEntryIndices) {
    const auto& t = kKeyTranslationTable;
    EXPECT_EQ(t['Q'][kColumnBase], 'q');
    EXPECT_EQ(t['q'][kColumnBase], 'q');
    EXPECT_EQ(t['!'][kColumnBase], '!');
    EXPECT_EQ(t[kExtendedEntries + 0x85][kColumnScan], 87);
    EXPECT_EQ(t[kExtendedEntries + 0x85][kColumnBase], kExtendedEntries + 0x85);
    for (int entry = 0; entry < 528; ++entry) {
        EXPECT_EQ(t[entry][7], 0);
        EXPECT_EQ(t[entry][8], 0);
    }
    EXPECT_EQ(key_translation_entry(100271), 527);
    EXPECT_EQ(key_translation_entry(200010), 522);
    EXPECT_EQ(key_translation_entry(0x8600), kExtendedEntries + 0x86);
    EXPECT_EQ(key_translation_entry(kKeyLeftShift), -1);
}

}  // namespace
}  // namespace quendrel
