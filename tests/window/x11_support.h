// X11 helpers of the window tests: finding the program's window, placing
// and focusing it as a window manager would, screenshots, synthetic keys
// and a window manager's close request, and the probe program's process.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quendrel::x11_test {

struct Screenshot {
    int width = 0, height = 0;
    std::vector<uint32_t> rgb;  // 0x00RRGGBB
};

class Display {
public:
    Display();
    ~Display();
    ::Display* get() const { return display_; }
    explicit operator bool() const { return display_ != nullptr; }

    // The top-level window with this name, or 0.
    Window find_window(const std::string& name);
    // Waits up to timeout_ms for it.
    Window wait_for_window(const std::string& name, int timeout_ms);
    bool window_exists(Window w);
    void size_of(Window w, int& width, int& height);
    // Moves it to (0, 0) and gives it the input focus.
    void place_and_focus(Window w);
    // The focus back to the pointer root, where the server starts.
    void reset_focus();
    Screenshot screenshot(Window w);
    // A press and release through XTest; with_control holds Control_L.
    void tap_key(unsigned long keysym, bool with_control = false);
    void send_close_request(Window w);

private:
    ::Display* display_ = nullptr;
};

class Process {
public:
    Process(const std::string& path, const std::vector<std::string>& environment);
    ~Process();
    bool running();
    // Waits up to timeout_ms; the exit status, or -1 if still running or
    // ended by a signal.
    int wait_exit(int timeout_ms);

private:
    int pid_ = -1;
    int status_ = -1;
    bool reaped_ = false;
};

// width, height and pixels of a frame dump, empty when it is not there.
std::vector<uint32_t> read_frame_dump(const std::string& path, int& width, int& height);
std::string make_temp_dir();
void sleep_ms(int ms);

}  // namespace quendrel::x11_test
