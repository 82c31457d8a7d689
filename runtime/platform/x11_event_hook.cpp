#include "runtime/platform/x11_event_hook.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>

namespace quendrel {

namespace {

// Declared in Xlibint.h, which cannot be included from C++ (it defines
// min and max macros).
using WireToEvent = Bool (*)(Display*, XEvent*, xEvent*);
extern "C" WireToEvent XESetWireToEvent(Display*, int, WireToEvent);

// Xlib's hook carries no user pointer, so the few hooked displays are
// found in this table. Slots are claimed once and cleared on uninstall.
struct HookSlot {
    std::atomic<Display*> display{nullptr};
    std::atomic<X11EventHook*> hook{nullptr};
    WireToEvent previous[LASTEvent] = {};
};
constexpr int kSlots = 4;
HookSlot g_slots[kSlots];

HookSlot* slot_of(Display* display) {
    for (HookSlot& s : g_slots)
        if (s.display.load(std::memory_order_acquire) == display) return &s;
    return nullptr;
}

Bool wire_to_event(Display* display, XEvent* event, xEvent* wire) {
    HookSlot* slot = slot_of(display);
    const int type = wire->u.u.type & 0x7F;
    if (!slot || !slot->previous[type]) return False;
    // The standard conversion first: the window library still sees every
    // event it would have seen, except the one swallowed below.
    Bool keep = slot->previous[type](display, event, wire);
    X11EventHook* hook = slot->hook.load(std::memory_order_acquire);
    if (!keep || !hook) return keep;
    if (type == ClientMessage) return hook->on_client_message(event) ? False : keep;
    hook->on_key(event->xkey.keycode, event->xkey.state, type == KeyPress);
    return keep;
}

}  // namespace

bool X11EventHook::install(Display* display, X11HookSink& sink) {
    if (!display || display_) return false;
    HookSlot* slot = slot_of(nullptr);
    if (!slot) return false;
    wm_protocols_ = XInternAtom(display, "WM_PROTOCOLS", False);
    wm_delete_window_ = XInternAtom(display, "WM_DELETE_WINDOW", False);
    display_ = display;
    sink_ = &sink;
    slot->hook.store(this, std::memory_order_release);
    slot->display.store(display, std::memory_order_release);
    for (int type : {ClientMessage, KeyPress, KeyRelease})
        slot->previous[type] = XESetWireToEvent(display, type, wire_to_event);
    return true;
}

void X11EventHook::uninstall() {
    if (!display_) return;
    if (HookSlot* slot = slot_of(display_)) {
        for (int type : {ClientMessage, KeyPress, KeyRelease}) {
            XESetWireToEvent(display_, type, slot->previous[type]);
            slot->previous[type] = nullptr;
        }
        slot->hook.store(nullptr);
        slot->display.store(nullptr);
    }
    display_ = nullptr;
}

int X11EventHook::on_client_message(void* e) {
    const XClientMessageEvent& m = static_cast<XEvent*>(e)->xclient;
    if (m.message_type != wm_protocols_ || m.format != 32 ||
        static_cast<unsigned long>(m.data.l[0]) != wm_delete_window_)
        return 0;
    sink_->close_requested();
    return 1;
}

void X11EventHook::on_key(uint32_t keycode, uint32_t state, bool pressed) {
    // One producer (the thread reading the display) and one consumer.
    uint32_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) >= kQueueSize) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    queue_[tail % kQueueSize] = {keycode, state, pressed};
    tail_.store(tail + 1, std::memory_order_release);
}

bool X11EventHook::pop(Queued& out) {
    uint32_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) return false;
    out = queue_[head % kQueueSize];
    head_.store(head + 1, std::memory_order_release);
    return true;
}

uint32_t X11EventHook::keysym_of(const Queued& q) const {
    KeySym sym = NoSymbol;
    unsigned int consumed = 0;
    if (!display_ || !XkbLookupKeySym(display_, KeyCode(q.keycode), q.state, &consumed, &sym))
        return 0;
    return uint32_t(sym);
}

}  // namespace quendrel
