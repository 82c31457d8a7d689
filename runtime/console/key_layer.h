// The key layer: turns the window's key events into what a program reads —
// the PC keyboard buffer of (character, scan) pairs in EmulatedMemory
// (poll_key), the queue of press and release codes (key_hit) and the set of
// held keys (key_is_down) — and keeps the BIOS status bytes, the lock keys,
// key traps, soft keys, and the break, pause and full-screen combinations.
//
// Producers are the main thread (window callbacks) and the frame thread
// (lock-key synchronisation); they are serialised by one mutex, since both
// write the same rings. The program thread reads without a lock: the buffer
// head and tail are atomic words (only producers write the tail, only
// poll_key the head), the key-hit ring is atomic entries and indices, and
// held keys are atomic slots that are never moved, only freed and reused.
//
// Window library quirks handled here (see raw_key):
//  - keys the library never reports (Shift+Tab as ISO_Left_Tab, Scroll Lock,
//    keypad centre and Delete with Num Lock off) come from the raw X events;
//  - Ctrl with Backspace, Tab or Enter arrives as the same character as
//    Ctrl+H, Ctrl+I or Ctrl+M, so those are taken from the raw events too;
//  - the library reports Shift while Caps Lock is on, so Shift comes from
//    the held keys, never from its modifier mask.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "runtime/console/key_codes.h"
#include "runtime/console/key_events.h"
#include "runtime/console/key_traps.h"
#include "runtime/files/key_source.h"
#include "runtime/kernel/emulated_memory.h"
#include "runtime/kernel/runtime_errors.h"
#include "runtime/platform/platform.h"
#include "runtime/strings/string_heap.h"

namespace quendrel {

class KeyLayer : public KeyEvents, public KeySource {
public:
    static constexpr uint32_t kHitQueueSize = 8192;
    static constexpr uint32_t kHeldCapacity = 256;
    static constexpr uint32_t kSwallowedCapacity = 256;
    static constexpr uint32_t kPortQueueSize = 256;

    // KeyBuffer: head and tail offsets (relative to 0x400) and the slots.
    static constexpr uint32_t kBufferHead = 0x41A;
    static constexpr uint32_t kBufferTail = 0x41C;
    static constexpr uint32_t kBufferBase = 0x400;
    static constexpr uint8_t kBufferFirst = 30;
    static constexpr uint8_t kBufferEnd = 62;
    // Keyboard status bytes.
    static constexpr uint32_t kStatusFlags = 0x417;
    static constexpr uint32_t kStatusFlags2 = 0x418;
    static constexpr uint32_t kStatusFlags3 = 0x496;

    // A poll_key that has found nothing this many times in a row, with
    // under kIdleGapMs between calls, sleeps 1 ms instead of only yielding.
    static constexpr uint32_t kBusyPolls = 100;
    static constexpr uint32_t kIdleGapMs = 4;

    KeyLayer(RuntimeErrors& errors, Platform& platform, EmulatedMemory& memory,
             StringHeap& strings, KeyTrapTable& traps, WindowControl* window = nullptr);
    KeyLayer(const KeyLayer&) = delete;
    KeyLayer& operator=(const KeyLayer&) = delete;

    void set_window(WindowControl* window) { window_ = window; }

    // Start-up: the lock and modifier keys as the system reports them, the
    // status bytes, an empty key-hit queue and an empty buffer.
    void start_up(const LockKeyStates& locks);
    // Frame thread: follow the system's Caps Lock and Num Lock toggles.
    // Scroll lock is kept by the key layer itself.
    void sync_lock_keys(const LockKeyStates& locks);

    void window_key(int character, bool pressed, int modifiers) override;
    void window_special_key(int key, bool pressed, int modifiers) override;
    void key_down(int32_t code) override;
    void key_up(int32_t code) override;
    void raw_key(uint32_t keysym, uint32_t x_state, bool pressed) override;

    // Program thread.
    StringDescriptor* poll_key() override;
    int32_t key_hit();
    // The next key-hit entry whole: code in the low 32 bits, 1 in the high
    // 32 bits for keypad keys. False when the queue is empty.
    bool next_key_hit_entry(uint64_t& entry);
    int32_t key_is_down(int32_t code);

    void update_keyboard_flags();

    // Raised by every key press; the sleep statement clears it.
    std::atomic<int32_t> key_event{0};

    // The emulated keyboard port's bytes, oldest first.
    std::vector<uint8_t> port_bytes();

private:
    struct Modifiers {
        bool shift = false, ctrl = false, alt = false;
    };

    // Codes are unique in the set; a released slot holds 0 and is reused,
    // so a reader scanning up to `count` never sees an entry move.
    class HeldKeys {
    public:
        bool contains(int32_t code) const;
        void add(int32_t code, uint16_t system_number = 0);
        bool remove(int32_t code);
        template <class F>
        void for_each(F f) const {
            uint32_t n = count_.load(std::memory_order_acquire);
            for (uint32_t i = 0; i < n; ++i) {
                int32_t c = codes_[i].load(std::memory_order_relaxed);
                if (c) f(c);
            }
        }

    private:
        std::array<std::atomic<int32_t>, kHeldCapacity> codes_{};
        std::array<uint16_t, kHeldCapacity> system_numbers_{};
        std::atomic<uint32_t> count_{0};
    };

    // Producer side, under producer_mutex_.
    void press(int32_t code) { press(code, Modifiers{}, 0); }
    void press(int32_t code, Modifiers extra, uint16_t system_number);
    void release(int32_t code);
    void buffer_entry(int32_t code, const Modifiers& mods, bool repeat);
    void buffer_store(uint8_t character, uint8_t scan);
    void queue_hit(int32_t code, bool keypad);
    void queue_port(uint8_t byte);
    void toggle_state(int32_t state_code);
    bool swallow(int32_t code);
    bool unswallow(int32_t code);
    Modifiers held_modifiers() const;
    // The press or release a raw X event stands for, 0 when the window
    // library reports that key itself.
    int32_t raw_key_code(uint32_t keysym, uint32_t x_state) const;
    bool trapped(int32_t code, int32_t hit_code, const Modifiers& mods);

    static int32_t key_hit_code(int32_t code);
    static uint8_t trap_scan_code(int32_t code);

    RuntimeErrors& errors_;
    RunState& run_;
    Platform& platform_;
    EmulatedMemory& memory_;
    StringHeap& strings_;
    KeyTrapTable& traps_;
    WindowControl* window_;

    std::mutex producer_mutex_;
    HeldKeys held_;

    std::unique_ptr<std::atomic<uint64_t>[]> hits_;
    std::atomic<uint32_t> hit_write_{0};
    std::atomic<uint32_t> hit_read_{0};

    std::array<int32_t, kSwallowedCapacity> swallowed_{};

    std::array<uint8_t, kPortQueueSize> port_{};
    uint32_t port_first_ = 0, port_count_ = 0;
    int32_t port_last_ = -1;

    bool typing_soft_key_ = false;

    // poll_key's idle back-off (program thread).
    uint32_t empty_polls_ = 0;
    uint32_t last_empty_poll_ms_ = 0;
};

}  // namespace quendrel
