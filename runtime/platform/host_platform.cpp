#include "runtime/platform/host_platform.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "runtime/platform/x11_message_box.h"

namespace quendrel {

HostPlatform::~HostPlatform() {
    if (keys_display_) XCloseDisplay(keys_display_);
}

uint32_t HostPlatform::clock_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint32_t(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
}

void HostPlatform::sleep_ms(uint32_t ms) {
    if (ms == 0) {
        sched_yield();
        return;
    }
    timespec ts{time_t(ms / 1000), long(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

void HostPlatform::yield() { sched_yield(); }

bool HostPlatform::calendar_time(int64_t& seconds) {
    time_t t = time(nullptr);
    if (t == time_t(-1)) return false;
    seconds = int64_t(t);
    return true;
}

bool HostPlatform::local_time(int64_t seconds, LocalTime& out) {
    time_t t = time_t(seconds);
    tm parts{};
    if (!localtime_r(&t, &parts)) return false;
    out = {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
           parts.tm_hour,        parts.tm_min,     parts.tm_sec};
    return true;
}

std::string HostPlatform::executable_path() {
    std::vector<char> buffer(65536);
    ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) return {};
    return std::string(buffer.data(), size_t(n));
}

bool HostPlatform::current_directory(std::string& out) {
    std::vector<char> buffer(4096);
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE || buffer.size() > (1u << 20)) return false;
        buffer.resize(buffer.size() * 2);
    }
    out = buffer.data();
    return true;
}

bool HostPlatform::change_directory(const std::string& path) { return chdir(path.c_str()) == 0; }

int HostPlatform::message_box(const std::string& text, const std::string& caption,
                              uint32_t style) {
    return message_box_or_stderr(text, caption, style);
}

bool HostPlatform::open_keys_display() {
    if (!keys_display_ && !keys_display_failed_) {
        keys_display_ = XOpenDisplay(nullptr);
        keys_display_failed_ = keys_display_ == nullptr;
    }
    return keys_display_ != nullptr;
}

LockKeyStates HostPlatform::lock_key_toggles() {
    LockKeyStates states;
    std::lock_guard lock(keys_mutex_);
    if (!open_keys_display()) return states;
    if (!toggles_known_) {
        // Select the notifications first, then read the state once: a change
        // in between arrives as an event.
        int opcode = 0, error_base = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
        indicator_events_ =
            XkbQueryExtension(keys_display_, &opcode, &xkb_event_base_, &error_base, &major,
                              &minor) &&
            XkbSelectEventDetails(keys_display_, XkbUseCoreKbd, XkbIndicatorStateNotify,
                                  XkbAllIndicatorsMask, XkbAllIndicatorsMask);
        toggles_known_ = XkbGetIndicatorState(keys_display_, XkbUseCoreKbd, &indicators_) == Success;
    } else if (indicator_events_) {
        // Reads what has arrived without waiting for the server.
        while (XPending(keys_display_) > 0) {
            XEvent event;
            XNextEvent(keys_display_, &event);
            if (event.type != xkb_event_base_) continue;
            const auto* xkb = reinterpret_cast<const XkbEvent*>(&event);
            if (xkb->any.xkb_type == XkbIndicatorStateNotify) indicators_ = xkb->indicators.state;
        }
    } else {
        XkbGetIndicatorState(keys_display_, XkbUseCoreKbd, &indicators_);
    }
    states.caps_toggled = indicators_ & 1u;
    states.num_toggled = indicators_ & 2u;
    states.scroll_toggled = indicators_ & 4u;
    return states;
}

LockKeyStates HostPlatform::lock_key_states() {
    LockKeyStates states;
    std::lock_guard lock(keys_mutex_);
    if (!open_keys_display()) return states;
    unsigned indicators = 0;
    if (XkbGetIndicatorState(keys_display_, XkbUseCoreKbd, &indicators) == Success) {
        states.caps_toggled = indicators & 1u;
        states.num_toggled = indicators & 2u;
        states.scroll_toggled = indicators & 4u;
    }
    char keymap[32] = {};
    XQueryKeymap(keys_display_, keymap);
    auto down = [&](KeySym sym) {
        KeyCode code = XKeysymToKeycode(keys_display_, sym);
        return code != 0 && (keymap[code / 8] & (1 << (code % 8)));
    };
    states.scroll_down = down(XK_Scroll_Lock);
    states.left_shift = down(XK_Shift_L);
    states.right_shift = down(XK_Shift_R);
    states.left_ctrl = down(XK_Control_L);
    states.right_ctrl = down(XK_Control_R);
    states.left_alt = down(XK_Alt_L);
    states.right_alt = down(XK_Alt_R) || down(XK_ISO_Level3_Shift);
    return states;
}

void HostPlatform::exit_process(int status) {
    std::fflush(nullptr);
    _exit(status);
}

}  // namespace quendrel
