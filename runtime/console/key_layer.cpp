#include "runtime/console/key_layer.h"

#include <X11/X.h>
#include <X11/keysym.h>

#include <utility>

#include "runtime/console/key_translation.h"

namespace quendrel {

namespace {

constexpr const KeyTranslationTable& kTable = kKeyTranslationTable;

// Key-hit codes of the keypad with Num Lock off.
constexpr int32_t kKeypadOffHitCodes[11] = {
    kKeyInsert, kKeyEnd,  kKeyDown,   kKeyPageDown, kKeyLeft,  kKeyCentre,
    kKeyRight,  kKeyHome, kKeyUp,     kKeyPageUp,   kKeyDelete,
};
constexpr char kKeypadOnSymbols[6] = {'.', '/', '*', '-', '+', 13};

struct SpecialKey {
    int key;
    int32_t code;
};
// The window library's special-key numbers.
constexpr SpecialKey kSpecialKeys[] = {
    {100, kKeyLeft},       {101, kKeyUp},         {102, kKeyRight},     {103, kKeyDown},
    {104, kKeyPageUp},     {105, kKeyPageDown},   {106, kKeyHome},      {107, kKeyEnd},
    {108, kKeyInsert},     {112, kKeyLeftShift},  {113, kKeyRightShift}, {114, kKeyLeftCtrl},
    {115, kKeyRightCtrl},  {116, kKeyLeftAlt},    {117, kKeyRightAlt},
};

// Make codes of the modifier and lock keys, which have no table entry.
int32_t modifier_make_code(int32_t code) {
    switch (code) {
        case kKeyLeftShift: return 42;
        case kKeyRightShift: return 54;
        case kKeyLeftAlt:
        case kKeyRightAlt: return 56;
        case kKeyLeftCtrl:
        case kKeyRightCtrl: return 29;
        case kKeyNumLock: return 69;
        case kKeyCapsLock: return 58;
        case kKeyScrollLockKey: return 70;
        default: return 0;
    }
}

bool is_extended_key(int32_t code) {
    switch (code) {
        case kKeyUp: case kKeyDown: case kKeyLeft: case kKeyRight:
        case kKeyInsert: case kKeyDelete: case kKeyHome: case kKeyEnd:
        case kKeyPageUp: case kKeyPageDown:
        case kKeypadSlash: case kKeypadEnter:
        case kKeyRightCtrl: case kKeyRightAlt:
            return true;
        default:
            return false;
    }
}

uint8_t key_class(int32_t code) {
    switch (code) {
        case kKeyLeftShift: case kKeyRightShift: return kTrapFlagShift;
        case kKeyLeftCtrl: case kKeyRightCtrl: return kTrapFlagCtrl;
        case kKeyLeftAlt: case kKeyRightAlt: return kTrapFlagAlt;
        case kKeyNumLock: return kTrapFlagNumLock;
        case kKeyCapsLock: return kTrapFlagCapsLock;
        default: return 0;
    }
}

uint8_t next_slot(uint8_t offset) {
    uint8_t next = uint8_t(offset + 2);
    return next >= KeyLayer::kBufferEnd ? KeyLayer::kBufferFirst : next;
}

void store_status(EmulatedMemory& memory, uint32_t address, uint8_t value) {
    std::atomic_ref<uint8_t>(*memory.at(address)).store(value, std::memory_order_relaxed);
}

}  // namespace

// ------------------------------------------------------------------ held keys

bool KeyLayer::HeldKeys::contains(int32_t code) const {
    uint32_t n = count_.load(std::memory_order_acquire);
    for (uint32_t i = 0; i < n; ++i)
        if (codes_[i].load(std::memory_order_relaxed) == code) return true;
    return false;
}

void KeyLayer::HeldKeys::add(int32_t code, uint16_t system_number) {
    if (contains(code)) return;
    uint32_t n = count_.load(std::memory_order_relaxed);
    for (uint32_t i = 0; i < n; ++i) {
        if (codes_[i].load(std::memory_order_relaxed) == 0) {
            system_numbers_[i] = system_number;
            codes_[i].store(code, std::memory_order_release);
            return;
        }
    }
    if (n == kHeldCapacity) return;  // more distinct keys than a keyboard has
    system_numbers_[n] = system_number;
    codes_[n].store(code, std::memory_order_relaxed);
    count_.store(n + 1, std::memory_order_release);
}

bool KeyLayer::HeldKeys::remove(int32_t code) {
    uint32_t n = count_.load(std::memory_order_relaxed);
    for (uint32_t i = 0; i < n; ++i) {
        if (codes_[i].load(std::memory_order_relaxed) != code) continue;
        codes_[i].store(0, std::memory_order_release);
        system_numbers_[i] = 0;
        while (n > 0 && codes_[n - 1].load(std::memory_order_relaxed) == 0) --n;
        count_.store(n, std::memory_order_release);
        return true;
    }
    return false;
}

// ------------------------------------------------------------------ set-up

KeyLayer::KeyLayer(RuntimeErrors& errors, Platform& platform, EmulatedMemory& memory,
                   StringHeap& strings, KeyTrapTable& traps, WindowControl* window)
    : errors_(errors),
      run_(errors.run()),
      platform_(platform),
      memory_(memory),
      strings_(strings),
      traps_(traps),
      window_(window),
      hits_(new std::atomic<uint64_t>[kHitQueueSize]()) {}

void KeyLayer::start_up(const LockKeyStates& locks) {
    std::lock_guard lock(producer_mutex_);
    // The keys go straight into the held set: a Ctrl held at start must not
    // act as Ctrl+Break or Ctrl+Num Lock, and a held Scroll Lock key must not
    // toggle the state just read.
    if (locks.scroll_toggled) held_.add(kScrollLockState);
    const std::pair<bool, int32_t> down[] = {
        {locks.scroll_down, kKeyScrollLockKey}, {locks.left_shift, kKeyLeftShift},
        {locks.right_shift, kKeyRightShift},    {locks.left_ctrl, kKeyLeftCtrl},
        {locks.right_ctrl, kKeyRightCtrl},      {locks.left_alt, kKeyLeftAlt},
        {locks.right_alt, kKeyRightAlt},
    };
    for (const auto& [is_down, code] : down)
        if (is_down) held_.add(code);
    if (locks.caps_toggled) held_.add(kKeyCapsLock, 301);
    if (locks.num_toggled) held_.add(kKeyNumLock, 300);
    update_keyboard_flags();
    hit_read_.store(hit_write_.load());
    memory_.store16(kBufferHead, kBufferFirst);
    memory_.store16(kBufferTail, kBufferFirst);
}

void KeyLayer::sync_lock_keys(const LockKeyStates& locks) {
    std::lock_guard lock(producer_mutex_);
    if (locks.caps_toggled != held_.contains(kKeyCapsLock)) {
        if (locks.caps_toggled)
            press(kKeyCapsLock, {}, 301);
        else
            release(kKeyCapsLock);
    }
    if (locks.num_toggled != held_.contains(kKeyNumLock)) {
        if (locks.num_toggled)
            press(kKeyNumLock, {}, 300);
        else
            release(kKeyNumLock);
    }
}

// ------------------------------------------------------------------ window entry points

void KeyLayer::window_key(int character, bool pressed, int modifiers) {
    std::lock_guard lock(producer_mutex_);
    int32_t code = character;
    if (modifiers & kModCtrl) {
        // Ctrl with Backspace, Tab or Enter looks like Ctrl+H, I or M here;
        // raw_key tells them apart.
        if (code == 8 || code == 9 || code == 13) return;
        if (code == 10)
            code = 13;
        else if (code >= 1 && code <= 26)
            code += held_modifiers().shift ? 64 : 96;
    }
    if (code == 127) code = kKeyDelete;
    if (pressed) {
        press(code);
        return;
    }
    // A key released after Shift changed comes back as its other character.
    if (code >= 0 && code < 256 && !held_.contains(code)) {
        int32_t scan = kTable[code][kColumnScan];
        for (int32_t c = 0; scan && c < 256; ++c) {
            if (kTable[c][kColumnScan] == scan && held_.contains(c)) {
                code = c;
                break;
            }
        }
    }
    release(code);
}

void KeyLayer::window_special_key(int key, bool pressed, int) {
    int32_t code = 0;
    if (key >= 1 && key <= 10)
        code = kKeyF1 + 0x100 * (key - 1);
    else if (key == 11)
        code = kKeyF11;
    else if (key == 12)
        code = kKeyF12;
    for (const SpecialKey& k : kSpecialKeys)
        if (k.key == key) code = k.code;
    if (code == 0) return;
    std::lock_guard lock(producer_mutex_);
    if (pressed)
        press(code);
    else
        release(code);
}

void KeyLayer::key_down(int32_t code) {
    std::lock_guard lock(producer_mutex_);
    press(code);
}

void KeyLayer::key_up(int32_t code) {
    std::lock_guard lock(producer_mutex_);
    release(code);
}

int32_t KeyLayer::raw_key_code(uint32_t keysym, uint32_t x_state) const {
    switch (keysym) {
        case XK_ISO_Left_Tab: return 9;
        case XK_Scroll_Lock: return kKeyScrollLockKey;
        case XK_KP_Begin: return kKeypadOffInsert + 5;
        case XK_KP_Delete: return kKeypadOffDelete;
        default: break;
    }
    if (!(x_state & ControlMask)) return 0;
    bool shift = x_state & ShiftMask;
    switch (keysym) {
        case XK_BackSpace: return 8;
        case XK_Tab: return 9;
        case XK_Return:
        case XK_KP_Enter: return 13;
        case XK_h: case XK_H: return shift ? 'H' : 'h';
        case XK_i: case XK_I: return shift ? 'I' : 'i';
        case XK_m: case XK_M: return shift ? 'M' : 'm';
        default: return 0;
    }
}

void KeyLayer::raw_key(uint32_t keysym, uint32_t x_state, bool pressed) {
    std::lock_guard lock(producer_mutex_);
    int32_t code = raw_key_code(keysym, x_state);
    if (code == 0) return;
    if (!pressed) {
        // Released after Shift changed: the held twin on the same key.
        bool letter = (code >= 'a' && code <= 'z') || (code >= 'A' && code <= 'Z');
        if (letter && !held_.contains(code) && held_.contains(code ^ 0x20)) code ^= 0x20;
        release(code);
        return;
    }
    // The event's own state: the window library may not have reported the
    // modifier presses yet when this arrives.
    Modifiers extra;
    extra.shift = (x_state & ShiftMask) || keysym == XK_ISO_Left_Tab;
    extra.ctrl = x_state & ControlMask;
    extra.alt = x_state & Mod1Mask;
    press(code, extra, 0);
}

// ------------------------------------------------------------------ press and release

KeyLayer::Modifiers KeyLayer::held_modifiers() const {
    Modifiers m;
    m.shift = held_.contains(kKeyLeftShift) || held_.contains(kKeyRightShift);
    m.ctrl = held_.contains(kKeyLeftCtrl) || held_.contains(kKeyRightCtrl);
    m.alt = held_.contains(kKeyLeftAlt) || held_.contains(kKeyRightAlt);
    return m;
}

int32_t KeyLayer::key_hit_code(int32_t code) {
    if (code >= kKeypadDigit0 && code < kKeypadPoint) return '0' + (code - kKeypadDigit0);
    if (code >= kKeypadPoint && code <= kKeypadEnter) return kKeypadOnSymbols[code - kKeypadPoint];
    if (is_keypad_off_code(code)) return kKeypadOffHitCodes[code - kKeypadOffInsert];
    return code;
}

uint8_t KeyLayer::trap_scan_code(int32_t code) {
    int entry = key_translation_entry(code);
    if (entry >= 0) return uint8_t(kTable[entry][kColumnScan]);
    if (code == kKeyRightShift) return 42;  // both Shift keys trap as 42
    return uint8_t(modifier_make_code(code));
}

bool KeyLayer::trapped(int32_t code, int32_t hit_code, const Modifiers& mods) {
    TrapKeyState key;
    key.scan = trap_scan_code(code);
    key.shift = mods.shift;
    key.ctrl = mods.ctrl;
    key.alt = mods.alt;
    key.num_lock = held_.contains(kKeyNumLock);
    key.caps_lock = held_.contains(kKeyCapsLock);
    key.extended = is_extended_key(code);
    key.own_class = key_class(code);
    return traps_.trap_user_key(key) || traps_.trap_fixed_key(hit_code, code);
}

void KeyLayer::press(int32_t code, Modifiers extra, uint16_t system_number) {
    if (code < 0) return;  // not a key
    if (code == 0) code = kKeyZero;
    bool repeat = (code == kKeyInsert || code == kKeyScrollLockKey) && held_.contains(code);
    held_.add(code, system_number);
    Modifiers mods = held_modifiers();
    mods.shift |= extra.shift;
    mods.ctrl |= extra.ctrl;
    mods.alt |= extra.alt;

    [&] {
        if (code == kKeyBreak ||
            (mods.ctrl && (code == kKeyScrollLockKey || code == kKeyBreakAlternate))) {
            if (run_.exit_handled_by_program.load()) {
                run_.exit_requests.fetch_or(2);
            } else {
                run_.stop_program.store(1);
                run_.pending_event.store(1);
            }
            return;
        }
        if (code == kKeyPause || (mods.ctrl && code == kKeyNumLock)) {
            run_.user_pause.fetch_or(1);
            run_.pending_event.store(1);
            return;
        }
        if (run_.user_pause.load() & 1) {
            run_.user_pause.store(0);
            return;
        }
        if (mods.alt && code == kKeyEnter) {
            if (window_) window_->step_full_screen();
            return;
        }
        int32_t hit = key_hit_code(code);
        if (!typing_soft_key_) {
            if (trapped(code, hit, mods)) {
                swallow(code);
                return;
            }
            std::string text;
            if (traps_.soft_key_for(hit, code, text)) {
                swallow(code);
                typing_soft_key_ = true;
                for (char c : text) {
                    press(uint8_t(c));
                    release(uint8_t(c));
                }
                typing_soft_key_ = false;
                return;
            }
        }
        queue_hit(hit, is_keypad_code(code));
        buffer_entry(code, mods, repeat);
    }();
    update_keyboard_flags();
    key_event.store(1);
}

void KeyLayer::release(int32_t code) {
    if (code < 0) return;
    if (code == 0) code = kKeyZero;
    // A release without its press (the press went to another window, or
    // the key was already let go) is not reported.
    if (!held_.remove(code)) return;
    if (!unswallow(code)) {
        queue_hit(-key_hit_code(code), is_keypad_code(code));
        int entry = key_translation_entry(code == kKeyZero ? 0 : code);
        if (entry >= 0) {
            const KeyTranslationEntry& e = kTable[entry];
            if (e[kColumnScan] != 0 && e[kColumnNormal] != 0)
                queue_port(uint8_t(e[kColumnScan] + 128));
        } else if (int32_t make = modifier_make_code(code)) {
            queue_port(uint8_t(make + 128));
        }
    }
    update_keyboard_flags();
}

void KeyLayer::buffer_entry(int32_t code, const Modifiers& mods, bool repeat) {
    if (code == kKeyZero) code = 0;
    auto store_value = [this](int32_t value, int32_t scan) {
        if (value == 0) return;
        if (value & 0xFF00)
            buffer_store(0, uint8_t(value >> 8));
        else
            buffer_store(uint8_t(value), uint8_t(scan));
    };

    if (code < 256) {
        const KeyTranslationEntry& e = kTable[code];
        int32_t scan = e[kColumnScan];
        if (scan == 0) {
            buffer_store(uint8_t(code), 0);
            return;
        }
        queue_port(uint8_t(scan));
        int32_t value = e[kColumnNormal];
        if (mods.shift) value = e[kColumnShift];
        if (mods.ctrl) value = e[kColumnCtrl];
        if (mods.alt) value = e[kColumnAlt];
        store_value(value, scan);
        return;
    }

    if (code <= 65535 || is_keypad_code(code)) {
        const KeyTranslationEntry& e = kTable[key_translation_entry(code)];
        if (e[kColumnNormal] == 0) {
            buffer_store(0, uint8_t(code >> 8));
            return;
        }
        queue_port(uint8_t(e[kColumnScan]));
        if (code == kKeyInsert && !mods.shift && !mods.ctrl && !mods.alt && !repeat)
            toggle_state(kInsertState);
        bool num_lock_digit = code >= kKeypadDigit0 && code <= kKeypadPoint;
        int32_t value = e[kColumnNormal];
        if (mods.shift) value = e[kColumnShift];
        if (num_lock_digit) value = e[kColumnNumLock];
        if (num_lock_digit && mods.shift) value = e[kColumnNumLockShift];
        if (mods.ctrl) value = e[kColumnCtrl];
        if (mods.alt) value = e[kColumnAlt];
        store_value(value, e[kColumnScan]);
        return;
    }

    // Modifiers and locks give no buffer entry.
    if (int32_t make = modifier_make_code(code)) queue_port(uint8_t(make));
    if (code == kKeyScrollLockKey && !repeat && !mods.ctrl) toggle_state(kScrollLockState);
}

void KeyLayer::buffer_store(uint8_t character, uint8_t scan) {
    uint8_t head = uint8_t(memory_.load16(kBufferHead));
    uint8_t tail = uint8_t(memory_.load16(kBufferTail));
    uint8_t next = next_slot(tail);
    if (next == head) return;  // full: 15 keys wait at most
    memory_.write8(kBufferBase + tail, character);
    memory_.write8(kBufferBase + tail + 1, scan);
    memory_.store16(kBufferTail, next);
}

void KeyLayer::queue_hit(int32_t code, bool keypad) {
    constexpr uint32_t mask = kHitQueueSize - 1;
    uint32_t w = hit_write_.load(std::memory_order_relaxed);
    uint32_t next = (w + 1) & mask;
    uint32_t r = hit_read_.load(std::memory_order_acquire);
    // Full: the oldest entry goes, unless the reader just took it.
    if (next == r) hit_read_.compare_exchange_strong(r, (r + 1) & mask);
    hits_[w].store(uint64_t(uint32_t(code)) | (uint64_t(keypad ? 1 : 0) << 32),
                   std::memory_order_relaxed);
    hit_write_.store(next, std::memory_order_release);
}

void KeyLayer::queue_port(uint8_t byte) {
    if (port_last_ == byte) return;
    port_last_ = byte;
    if (port_count_ == kPortQueueSize) {
        port_first_ = (port_first_ + 1) % kPortQueueSize;
        --port_count_;
    }
    port_[(port_first_ + port_count_) % kPortQueueSize] = byte;
    ++port_count_;
}

std::vector<uint8_t> KeyLayer::port_bytes() {
    std::lock_guard lock(producer_mutex_);
    std::vector<uint8_t> out;
    for (uint32_t i = 0; i < port_count_; ++i) out.push_back(port_[(port_first_ + i) % kPortQueueSize]);
    return out;
}

void KeyLayer::toggle_state(int32_t state_code) {
    if (!held_.remove(state_code)) held_.add(state_code);
}

bool KeyLayer::swallow(int32_t code) {
    for (int32_t& entry : swallowed_) {
        if (entry == 0) {
            entry = code;
            return true;
        }
    }
    return false;
}

bool KeyLayer::unswallow(int32_t code) {
    for (int32_t& entry : swallowed_) {
        if (entry == code) {
            entry = 0;
            return true;
        }
    }
    return false;
}

void KeyLayer::update_keyboard_flags() {
    uint8_t flags = 0, flags2 = 0, flags3 = 0x10;
    held_.for_each([&](int32_t code) {
        switch (code) {
            case kKeyRightShift: flags |= 0x01; break;
            case kKeyLeftShift: flags |= 0x02; break;
            case kKeyLeftCtrl: flags |= 0x04; flags2 |= 0x01; break;
            case kKeyRightCtrl: flags |= 0x04; flags3 |= 0x01; break;
            case kKeyLeftAlt: flags |= 0x08; flags2 |= 0x02; break;
            case kKeyRightAlt: flags |= 0x08; flags3 |= 0x02; break;
            case kScrollLockState: flags |= 0x10; break;
            case kKeyNumLock: flags |= 0x20; break;
            case kKeyCapsLock: flags |= 0x40; break;
            case kInsertState: flags |= 0x80; break;
            case kKeySysReq: flags2 |= 0x04; break;
            case kKeyPause: flags2 |= 0x08; break;
            case kKeyScrollLockKey: flags2 |= 0x10; break;
            case kKeyInsert: flags2 |= 0x80; break;
            default: break;
        }
    });
    store_status(memory_, kStatusFlags, flags);
    store_status(memory_, kStatusFlags2, flags2);
    store_status(memory_, kStatusFlags3, flags3);
}

// ------------------------------------------------------------------ program side

StringDescriptor* KeyLayer::poll_key() {
    if (errors_.pending()) return strings_.string_new(0, true);
    auto take = [this](uint8_t& character, uint8_t& scan) {
        uint8_t head = uint8_t(memory_.load16(kBufferHead));
        uint8_t tail = uint8_t(memory_.load16(kBufferTail));
        if (head == tail) return false;
        character = memory_.read8(kBufferBase + head);
        scan = memory_.read8(kBufferBase + head + 1);
        memory_.store16(kBufferHead, next_slot(head));
        return true;
    };
    uint8_t character = 0, scan = 0;
    if (!take(character, scan)) {
        // Give the processor away. A bare yield returns at once when no other
        // thread is ready, so a loop of empty polls would keep a core busy:
        // once the polls come in a fast run, sleep a millisecond instead.
        uint32_t now = platform_.clock_ms();
        if (uint32_t(now - last_empty_poll_ms_) > kIdleGapMs) empty_polls_ = 0;
        last_empty_poll_ms_ = now;
        if (++empty_polls_ > kBusyPolls)
            platform_.sleep_ms(1);
        else
            platform_.yield();
        if (!take(character, scan)) return strings_.string_new(0, true);
    }
    empty_polls_ = 0;
    if (character != 0 || scan == 0) {
        StringDescriptor* s = strings_.string_new(1, true);
        s->text[0] = character;
        return s;
    }
    StringDescriptor* s = strings_.string_new(2, true);
    s->text[0] = 0;
    s->text[1] = scan;
    return s;
}

bool KeyLayer::next_key_hit_entry(uint64_t& entry) {
    constexpr uint32_t mask = kHitQueueSize - 1;
    uint32_t r = hit_read_.load(std::memory_order_acquire);
    for (;;) {
        if (r == hit_write_.load(std::memory_order_acquire)) return false;
        entry = hits_[r].load(std::memory_order_relaxed);
        // A producer that found the ring full may have moved the index on.
        if (hit_read_.compare_exchange_weak(r, (r + 1) & mask, std::memory_order_acq_rel))
            return true;
    }
}

int32_t KeyLayer::key_hit() {
    if (errors_.pending()) return 0;
    uint64_t entry = 0;
    return next_key_hit_entry(entry) ? int32_t(uint32_t(entry)) : 0;
}

int32_t KeyLayer::key_is_down(int32_t code) {
    if (errors_.pending()) return 0;
    if (code <= 0) {
        errors_.raise_error(5);
        return 0;
    }
    if (held_.contains(code)) return -1;
    int32_t twin = 0;
    if (code == kKeyEnter) {
        twin = kKeypadEnter;
    } else if (code >= '0' && code <= '9') {
        twin = kKeypadDigit0 + (code - '0');
    } else if (code < 256) {
        for (int i = 0; i < 6; ++i)
            if (kKeypadOnSymbols[i] == code) twin = kKeypadPoint + i;
    } else if (code <= 65535) {
        int32_t scan = code >> 8;
        for (int i = 0; i < 11; ++i)
            if ((kKeypadOffHitCodes[i] >> 8) == scan) twin = kKeypadOffInsert + i;
    }
    return twin && held_.contains(twin) ? -1 : 0;
}

}  // namespace quendrel
