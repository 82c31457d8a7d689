// The FreeGLUT window: creation, the extension check, the callbacks and the
// refresh timer, and the X11 hook that keeps the window open on a close
// request. Runs on the main thread, which it keeps for the event loop.
#pragma once

#include "runtime/display/presenter.h"
#include "runtime/display/window_input.h"
#include "runtime/display/window_state.h"
#include "runtime/kernel/messages.h"
#include "runtime/kernel/run_state.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/x11_event_hook.h"

namespace quendrel {

class GlutWindow : public WindowHost, public X11HookSink {
public:
    GlutWindow(RunState& run, Platform& platform, MessageBoxes& boxes, WindowState& state,
               WindowInput& input, Presenter& presenter)
        : run_(run),
          platform_(platform),
          boxes_(boxes),
          state_(state),
          input_(input),
          presenter_(presenter) {}
    GlutWindow(const GlutWindow&) = delete;
    GlutWindow& operator=(const GlutWindow&) = delete;

    // Opens the window, registers the callbacks and serves events for the
    // rest of the run; ends the process with status 1 when the display
    // mode is not available.
    [[noreturn]] void run(int argc, char** argv);

    // The steps of run, for tests that drive the loop themselves.
    bool open(int& argc, char** argv);
    void register_callbacks();
    void refresh_timer_callback();
    // Hands the raw key events queued by the X11 hook to the key layer.
    void drain_raw_keys();

    // WindowHost.
    void reshape_window(int width, int height) override;
    void full_screen() override;
    void post_redisplay() override;
    void swap_buffers() override;

    // X11HookSink: inside Xlib, so only an atomic or.
    void close_requested() override { input_.window_event_hook(1, 0, 0); }

    bool framebuffer_objects() const { return framebuffer_objects_; }
    int window_id() const { return window_; }

private:
    void apply_title();

    RunState& run_;
    Platform& platform_;
    MessageBoxes& boxes_;
    WindowState& state_;
    WindowInput& input_;
    Presenter& presenter_;
    X11EventHook hook_;
    int window_ = 0;
    bool framebuffer_objects_ = false;
};

}  // namespace quendrel
