#include "runtime/console/key_traps.h"

#include "runtime/console/key_codes.h"

namespace quendrel {

namespace {

struct FixedTrapKey {
    int32_t slot, code, alternate;
};
constexpr FixedTrapKey kFixedTrapKeys[] = {
    {1, 0x3B00, 0},  {2, 0x3C00, 0},  {3, 0x3D00, 0},  {4, 0x3E00, 0},
    {5, 0x3F00, 0},  {6, 0x4000, 0},  {7, 0x4100, 0},  {8, 0x4200, 0},
    {9, 0x4300, 0},  {10, 0x4400, 0}, {11, kKeyUp, 100264},
    {12, kKeyLeft, 100260},           {13, kKeyRight, 100262},
    {14, kKeyDown, 100258},           {30, kKeyF11, 0}, {31, kKeyF12, 0},
};

bool flag_asked(uint8_t flags, uint8_t bits) { return (flags & bits) != 0; }

}  // namespace

KeyTrapTable::KeyTrapTable(RuntimeErrors& errors, StringHeap& strings)
    : errors_(errors), strings_(strings) {
    for (const FixedTrapKey& k : kFixedTrapKeys) {
        slots_[k.slot].code = k.code;
        slots_[k.slot].alternate = k.alternate;
    }
    errors_.set_event_source(RuntimeErrors::EventKind::KeyTrap, this);
}

KeyTrapTable::~KeyTrapTable() {
    errors_.set_event_source(RuntimeErrors::EventKind::KeyTrap, nullptr);
}

void KeyTrapTable::key_define(int32_t slot, StringDescriptor* text) {
    if (errors_.pending()) {
        if (text) strings_.free_if_temporary(text);
        return;
    }
    int32_t length = text ? text->length : 0;
    bool user_slot = slot >= 15 && slot <= 29;
    if ((!user_slot && !has_soft_key(slot)) || length > kMaxTextLength) {
        if (text) strings_.free_if_temporary(text);
        errors_.raise_error(5);
        return;
    }
    if (user_slot) {
        uint8_t flags = 0, scan = 0;
        if (length > 0) {
            for (int32_t i = 0; i + 1 < length; ++i) flags |= text->text[i];
            scan = text->text[length - 1];
        }
        slots_[slot].user_flags.store(flags);
        slots_[slot].user_scan.store(scan);
    } else {
        std::string value(reinterpret_cast<const char*>(length ? text->text : nullptr),
                          size_t(length));
        {
            std::lock_guard lock(texts_mutex_);
            slots_[slot].text = std::move(value);
        }
        if (redraw_) redraw_->redraw_soft_key_line();
    }
    if (text) strings_.free_if_temporary(text);
}

void KeyTrapTable::set_handler(int32_t slot, std::function<void()> handler) {
    if (errors_.pending()) return;
    if (slot < 1 || slot >= kSlots) {
        errors_.raise_error(5);
        return;
    }
    slots_[slot].handler = std::move(handler);
    slots_[slot].has_handler.store(slots_[slot].handler ? 1 : 0);
}

void KeyTrapTable::set_trap_state(int32_t slot, uint8_t state) {
    if (errors_.pending()) return;
    if (slot < 1 || slot >= kSlots || state > kTrapStopped) {
        errors_.raise_error(5);
        return;
    }
    if (state == kTrapOff) slots_[slot].pending.store(0);
    slots_[slot].state.store(state);
    // A press recorded while stopped is served once the trap is on again.
    if (state == kTrapOn && slots_[slot].pending.load())
        errors_.run().pending_event.store(1);
}

bool KeyTrapTable::fire(Slot& slot) {
    if (!slot.has_handler.load()) return false;
    uint8_t state = slot.state.load();
    if (state == kTrapOff) return false;
    if (state == kTrapStopped) {
        slot.pending.store(1);
    } else {
        uint8_t count = slot.pending.load();
        while (count < 255 && !slot.pending.compare_exchange_weak(count, uint8_t(count + 1))) {
        }
    }
    errors_.run().pending_event.store(1);
    return true;
}

bool KeyTrapTable::trap_user_key(const TrapKeyState& key) {
    if (key.scan == 0) return false;
    for (int32_t i = 15; i <= 29; ++i) {
        Slot& slot = slots_[i];
        if (slot.user_scan.load() != key.scan) continue;
        uint8_t flags = slot.user_flags.load();
        auto agrees = [&](uint8_t bits, bool held) {
            return key.own_class == bits || flag_asked(flags, bits) == held;
        };
        auto satisfied = [&](uint8_t bits, bool on) {
            return key.own_class == bits || !flag_asked(flags, bits) || on;
        };
        if (!agrees(kTrapFlagShift, key.shift) || !agrees(kTrapFlagCtrl, key.ctrl) ||
            !agrees(kTrapFlagAlt, key.alt))
            continue;
        if (!satisfied(kTrapFlagNumLock, key.num_lock) ||
            !satisfied(kTrapFlagCapsLock, key.caps_lock))
            continue;
        if (flag_asked(flags, kTrapFlagExtended) != key.extended) continue;
        if (fire(slot)) return true;
    }
    return false;
}

bool KeyTrapTable::trap_fixed_key(int32_t hit_code, int32_t code) {
    for (Slot& slot : slots_) {
        if (slot.code == 0) continue;
        if (slot.code != hit_code && slot.alternate != code) continue;
        if (fire(slot)) return true;
    }
    return false;
}

bool KeyTrapTable::soft_key_for(int32_t hit_code, int32_t code, std::string& text) {
    std::lock_guard lock(texts_mutex_);
    for (Slot& slot : slots_) {
        if (slot.text.empty() || slot.code == 0) continue;
        if (slot.code == hit_code || slot.alternate == code) {
            text = slot.text;
            return true;
        }
    }
    return false;
}

bool KeyTrapTable::take_one() {
    for (Slot& slot : slots_) {
        if (slot.running || slot.state.load() != kTrapOn || slot.pending.load() == 0) continue;
        if (!slot.handler) continue;
        slot.pending.fetch_sub(1);
        // The trap is held off while its own handler runs.
        slot.running = true;
        slot.handler();
        slot.running = false;
        return true;
    }
    return false;
}

std::string_view KeyTrapTable::soft_key_text(int32_t key) const {
    int32_t slot = key == 11 ? 30 : key == 12 ? 31 : key;
    if (!has_soft_key(slot)) return {};
    return slots_[slot].text;
}

}  // namespace quendrel
