#include "runtime/display/window_input.h"

namespace quendrel {

namespace {
constexpr int32_t kPauseCode = 100019;
constexpr int32_t kBreakCode = 100318;
// X keysyms and modifier bit, as the X protocol fixes them.
constexpr uint32_t kPauseKeysym = 0xFF13;
constexpr uint32_t kBreakKeysym = 0xFF6B;
constexpr uint32_t kControlMask = 1u << 2;
}  // namespace

void MouseRing::append(const MouseEvent& e) {
    uint64_t n = written_.load(std::memory_order_relaxed);
    entries_[n & (kEntries - 1)] = e;
    written_.store(n + 1, std::memory_order_release);
}

void WindowInput::mouse_button(int button, int state, int x, int y) {
    // The library counts buttons from 0; the runtime from 1.
    if (button < 0 || button > 15) return;
    const uint16_t bit = uint16_t(1u << button);
    if (state == 0)
        buttons_ |= bit;
    else if (state == 1)
        buttons_ = uint16_t(buttons_ & ~bit);
    else
        return;
    mouse_.append({x, y, buttons_, 0, 0});
}

void WindowInput::mouse_wheel(int, int direction, int x, int y) {
    if (direction == 0) return;
    const uint16_t bit = direction > 0 ? 1u << 3 : 1u << 4;  // buttons 4 and 5
    mouse_.append({x, y, uint16_t(buttons_ | bit), 0, 0});
    mouse_.append({x, y, buttons_, 0, 0});
}

void WindowInput::mouse_motion(int x, int y) { mouse_.append({x, y, buttons_, 0, 0}); }

void WindowInput::key(int character, bool pressed, int modifiers) {
    if (KeyEvents* k = key_events()) k->window_key(character, pressed, modifiers);
}

void WindowInput::special_key(int key, bool pressed, int modifiers) {
    if (KeyEvents* k = key_events()) k->window_special_key(key, pressed, modifiers);
}

void WindowInput::raw_key(uint32_t keysym, uint32_t x_state, bool pressed) {
    // The window library never reports the Pause key. With Ctrl it is
    // Break; the release reports whichever its press did.
    if (keysym == kPauseKeysym || keysym == kBreakKeysym) {
        if (pressed) {
            pause_code_ = (x_state & kControlMask) ? kBreakCode : kPauseCode;
            window_event_hook(2, pause_code_, 1);
        } else {
            window_event_hook(2, pause_code_ ? pause_code_ : kPauseCode, -1);
        }
    }
    if (KeyEvents* k = key_events()) k->raw_key(keysym, x_state, pressed);
}

int32_t WindowInput::window_event_hook(int32_t kind, int32_t a, int32_t b) {
    switch (kind) {
        case 1:
            run_.exit_requests.fetch_or(1);
            return 0;
        case 2: {
            if (a != kPauseCode && a != kBreakCode) return -1;
            KeyEvents* k = key_events();
            if (!k) return 0;
            if (b > 0)
                k->key_down(a);
            else
                k->key_up(a);
            return 0;
        }
        case 3:
            if (a != 0 || b != 0) mouse_.append({a, b, buttons_, 1, 0});
            return 0;
        default:
            return -1;
    }
}

}  // namespace quendrel
