// Key traps and soft keys: 32 slots (slot 0 unused). Slots 1-14, 30 and 31
// are fixed keys (F1-F10, the cursor keys, F11, F12); 15-29 are defined by
// the program as a scan code plus modifier flags. Soft-key texts belong to
// slots 1-10, 30 and 31.
//
// The key layer (main or frame thread) matches presses and counts them as
// pending; the program thread sets traps up and runs the handlers from the
// statement checkpoint. Words both sides touch are atomics; the soft-key
// texts, written by the program thread and read by the key layer, sit
// behind a small mutex.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "runtime/console/screen.h"
#include "runtime/console/text_output.h"
#include "runtime/kernel/runtime_errors.h"
#include "runtime/strings/string_heap.h"

namespace quendrel {

// Flag bits of a user-defined trap key.
enum : uint8_t {
    kTrapFlagShift = 0x03,  // either bit asks for Shift
    kTrapFlagCtrl = 0x04,
    kTrapFlagAlt = 0x08,
    kTrapFlagNumLock = 0x20,
    kTrapFlagCapsLock = 0x40,
    kTrapFlagExtended = 0x80,
};

// What a user-defined slot compares a key press with.
struct TrapKeyState {
    int32_t scan = 0;
    bool shift = false, ctrl = false, alt = false;
    bool num_lock = false, caps_lock = false;
    bool extended = false;
    // The flag of the key's own class is not compared (a Shift key with the
    // Shift flag, and so on); 0 for keys without a class.
    uint8_t own_class = 0;
};

class KeyTrapTable : public EventSource, public SoftKeyTexts {
public:
    static constexpr int32_t kSlots = 32;
    static constexpr int32_t kMaxTextLength = 15;
    enum : uint8_t { kTrapOff = 0, kTrapOn = 1, kTrapStopped = 2 };

    // Registers itself as the checkpoint's key-trap event source.
    KeyTrapTable(RuntimeErrors& errors, StringHeap& strings);
    ~KeyTrapTable() override;
    KeyTrapTable(const KeyTrapTable&) = delete;
    KeyTrapTable& operator=(const KeyTrapTable&) = delete;

    void set_soft_key_redraw(SoftKeyRedraw* redraw) { redraw_ = redraw; }

    // The key definition statement: a soft-key text for slots 1-10, 30, 31,
    // a trap key definition for 15-29 (last byte the scan code, the others
    // OR-ed into the flags; empty clears it). Consumes a temporary text.
    void key_define(int32_t slot, StringDescriptor* text);
    // The trap handler of a slot, and its state (off, on, stopped).
    void set_handler(int32_t slot, std::function<void()> handler);
    void set_trap_state(int32_t slot, uint8_t state);

    // Key layer side. True when the press fired a trap.
    bool trap_user_key(const TrapKeyState& key);
    bool trap_fixed_key(int32_t hit_code, int32_t code);
    // The soft-key text the press types, copied out; false when none.
    bool soft_key_for(int32_t hit_code, int32_t code, std::string& text);

    // Runs one pending handler of a trap that is on.
    bool take_one() override;
    // Keys 1-12 (11 and 12 are F11 and F12). Program thread.
    std::string_view soft_key_text(int32_t key) const override;

    int32_t key_code(int32_t slot) const { return slots_[slot].code; }
    int32_t alternate_code(int32_t slot) const { return slots_[slot].alternate; }
    uint8_t pending_count(int32_t slot) const { return slots_[slot].pending.load(); }
    uint8_t user_scan(int32_t slot) const { return slots_[slot].user_scan.load(); }
    uint8_t user_flags(int32_t slot) const { return slots_[slot].user_flags.load(); }

private:
    struct Slot {
        std::atomic<int32_t> has_handler{0};
        std::atomic<uint8_t> state{kTrapOff};
        std::atomic<uint8_t> pending{0};
        int32_t code = 0, alternate = 0;  // fixed at start
        std::atomic<uint8_t> user_scan{0};
        std::atomic<uint8_t> user_flags{0};
        std::function<void()> handler;  // program thread only
        bool running = false;
        std::string text;  // soft-key text, under texts_mutex_
    };

    static bool has_soft_key(int32_t slot) {
        return (slot >= 1 && slot <= 10) || slot == 30 || slot == 31;
    }
    bool fire(Slot& slot);

    RuntimeErrors& errors_;
    StringHeap& strings_;
    SoftKeyRedraw* redraw_ = nullptr;
    Slot slots_[kSlots];
    mutable std::mutex texts_mutex_;
};

}  // namespace quendrel
