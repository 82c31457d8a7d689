// The one code space of key events: characters 1-255, extended keys as
// scan code * 256, and the modifiers, locks and keypad keys above 100000.
#pragma once

#include <cstdint>

namespace quendrel {

enum : int32_t {
    kKeyEnter = 13,
    kKeyF1 = 0x3B00,
    kKeyF10 = 0x4400,
    kKeyF11 = 0x8500,
    kKeyF12 = 0x8600,
    kKeyHome = 0x4700,
    kKeyUp = 0x4800,
    kKeyPageUp = 0x4900,
    kKeyLeft = 0x4B00,
    kKeyCentre = 0x4C00,
    kKeyRight = 0x4D00,
    kKeyEnd = 0x4F00,
    kKeyDown = 0x5000,
    kKeyPageDown = 0x5100,
    kKeyInsert = 0x5200,
    kKeyDelete = 0x5300,

    kKeyPause = 100019,
    kKeyBreakAlternate = 100296,
    // Keypad with Num Lock on: 0-9, then . / * - + Enter.
    kKeypadDigit0 = 100256,
    kKeypadPoint = 100266,
    kKeypadSlash = 100267,
    kKeypadEnter = 100271,
    kKeyNumLock = 100300,
    kKeyCapsLock = 100301,
    kKeyScrollLockKey = 100302,
    kKeyRightShift = 100303,
    kKeyLeftShift = 100304,
    kKeyRightCtrl = 100305,
    kKeyLeftCtrl = 100306,
    kKeyRightAlt = 100307,
    kKeyLeftAlt = 100308,
    kKeySysReq = 100317,
    kKeyBreak = 100318,
    // Keypad with Num Lock off: Insert End Down PgDn Left centre Right Home
    // Up PgUp Delete.
    kKeypadOffInsert = 200000,
    kKeypadOffDelete = 200010,
    kScrollLockState = 200011,
    kInsertState = 200012,
    kKeyZero = 200013,
};

constexpr bool is_keypad_on_code(int32_t code) { return code >= 100256 && code <= 100271; }
constexpr bool is_keypad_off_code(int32_t code) { return code >= 200000 && code <= 200010; }
constexpr bool is_keypad_code(int32_t code) {
    return is_keypad_on_code(code) || is_keypad_off_code(code);
}

}  // namespace quendrel
