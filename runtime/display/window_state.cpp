#include "runtime/display/window_state.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace quendrel {

namespace {
constexpr int32_t kIllegalFunctionCall = 5;
}

void WindowState::set_window_title(std::string_view text) {
    char* copy = new (std::nothrow) char[text.size() + 1];
    if (!copy) {
        errors_.raise_error(7);
        return;
    }
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = 0;
    // The main thread takes the newest copy; one it never took is freed here.
    delete[] pending_title_.exchange(copy);
}

void WindowState::set_resize_mode(bool on, int32_t stretch) {
    if (errors_.pending()) return;
    if (stretch < 0 || stretch > 2) {
        errors_.raise_error(kIllegalFunctionCall);
        return;
    }
    stretch_mode.store(stretch);
    window_locked_to_frame.store(on ? 0 : 1);
}

int32_t WindowState::resize_happened() {
    bool happened = user_resized.exchange(0) != 0;
    return happened && !window_locked_to_frame.load() ? -1 : 0;
}

void WindowState::request(int32_t m) {
    if (m != full_screen_state.load()) full_screen_request.store(m);
    display_.force_new_frame.store(1);
}

void WindowState::request_full_screen(int32_t mode, bool smooth) {
    if (errors_.pending()) return;
    static constexpr int32_t kRequestFor[] = {1, 0, 1, 2};
    if (mode < 0 || mode > 3) {
        errors_.raise_error(kIllegalFunctionCall);
        return;
    }
    full_screen_smooth.store(smooth ? 1 : 0);
    request(kRequestFor[mode]);
}

int32_t WindowState::full_screen_mode() const {
    int32_t pending = full_screen_request.load();
    return pending != -1 ? pending : full_screen_state.load();
}

void WindowState::step_full_screen() {
    int32_t m = full_screen_mode();
    bool smooth = full_screen_smooth.load();
    if (m == 2 && smooth) {
        m = 0;
    } else if (!smooth && m != 0) {
        full_screen_smooth.store(1);
    } else {
        ++m;
        full_screen_smooth.store(0);
    }
    request(m);
}

void WindowState::set_refresh_rate(double rate) {
    if (errors_.pending()) return;
    if (!(rate >= 1)) {
        errors_.raise_error(kIllegalFunctionCall);
        return;
    }
    refresh_rate_.store(rate > 200 ? 200 : rate);
}

void WindowState::reshape(int width, int height) {
    previous_window_width = window_width;
    previous_window_height = window_height;
    window_width = width;
    window_height = height;
    user_resized.store(1);
    reshape_pending = false;
    force_redraw = true;
    resize_width.store(width);
    resize_height.store(height);
}

void WindowState::apply_window_policy(WindowHost& host, int32_t fw, int32_t fh) {
    if (fw <= 0 || fh <= 0) return;
    if (full_screen_state.load() == 0 && full_screen_request.load() == -1) {
        const bool frame_changed = fw != last_frame_width || fh != last_frame_height;
        frame_aspect = float(fw) / float(fh);
        last_frame_width = fw;
        last_frame_height = fh;
        const float window_aspect = float(window_width) / float(window_height);
        if (stretch_mode.load() != 0 && window_aspect != applied_aspect &&
            window_aspect != frame_aspect) {
            // Keep the side the user did not drag, or the one that moved less.
            int32_t nw = window_width, nh = window_height;
            const bool width_kept = previous_window_width == window_width;
            const bool height_kept = previous_window_height == window_height;
            if (width_kept) {
                nh = window_height;
                nw = int32_t(float(nh) * frame_aspect);
            }
            if (height_kept) {
                nw = window_width;
                nh = int32_t(float(nw) / frame_aspect);
            }
            if (!width_kept && !height_kept) {
                if (std::abs(window_height - previous_window_height) <
                    std::abs(window_width - previous_window_width)) {
                    nw = window_width;
                    nh = int32_t(float(nw) / frame_aspect);
                } else {
                    nh = window_height;
                    nw = int32_t(float(nh) * frame_aspect);
                }
            }
            if (nw < 1) nw = 1;
            if (nh < 1) nh = 1;
            applied_aspect = float(nw) / float(nh);
            reshape_pending = true;
            host.reshape_window(nw, nh);
            host.post_redisplay();
        } else if ((window_width != fw || window_height != fh) &&
                   (window_locked_to_frame.load() || frame_changed)) {
            host.reshape_window(fw, fh);
            host.post_redisplay();
            reshape_pending = true;
        }
    }
    int32_t requested = full_screen_request.load();
    if (!reshape_pending && requested != -1) {
        if (requested == 0) {
            if (full_screen_state.load() != 0) {
                reshape_pending = true;
                host.reshape_window(fw, fh);
                host.post_redisplay();
            }
            full_screen_state.store(0);
        } else {
            if (full_screen_state.load() == 0) host.full_screen();
            full_screen_state.store(requested);
        }
        // A request made meanwhile stays for the next redraw.
        full_screen_request.compare_exchange_strong(requested, -1);
    }
}

}  // namespace quendrel
