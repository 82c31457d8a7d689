#include "runtime/console/key_layer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "key_fixture.h"

// After gtest: X.h defines None.
#include <X11/X.h>
#include <X11/keysym.h>

namespace quendrel {
namespace {

using namespace std::chrono_literals;
using Hits = std::vector<int32_t>;
using Pairs = std::vector<std::pair<int, int>>;

constexpr int kGlutF1 = 1, kGlutUp = 101, kGlutShiftL = 112, kGlutCtrlL = 114;

TEST_F(KeyTest, TypedKeysComeBackInOrder) {
    for (int c : {int('a'), int('b'), 13}) {
        keys.window_key(c, true, 0);
        keys.window_key(c, false, 0);
    }
    EXPECT_EQ(poll(), "a");
    EXPECT_EQ(poll(), "b");
    EXPECT_EQ(poll(), "\r");
    EXPECT_EQ(poll(), "");
    EXPECT_EQ(take_hits(), (Hits{97, -97, 98, -98, 13, -13}));
}

TEST_F(KeyTest, BufferHoldsFifteenKeys) {
    for (int i = 0; i < 16; ++i) tap('a' + i);
    for (int i = 0; i < 15; ++i) EXPECT_EQ(poll(), std::string(1, char('a' + i)));
    EXPECT_EQ(poll(), "");
    // The ring goes on working after wrapping.
    tap('z');
    EXPECT_EQ(poll(), "z");
}

TEST_F(KeyTest, StartUpEmptiesTheBuffer) {
    tap('a');
    keys.start_up(LockKeyStates{});
    EXPECT_EQ(memory.read16(KeyLayer::kBufferHead), 0x001E);
    EXPECT_EQ(memory.read16(KeyLayer::kBufferTail), 0x001E);
    EXPECT_EQ(keys.key_hit(), 0);
    EXPECT_EQ(poll(), "");
}

TEST_F(KeyTest, CtrlLetterBecomesTheLetterWithTheControlCharacterInTheBuffer) {
    keys.window_special_key(kGlutCtrlL, true, kModCtrl);
    keys.window_key(3, true, kModCtrl);
    keys.window_key(3, false, kModCtrl);
    keys.window_special_key(kGlutCtrlL, false, 0);
    EXPECT_EQ(take_pairs(), (Pairs{{3, 46}}));
    EXPECT_EQ(take_hits(), (Hits{kKeyLeftCtrl, 99, -99, -kKeyLeftCtrl}));

    // With Shift held the letter is upper case.
    keys.window_special_key(kGlutShiftL, true, kModShift);
    keys.window_special_key(kGlutCtrlL, true, kModShift | kModCtrl);
    keys.window_key(3, true, kModShift | kModCtrl);
    EXPECT_EQ(take_hits(), (Hits{kKeyLeftShift, kKeyLeftCtrl, 67}));
}

TEST_F(KeyTest, ShiftComesFromTheHeldKeysNotTheReportedModifiers) {
    // With Caps Lock on the window library reports Shift for every key.
    keys.window_key('A', true, kModShift);
    keys.window_key(9, true, kModShift);
    EXPECT_EQ(take_pairs(), (Pairs{{'A', 30}, {9, 15}}));
}

TEST_F(KeyTest, ShiftTabArrivesOnlyAsARawEvent) {
    keys.window_special_key(kGlutShiftL, true, kModShift);
    keys.raw_key(XK_Shift_L, 0, true);  // reported by the library: ignored here
    keys.raw_key(XK_ISO_Left_Tab, ShiftMask, true);
    keys.raw_key(XK_ISO_Left_Tab, ShiftMask, false);
    EXPECT_EQ(poll(), std::string("\0\x0F", 2));
    EXPECT_EQ(poll(), "");
    EXPECT_EQ(take_hits(), (Hits{kKeyLeftShift, 9, -9}));
}

TEST_F(KeyTest, RawShiftTabCountsAsShiftedBeforeTheShiftPressArrives) {
    keys.raw_key(XK_ISO_Left_Tab, ShiftMask, true);
    EXPECT_EQ(poll(), std::string("\0\x0F", 2));
}

TEST_F(KeyTest, CtrlEnterGivesLineFeed) {
    // Delivered as 10 by the window library on some systems ...
    keys.key_down(kKeyLeftCtrl);
    keys.window_key(10, true, kModCtrl);
    keys.window_key(10, false, kModCtrl);
    EXPECT_EQ(poll(), "\n");
    // ... and as 13 under X, where only the raw event tells Enter from Ctrl+M.
    keys.window_key(13, true, kModCtrl);
    keys.raw_key(XK_Return, ControlMask, true);
    keys.window_key(13, false, kModCtrl);
    keys.raw_key(XK_Return, ControlMask, false);
    EXPECT_EQ(poll(), "\n");
    EXPECT_EQ(poll(), "");
    EXPECT_EQ(take_hits(), (Hits{kKeyLeftCtrl, 13, -13, 13, -13}));
}

TEST_F(KeyTest, CtrlKeysThatShareAControlCharacterAreToldApartByTheirRawEvent) {
    keys.key_down(kKeyLeftCtrl);
    struct Case {
        uint32_t keysym;
        int character;  // what the window library delivers
        int32_t hit;
        std::string buffer;
    };
    const Case cases[] = {
        {XK_BackSpace, 8, 8, "\x7F"},
        {XK_h, 8, 'h', "\x08"},
        {XK_Tab, 9, 9, std::string("\0\x94", 2)},
        {XK_i, 9, 'i', "\x09"},
        {XK_m, 13, 'm', "\r"},
        {XK_KP_Enter, 13, 13, "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hit);
        keys.window_key(c.character, true, kModCtrl);
        keys.raw_key(c.keysym, ControlMask, true);
        keys.raw_key(c.keysym, ControlMask, false);
        keys.window_key(c.character, false, kModCtrl);
        EXPECT_EQ(poll(), c.buffer);
        EXPECT_EQ(poll(), "");
        EXPECT_EQ(take_hits(), (Hits{kKeyLeftCtrl, c.hit, -c.hit}));
        keys.key_down(kKeyLeftCtrl);
    }
}

TEST_F(KeyTest, ReleaseAfterCtrlWasLetGoReachesTheKeyOnce) {
    keys.key_down(kKeyLeftCtrl);
    keys.raw_key(XK_Return, ControlMask, true);
    keys.key_up(kKeyLeftCtrl);
    keys.raw_key(XK_Return, 0, false);   // raw without Ctrl: the library reports it
    keys.window_key(13, false, 0);
    EXPECT_EQ(take_hits(), (Hits{kKeyLeftCtrl, 13, -kKeyLeftCtrl, -13}));
    EXPECT_EQ(keys.key_is_down(13), 0);
}

TEST_F(KeyTest, F1GivesItsExtendedCode) {
    keys.window_special_key(kGlutF1, true, 0);
    keys.window_special_key(kGlutF1, false, 0);
    EXPECT_EQ(take_hits(), (Hits{15104, -15104}));
    EXPECT_EQ(poll(), std::string("\0\x3B", 2));
}

TEST_F(KeyTest, SpecialKeyNumbersMapToKeyCodes) {
    const std::pair<int, int32_t> map[] = {
        {1, 0x3B00},   {10, 0x4400},  {11, 0x8500},  {12, 0x8600},  {100, 0x4B00},
        {101, 0x4800}, {102, 0x4D00}, {103, 0x5000}, {104, 0x4900}, {105, 0x5100},
        {106, 0x4700}, {107, 0x4F00}, {108, 0x5200}, {112, 100304}, {113, 100303},
        {114, 100306}, {115, 100305}, {116, 100308}, {117, 100307},
    };
    for (const auto& [key, code] : map) {
        keys.window_special_key(key, true, 0);
        keys.window_special_key(key, false, 0);
        EXPECT_EQ(take_hits(), (Hits{code, -code})) << key;
    }
    // Num Lock, keypad centre and keypad Delete as the library numbers them.
    for (int key : {109, 110, 111}) keys.window_special_key(key, true, 0);
    EXPECT_EQ(keys.key_hit(), 0);
}

TEST_F(KeyTest, KeypadEightWithAndWithoutNumLock) {
    tap(200008);
    EXPECT_EQ(poll(), std::string("\0\x48", 2));
    uint64_t entry = 0;
    ASSERT_TRUE(keys.next_key_hit_entry(entry));
    EXPECT_EQ(entry, (uint64_t(1) << 32) | 0x4800);
    EXPECT_EQ(keys.key_hit(), -0x4800);

    tap(100264);
    EXPECT_EQ(poll(), "8");
    EXPECT_EQ(take_hits(), (Hits{56, -56}));

    tap('8');
    ASSERT_TRUE(keys.next_key_hit_entry(entry));
    EXPECT_EQ(entry, uint64_t(56));  // the main-keyboard 8 carries no keypad mark
}

TEST_F(KeyTest, KeypadKeysTheLibraryDropsComeFromRawEvents) {
    keys.raw_key(XK_KP_Begin, 0, true);
    keys.raw_key(XK_KP_Begin, 0, false);
    keys.raw_key(XK_KP_Delete, 0, true);
    EXPECT_EQ(take_hits(), (Hits{kKeyCentre, -kKeyCentre, kKeyDelete}));
    EXPECT_EQ(poll(), std::string("\0\x4C", 2));
    EXPECT_EQ(poll(), std::string("\0\x53", 2));
}

TEST_F(KeyTest, KeyIsDownCountsTheKeypadTwin) {
    keys.key_down(kKeypadEnter);
    EXPECT_EQ(keys.key_is_down(13), -1);
    EXPECT_EQ(keys.key_is_down(kKeypadEnter), -1);
    keys.key_up(kKeypadEnter);
    EXPECT_EQ(keys.key_is_down(13), 0);

    const std::pair<int32_t, int32_t> twins[] = {
        {'*', 100268}, {'+', 100270}, {'-', 100269}, {'.', 100266}, {'/', 100267},
        {'0', 100256}, {'9', 100265}, {0x5200, 200000}, {0x4F00, 200001}, {0x4C00, 200005},
        {0x4800, 200008}, {0x5300, 200010},
    };
    for (const auto& [code, twin] : twins) {
        keys.key_down(twin);
        EXPECT_EQ(keys.key_is_down(code), -1) << code;
        keys.key_up(twin);
        EXPECT_EQ(keys.key_is_down(code), 0) << code;
    }
    // A keypad key does not count as down through the main-keyboard key.
    keys.key_down('5');
    EXPECT_EQ(keys.key_is_down(100261), 0);
}

TEST_F(KeyTest, KeyIsDownRefusesCodesBelowOne) {
    EXPECT_EQ(keys.key_is_down(0), 0);
    EXPECT_EQ(error(), 5);
    clear_error();
    EXPECT_EQ(keys.key_is_down(-3), 0);
    EXPECT_EQ(error(), 5);
}

TEST_F(KeyTest, ReleaseWithoutPressIsNotReported) {
    keys.key_up('z');
    EXPECT_EQ(keys.key_hit(), 0);
}

TEST_F(KeyTest, AutoRepeatKeepsOneHeldEntry) {
    keys.key_down('q');
    keys.key_down('q');
    keys.key_up('q');
    EXPECT_EQ(keys.key_is_down('q'), 0);
    EXPECT_EQ(take_hits(), (Hits{113, 113, -113}));
    EXPECT_EQ(poll(), "q");
    EXPECT_EQ(poll(), "q");
}

TEST_F(KeyTest, ReleaseAfterShiftChangedFreesTheKeyThatWasPressed) {
    keys.window_key('a', true, 0);
    keys.window_special_key(kGlutShiftL, true, kModShift);
    keys.window_key('A', false, kModShift);
    EXPECT_EQ(keys.key_is_down('a'), 0);
    keys.window_key('1', true, kModShift);
    keys.window_special_key(kGlutShiftL, false, 0);
    keys.window_key('1', false, 0);
    EXPECT_EQ(take_hits(), (Hits{97, kKeyLeftShift, -97, 49, -kKeyLeftShift, -49}));
}

TEST_F(KeyTest, DeleteCharacterBecomesTheDeleteKey) {
    keys.window_key(127, true, 0);
    EXPECT_EQ(keys.key_hit(), kKeyDelete);
    EXPECT_EQ(poll(), std::string("\0\x53", 2));
}

TEST_F(KeyTest, CharacterZeroTravelsAsItsOwnCode) {
    keys.window_key(0, true, kModCtrl);
    EXPECT_EQ(keys.key_is_down(kKeyZero), -1);
    keys.window_key(0, false, kModCtrl);
    EXPECT_EQ(take_hits(), (Hits{kKeyZero, -kKeyZero}));
    EXPECT_EQ(poll(), std::string("\0", 1));
}

TEST_F(KeyTest, HitQueueDropsTheOldestWhenFull) {
    // 16,400 entries into a ring that keeps 8,191.
    for (int32_t i = 0; i < 8200; ++i) tap(300 + i);
    Hits hits = take_hits();
    ASSERT_EQ(hits.size(), 8191u);
    EXPECT_EQ(hits.front(), -(300 + 4104));
    EXPECT_EQ(hits.back(), -(300 + 8199));
}

TEST_F(KeyTest, StatusBytesFollowModifiersLocksAndInsert) {
    EXPECT_EQ(memory.read8(KeyLayer::kStatusFlags3), 0x10);
    struct Case {
        int32_t code;
        uint8_t b417, b418, b496;
    };
    const Case cases[] = {
        {kKeyRightShift, 0x01, 0, 0x10}, {kKeyLeftShift, 0x02, 0, 0x10},
        {kKeyLeftCtrl, 0x04, 0x01, 0x10}, {kKeyRightCtrl, 0x04, 0, 0x11},
        {kKeyLeftAlt, 0x08, 0x02, 0x10},  {kKeyRightAlt, 0x08, 0, 0x12},
        {kKeySysReq, 0, 0x04, 0x10},      {kKeyInsert, 0x80, 0x80, 0x10},
    };
    for (const Case& c : cases) {
        keys.key_down(c.code);
        EXPECT_EQ(memory.read8(0x417), c.b417) << c.code;
        EXPECT_EQ(memory.read8(0x418), c.b418) << c.code;
        EXPECT_EQ(memory.read8(0x496), c.b496) << c.code;
        keys.key_up(c.code);
    }
    // Insert mode stays on after the key is let go.
    EXPECT_EQ(memory.read8(0x417), 0x80);
    EXPECT_EQ(memory.read8(0x418), 0x00);
}

TEST_F(KeyTest, InsertTogglesOnlyWithoutModifiersAndNotOnRepeat) {
    keys.key_down(kKeyInsert);
    keys.key_down(kKeyInsert);  // auto-repeat
    EXPECT_EQ(keys.key_is_down(kInsertState), -1);
    keys.key_up(kKeyInsert);
    tap(kKeyInsert);
    EXPECT_EQ(keys.key_is_down(kInsertState), 0);
    keys.key_down(kKeyLeftShift);
    tap(kKeyInsert);
    EXPECT_EQ(keys.key_is_down(kInsertState), 0);
}

TEST_F(KeyTest, ScrollLockIsKeptInSoftware) {
    keys.raw_key(XK_Scroll_Lock, 0, true);
    keys.raw_key(XK_Scroll_Lock, 0, true);  // auto-repeat does not toggle back
    EXPECT_EQ(memory.read8(0x418) & 0x10, 0x10);
    keys.raw_key(XK_Scroll_Lock, 0, false);
    EXPECT_EQ(memory.read8(0x417) & 0x10, 0x10);
    // The system never reports the toggle; the synchronisation leaves it.
    keys.sync_lock_keys(LockKeyStates{});
    EXPECT_EQ(keys.key_is_down(kScrollLockState), -1);
    keys.raw_key(XK_Scroll_Lock, 0, true);
    keys.raw_key(XK_Scroll_Lock, 0, false);
    EXPECT_EQ(memory.read8(0x417) & 0x10, 0);
    EXPECT_EQ(take_hits(), (Hits{kKeyScrollLockKey, kKeyScrollLockKey, -kKeyScrollLockKey,
                                 kKeyScrollLockKey, -kKeyScrollLockKey}));
}

TEST_F(KeyTest, LockSynchronisationFollowsTheSystemToggles) {
    LockKeyStates locks;
    locks.caps_toggled = true;
    keys.sync_lock_keys(locks);
    keys.sync_lock_keys(locks);  // no change, nothing reported
    EXPECT_EQ(memory.read8(0x417), 0x40);
    locks.caps_toggled = false;
    locks.num_toggled = true;
    keys.sync_lock_keys(locks);
    EXPECT_EQ(memory.read8(0x417), 0x20);
    EXPECT_EQ(take_hits(), (Hits{kKeyCapsLock, -kKeyCapsLock, kKeyNumLock}));
}

TEST_F(KeyTest, StartUpTakesLocksAndHeldModifiersWithoutActingOnThem) {
    LockKeyStates locks;
    locks.scroll_toggled = locks.scroll_down = true;
    locks.left_ctrl = locks.right_shift = locks.left_alt = true;
    locks.caps_toggled = locks.num_toggled = true;
    keys.start_up(locks);
    // Ctrl with Scroll Lock and Num Lock would be Break and Pause as presses.
    EXPECT_EQ(run.stop_program.load(), 0);
    EXPECT_EQ(run.user_pause.load(), 0);
    EXPECT_EQ(memory.read8(0x417), 0x01 | 0x04 | 0x08 | 0x10 | 0x20 | 0x40);
    EXPECT_EQ(memory.read8(0x418), 0x01 | 0x02 | 0x10);
    EXPECT_EQ(keys.key_hit(), 0);
    EXPECT_EQ(memory.read16(KeyLayer::kBufferHead), 30);
    EXPECT_EQ(memory.read16(KeyLayer::kBufferTail), 30);
}

TEST_F(KeyTest, BreakStopsTheProgramOrIsLeftToAProgramThatHandlesExits) {
    tap(kKeyBreak);
    EXPECT_EQ(run.stop_program.load(), 1);
    EXPECT_EQ(keys.key_hit(), -kKeyBreak);  // only the release is reported
    run.stop_program.store(0);

    keys.key_down(kKeyLeftCtrl);
    keys.raw_key(XK_Scroll_Lock, ControlMask, true);
    EXPECT_EQ(run.stop_program.load(), 1);
    EXPECT_EQ(keys.key_is_down(kScrollLockState), 0);
    run.stop_program.store(0);

    run.exit_handled_by_program.store(1);
    keys.key_down(kKeyBreak);
    EXPECT_EQ(run.stop_program.load(), 0);
    EXPECT_EQ(run.exit_requests.load(), 2);
    EXPECT_EQ(poll(), "");
}

TEST_F(KeyTest, PauseHoldsTheCheckpointUntilTheNextKeyPress) {
    keys.key_down(kKeyPause);
    keys.key_up(kKeyPause);
    EXPECT_EQ(run.user_pause.load(), 1);
    EXPECT_EQ(run.pending_event.load(), 1);

    auto checkpoint = std::async(std::launch::async, [&] { errors.statement_checkpoint(1); });
    EXPECT_EQ(checkpoint.wait_for(50ms), std::future_status::timeout);
    keys.key_down(kKeyPause);  // Pause again keeps it paused
    EXPECT_EQ(checkpoint.wait_for(30ms), std::future_status::timeout);
    keys.key_down('x');
    EXPECT_EQ(checkpoint.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(run.user_pause.load(), 0);
    // The key that ended the pause goes no further.
    EXPECT_EQ(poll(), "");
    EXPECT_EQ(keys.key_is_down('x'), -1);
}

TEST_F(KeyTest, CtrlNumLockPauses) {
    keys.key_down(kKeyLeftCtrl);
    LockKeyStates locks;
    locks.num_toggled = true;
    locks.left_ctrl = true;
    keys.sync_lock_keys(locks);
    EXPECT_EQ(run.user_pause.load(), 1);
}

class CountingWindow : public WindowControl {
public:
    void step_full_screen() override { ++steps; }
    int steps = 0;
};

TEST_F(KeyTest, AltEnterStepsFullScreen) {
    CountingWindow window;
    keys.set_window(&window);
    keys.key_down(kKeyRightAlt);
    keys.window_key(13, true, kModAlt);
    keys.window_key(13, false, kModAlt);
    tap(kKeypadEnter);  // keypad Enter is not Enter here
    EXPECT_EQ(window.steps, 1);
    EXPECT_EQ(take_pairs(), (Pairs{{0, 0xA6}}));
}

TEST_F(KeyTest, PortQueueHoldsMakeAndBreakCodes) {
    tap('a');
    keys.key_down(kKeyLeftShift);
    keys.key_down(kKeyLeftShift);  // the same byte twice is queued once
    keys.key_up(kKeyLeftShift);
    tap(kKeyF1);
    tap(1);  // a character without a key has no codes
    EXPECT_EQ(keys.port_bytes(), (std::vector<uint8_t>{30, 158, 42, 170, 59, 187}));
    for (int i = 0; i < 200; ++i) tap('a' + i % 2);
    std::vector<uint8_t> bytes = keys.port_bytes();
    ASSERT_EQ(bytes.size(), 256u);
    EXPECT_EQ(bytes.back(), 48 + 128);  // b released last
}

// -------------------------------------------------------------- traps and soft keys

TEST_F(KeyTest, TrappedKeyIsReportedNeitherAsPressNorAsRelease) {
    int handled = 0;
    traps.set_handler(1, [&] { ++handled; });
    traps.set_trap_state(1, KeyTrapTable::kTrapOn);
    keys.window_special_key(kGlutF1, true, 0);
    keys.window_special_key(kGlutF1, false, 0);
    EXPECT_EQ(keys.key_hit(), 0);
    EXPECT_EQ(poll(), "");
    EXPECT_EQ(traps.pending_count(1), 1);
    EXPECT_EQ(run.pending_event.load(), 1);
    errors.statement_checkpoint(1);
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(traps.pending_count(1), 0);
}

TEST_F(KeyTest, TrapStatesDecideWhatAPressDoes) {
    traps.set_handler(11, [] {});
    // Off: the key is reported as usual.
    keys.window_special_key(kGlutUp, true, 0);
    keys.window_special_key(kGlutUp, false, 0);
    EXPECT_EQ(take_hits(), (Hits{kKeyUp, -kKeyUp}));
    // Stopped: one press is remembered, however many come.
    traps.set_trap_state(11, KeyTrapTable::kTrapStopped);
    tap(kKeyUp);
    tap(100264);  // keypad 8 with Num Lock on is the alternate code
    EXPECT_EQ(traps.pending_count(11), 1);
    EXPECT_EQ(keys.key_hit(), 0);
    EXPECT_FALSE(traps.take_one());
    // On: each press counts.
    traps.set_trap_state(11, KeyTrapTable::kTrapOn);
    tap(kKeyUp);
    EXPECT_EQ(traps.pending_count(11), 2);
    EXPECT_TRUE(traps.take_one());
    EXPECT_TRUE(traps.take_one());
    EXPECT_FALSE(traps.take_one());
}

TEST_F(KeyTest, UserDefinedTrapKeysCompareScanAndModifiers) {
    traps.key_define(15, temp_text("\x04\x2E"));  // Ctrl + C
    traps.key_define(16, temp_text(std::string("\x00\x2A", 2)));  // a Shift key
    traps.key_define(17, temp_text("\x80\x48"));  // extended Up
    traps.key_define(18, temp_text("\x40\x1E"));  // A with Caps Lock on
    for (int slot = 15; slot <= 18; ++slot) {
        traps.set_handler(slot, [] {});
        traps.set_trap_state(slot, KeyTrapTable::kTrapOn);
    }
    ASSERT_EQ(error(), 0);
    EXPECT_EQ(traps.user_scan(15), 0x2E);
    EXPECT_EQ(traps.user_flags(15), 0x04);

    tap('c');  // no Ctrl: not this trap
    EXPECT_EQ(traps.pending_count(15), 0);
    keys.key_down(kKeyRightCtrl);
    tap('c');
    EXPECT_EQ(traps.pending_count(15), 1);
    keys.key_up(kKeyRightCtrl);

    // The Shift flag is not compared for a Shift key itself.
    tap(kKeyRightShift);
    EXPECT_EQ(traps.pending_count(16), 1);

    tap(200008);  // keypad Up is not an extended key
    EXPECT_EQ(traps.pending_count(17), 0);
    tap(kKeyUp);
    EXPECT_EQ(traps.pending_count(17), 1);

    tap('a');
    EXPECT_EQ(traps.pending_count(18), 0);
    keys.sync_lock_keys([] { LockKeyStates s; s.caps_toggled = true; return s; }());
    tap('A');
    EXPECT_EQ(traps.pending_count(18), 1);

    EXPECT_EQ(take_hits(), (Hits{99, -99, kKeyRightCtrl, -kKeyRightCtrl, kKeyUp, -kKeyUp, 97, -97,
                                 kKeyCapsLock}));

    traps.key_define(15, temp_text(""));
    EXPECT_EQ(traps.user_scan(15), 0);
}

class RedrawCounter : public SoftKeyRedraw {
public:
    void redraw_soft_key_line() override { ++redraws; }
    int redraws = 0;
};

TEST_F(KeyTest, SoftKeyTypesItsText) {
    RedrawCounter redraw;
    traps.set_soft_key_redraw(&redraw);
    traps.key_define(2, temp_text("hi\r"));
    traps.key_define(31, temp_text("F12"));
    EXPECT_EQ(redraw.redraws, 2);
    EXPECT_EQ(traps.soft_key_text(2), "hi\r");
    EXPECT_EQ(traps.soft_key_text(12), "F12");

    keys.window_special_key(2, true, 0);
    keys.window_special_key(2, false, 0);
    EXPECT_EQ(poll(), "h");
    EXPECT_EQ(poll(), "i");
    EXPECT_EQ(poll(), "\r");
    EXPECT_EQ(take_hits(), (Hits{104, -104, 105, -105, 13, -13}));
    EXPECT_EQ(keys.key_is_down('h'), 0);

    // A trap on the same key takes the press first.
    traps.set_handler(2, [] {});
    traps.set_trap_state(2, KeyTrapTable::kTrapOn);
    tap(0x3C00);
    EXPECT_EQ(poll(), "");
    EXPECT_EQ(traps.pending_count(2), 1);
}

TEST_F(KeyTest, KeyDefinitionsOutsideTheirSlotsOrTooLongAreRefused) {
    for (int32_t slot : {0, 11, 14, 32, -1}) {
        traps.key_define(slot, temp_text("x"));
        EXPECT_EQ(error(), 5) << slot;
        clear_error();
    }
    traps.key_define(1, temp_text(std::string(16, 'x')));
    EXPECT_EQ(error(), 5);
    clear_error();
    traps.key_define(1, temp_text(std::string(15, 'x')));
    EXPECT_EQ(error(), 0);
    EXPECT_EQ(traps.soft_key_text(1).size(), 15u);
    // Temporaries are released whether or not the definition was taken.
    EXPECT_EQ(strings.temp_count(), 1u);
}

TEST_F(KeyTest, KeyPressRaisesTheKeyEvent) {
    keys.key_event.store(0);
    keys.key_up('a');
    EXPECT_EQ(keys.key_event.load(), 0);
    keys.key_down(kKeyLeftShift);
    EXPECT_EQ(keys.key_event.load(), 1);
}

// -------------------------------------------------------------- idle polling

TEST_F(KeyTest, EmptyPollsTurnIntoShortSleepsAndAWaitingKeyReturnsAtOnce) {
    platform.sleeps_advance_clock = true;
    uint32_t start = platform.clock_ms();
    for (uint32_t i = 0; i < KeyLayer::kBusyPolls; ++i) poll();
    EXPECT_EQ(platform.clock_ms(), start);  // a short run only yields
    for (int i = 0; i < 50; ++i) poll();
    EXPECT_EQ(platform.clock_ms(), start + 50);  // then 1 ms per poll

    tap('q');
    uint32_t before = platform.clock_ms();
    EXPECT_EQ(poll(), "q");
    EXPECT_EQ(poll(), "");
    EXPECT_EQ(platform.clock_ms(), before);  // the key reset the run

    // A program that polls now and then never sleeps in poll_key.
    for (uint32_t i = 0; i < 3 * KeyLayer::kBusyPolls; ++i) {
        platform.advance_ms(KeyLayer::kIdleGapMs + 1);
        uint32_t t = platform.clock_ms();
        poll();
        ASSERT_EQ(platform.clock_ms(), t);
    }
}

TEST_F(KeyTest, PollWhileAnErrorIsPendingReadsNothing) {
    tap('a');
    errors.raise_error(5);
    EXPECT_EQ(poll(), "");
    EXPECT_EQ(keys.key_hit(), 0);
    clear_error();
    EXPECT_EQ(poll(), "a");
}

// -------------------------------------------------------------- threads

TEST_F(KeyTest, ProducersAndTheProgramThreadShareTheRingsSafely) {
    std::atomic<bool> done{false};
    std::thread frame([&] {
        LockKeyStates locks;
        for (int i = 0; i < 2000; ++i) {
            locks.caps_toggled = i % 2;
            keys.sync_lock_keys(locks);
        }
    });
    std::thread window([&] {
        for (int i = 0; i < 2000; ++i) tap('a' + i % 26);
        done = true;
    });
    int64_t letters = 0;
    auto count = [&] {
        while (int32_t c = keys.key_hit())
            if (c >= 'a' && c <= 'z') ++letters;
    };
    while (!done.load()) {
        count();
        poll();
        keys.key_is_down('a');
    }
    frame.join();
    window.join();
    count();
    EXPECT_EQ(letters, 2000);
}

}  // namespace
}  // namespace quendrel
