// What arrives from the window besides drawing: mouse events into the
// mouse ring, key events forwarded to the key layer, and the window-event
// hook (close requests, Pause and Ctrl+Break, raw mouse movement).
//
// Everything here runs on the main thread. The key layer is attached once
// it exists; events that arrive before are dropped.
#pragma once

#include <atomic>
#include <cstdint>

#include "runtime/console/key_events.h"
#include "runtime/kernel/run_state.h"

namespace quendrel {

struct MouseEvent {
    int32_t x, y;
    uint16_t buttons;  // bit 0 button 1 (left), ... bit 4 button 5 (wheel down)
    uint8_t relative;  // 1: x and y are a movement, not a position
    uint8_t unused;
};
static_assert(sizeof(MouseEvent) == 12);

// 65,536 mouse events; when full, the oldest is overwritten. Written by the
// main thread only; `written` counts every event ever appended.
class MouseRing {
public:
    static constexpr uint32_t kEntries = 65536;

    // Storage of kEntries * 12 bytes, owned by the caller.
    explicit MouseRing(uint8_t* storage) : entries_(reinterpret_cast<MouseEvent*>(storage)) {}

    void append(const MouseEvent& e);
    uint64_t written() const { return written_.load(std::memory_order_acquire); }
    // The i-th event ever appended, for i within the last kEntries.
    MouseEvent at(uint64_t i) const { return entries_[i & (kEntries - 1)]; }

private:
    MouseEvent* entries_;
    std::atomic<uint64_t> written_{0};
};

class WindowInput {
public:
    WindowInput(RunState& run, MouseRing& mouse) : run_(run), mouse_(mouse) {}

    void set_key_events(KeyEvents* keys) { keys_.store(keys, std::memory_order_release); }
    KeyEvents* key_events() const { return keys_.load(std::memory_order_acquire); }

    // The window library's callbacks, after its own numbering.
    void mouse_button(int button, int state, int x, int y);
    void mouse_wheel(int wheel, int direction, int x, int y);
    void mouse_motion(int x, int y);
    void key(int character, bool pressed, int modifiers);
    void special_key(int key, bool pressed, int modifiers);
    // Every key event of the X server, decoded after the fact; the Pause
    // key also goes through window_event_hook as Pause or Ctrl+Break.
    void raw_key(uint32_t keysym, uint32_t x_state, bool pressed);

    // Kind 1 close request, 2 Pause or Ctrl+Break (a = code, b = 1 pressed,
    // -1 released), 3 raw mouse movement (a = dx, b = dy). -1 when the kind
    // or code is not one of these.
    int32_t window_event_hook(int32_t kind, int32_t a, int32_t b);

    uint16_t button_mask() const { return buttons_; }

private:
    RunState& run_;
    MouseRing& mouse_;
    std::atomic<KeyEvents*> keys_{nullptr};
    uint16_t buttons_ = 0;
    int32_t pause_code_ = 0;  // what the last Pause press reported
};

}  // namespace quendrel
