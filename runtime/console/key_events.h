// What the window hands to the key layer, and what the key layer asks of the
// window and the frame builder. The window side lives in runtime/display,
// the key layer in runtime/console.
#pragma once

#include <cstdint>

namespace quendrel {

// Modifier bits as the window library reports them inside key callbacks.
enum : int { kModShift = 1, kModCtrl = 2, kModAlt = 4 };

class KeyEvents {
public:
    virtual ~KeyEvents() = default;
    // The character-key callback and its release twin.
    virtual void window_key(int character, bool pressed, int modifiers) = 0;
    // The special-key callback (window library key numbers) and its twin.
    virtual void window_special_key(int key, bool pressed, int modifiers) = 0;
    virtual void key_down(int32_t code) = 0;
    virtual void key_up(int32_t code) = 0;
    // Every key event the X server sent to the window, decoded on the main
    // thread outside Xlib's event hook, in arrival order. The key layer acts
    // only on the keys the window library does not report itself.
    virtual void raw_key(uint32_t keysym, uint32_t x_state, bool pressed) = 0;
};

// Window operations the key layer triggers (Alt+Enter).
class WindowControl {
public:
    virtual ~WindowControl() = default;
    virtual void step_full_screen() = 0;
};

// One build attempt of the displayed page; display_frame calls it on the
// program thread while display is manual.
class FrameSource {
public:
    virtual ~FrameSource() = default;
    virtual void build_frame() = 0;
};

}  // namespace quendrel
