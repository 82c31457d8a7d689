// The window's size policy, title, full-screen and resize settings and the
// refresh rate.
//
// The program thread sets the title, the resize mode, full-screen requests
// and the refresh rate; the main thread applies them, since only it may
// call the window library. Every word both sides touch is atomic; the title
// travels as one heap copy whose pointer the main thread takes over.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>

#include "runtime/console/key_events.h"
#include "runtime/display/display_state.h"
#include "runtime/kernel/runtime_errors.h"

namespace quendrel {

// What the policy and the presenter ask of the window library.
class WindowHost {
public:
    virtual ~WindowHost() = default;
    virtual void reshape_window(int width, int height) = 0;
    virtual void full_screen() = 0;
    virtual void post_redisplay() = 0;
    virtual void swap_buffers() = 0;
};

class WindowState : public WindowControl {
public:
    WindowState(RuntimeErrors& errors, DisplayState& display)
        : errors_(errors), display_(display) {}
    ~WindowState() override { delete[] pending_title_.load(); }
    WindowState(const WindowState&) = delete;
    WindowState& operator=(const WindowState&) = delete;

    // Program thread: the dialect's statements.
    void set_window_title(std::string_view text);
    void set_resize_mode(bool on, int32_t stretch);
    int32_t resize_happened();
    void request_full_screen(int32_t mode, bool smooth);
    int32_t full_screen_mode() const;
    void set_refresh_rate(double rate);

    // Main thread.
    void step_full_screen() override;
    void reshape(int width, int height);
    // Runs before a redraw of a frame of fw x fh pixels.
    void apply_window_policy(WindowHost& host, int32_t fw, int32_t fh);
    // The title set since the last call, or null.
    std::unique_ptr<char[]> take_title() {
        return std::unique_ptr<char[]>(pending_title_.exchange(nullptr));
    }
    double refresh_rate() const { return refresh_rate_.load(); }

    // Main-thread state, read by the presenter.
    int32_t window_width = 640, window_height = 400;
    int32_t previous_window_width = 640, previous_window_height = 400;
    int32_t last_frame_width = 640, last_frame_height = 400;
    float frame_aspect = 1.6f, applied_aspect = 1.6f;
    bool reshape_pending = true;
    bool force_redraw = false;

    // Shared with the program thread.
    std::atomic<int32_t> window_locked_to_frame{1};
    std::atomic<int32_t> stretch_mode{0};
    std::atomic<int32_t> user_resized{0};
    std::atomic<int32_t> full_screen_request{-1};
    std::atomic<int32_t> full_screen_state{0};
    std::atomic<int32_t> full_screen_smooth{0};
    // The size of the last reshape, for the resize queries.
    std::atomic<int32_t> resize_width{640}, resize_height{400};

private:
    // Makes m the pending request unless it is in force already.
    void request(int32_t m);

    RuntimeErrors& errors_;
    DisplayState& display_;
    std::atomic<double> refresh_rate_{60.0};
    std::atomic<char*> pending_title_{nullptr};
};

}  // namespace quendrel
