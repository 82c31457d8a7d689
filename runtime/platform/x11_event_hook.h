// A hook in Xlib's conversion of wire events, on the window library's own
// display connection, for what the window library would otherwise handle
// itself or never report:
//  - the window manager's WM_DELETE_WINDOW message is swallowed, so the
//    library does not destroy the window, and reported as a close request;
//  - every key press and release is copied into a queue, so that keys the
//    library ignores (Pause, Scroll Lock, ...) still reach the runtime.
//
// Xlib calls the hook with the display locked: it makes no Xlib call of its
// own (atoms are looked up at installation) and only sets atomics and
// fills a lock-free queue. drain_keys decodes the queued events afterwards,
// on the thread that owns the display.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

typedef struct _XDisplay Display;

namespace quendrel {

class X11HookSink {
public:
    virtual ~X11HookSink() = default;
    // Called inside Xlib: may only touch atomics.
    virtual void close_requested() = 0;
};

struct RawKey {
    uint32_t keysym;  // after the event's modifier state (XkbLookupKeySym)
    uint32_t state;   // the X modifier and button mask
    bool pressed;
};

class X11EventHook {
public:
    static constexpr uint32_t kQueueSize = 1024;

    X11EventHook() = default;
    ~X11EventHook() { uninstall(); }
    X11EventHook(const X11EventHook&) = delete;
    X11EventHook& operator=(const X11EventHook&) = delete;

    // On the display's own thread, before its events are read.
    bool install(Display* display, X11HookSink& sink);
    void uninstall();

    // Decodes and hands over the queued key events in arrival order; on the
    // display's thread, never from inside Xlib. Returns how many.
    template <typename F>
    int drain_keys(F&& take) {
        int n = 0;
        Queued q;
        while (pop(q)) {
            take(RawKey{keysym_of(q), q.state, q.pressed});
            ++n;
        }
        return n;
    }
    uint32_t dropped_keys() const { return dropped_.load(); }

    // Xlib's side; public only for the C callback.
    struct Queued {
        uint32_t keycode, state;
        bool pressed;
    };
    int on_client_message(void* event);
    void on_key(uint32_t keycode, uint32_t state, bool pressed);

private:
    bool pop(Queued& out);
    uint32_t keysym_of(const Queued& q) const;

    Display* display_ = nullptr;
    X11HookSink* sink_ = nullptr;
    unsigned long wm_protocols_ = 0, wm_delete_window_ = 0;
    std::array<Queued, kQueueSize> queue_{};
    std::atomic<uint32_t> head_{0}, tail_{0};
    std::atomic<uint32_t> dropped_{0};
};

}  // namespace quendrel
