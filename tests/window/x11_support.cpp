#include "window/x11_support.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace quendrel::x11_test {

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

Display::Display() : display_(XOpenDisplay(nullptr)) {}
Display::~Display() {
    if (display_) XCloseDisplay(display_);
}

namespace {
Window find_in(::Display* d, Window parent, const std::string& name) {
    Window root_return, parent_return, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(d, parent, &root_return, &parent_return, &children, &count)) return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        char* window_name = nullptr;
        if (XFetchName(d, children[i], &window_name) && window_name) {
            if (name == window_name) found = children[i];
            XFree(window_name);
        }
        if (!found) found = find_in(d, children[i], name);
    }
    if (children) XFree(children);
    return found;
}

int ignore_errors(::Display*, XErrorEvent*) { return 0; }
}  // namespace

Window Display::find_window(const std::string& name) {
    auto previous = XSetErrorHandler(ignore_errors);
    Window w = find_in(display_, DefaultRootWindow(display_), name);
    XSync(display_, False);
    XSetErrorHandler(previous);
    return w;
}

Window Display::wait_for_window(const std::string& name, int timeout_ms) {
    for (int t = 0; t < timeout_ms; t += 20) {
        if (Window w = find_window(name)) return w;
        sleep_ms(20);
    }
    return 0;
}

bool Display::window_exists(Window w) {
    auto previous = XSetErrorHandler(ignore_errors);
    XWindowAttributes a{};
    Status ok = XGetWindowAttributes(display_, w, &a);
    XSync(display_, False);
    XSetErrorHandler(previous);
    return ok && a.map_state == IsViewable;
}

void Display::size_of(Window w, int& width, int& height) {
    XWindowAttributes a{};
    XGetWindowAttributes(display_, w, &a);
    width = a.width;
    height = a.height;
}

void Display::place_and_focus(Window w) {
    XMoveWindow(display_, w, 0, 0);
    XRaiseWindow(display_, w);
    XSync(display_, False);
    // The name is set before the window is mapped, and focusing a window
    // that is not viewable yet fails (BadMatch), leaving keys to go elsewhere.
    for (int t = 0; t < 10000 && !window_exists(w); t += 10) sleep_ms(10);
    sleep_ms(50);
    // When the window goes, the focus goes back to the server's default,
    // as the next test expects to find it.
    auto previous = XSetErrorHandler(ignore_errors);
    XSetInputFocus(display_, w, RevertToPointerRoot, CurrentTime);
    XSync(display_, False);
    XSetErrorHandler(previous);
}

void Display::reset_focus() {
    XSetInputFocus(display_, PointerRoot, RevertToPointerRoot, CurrentTime);
    XSync(display_, False);
}

Screenshot Display::screenshot(Window w) {
    Screenshot s;
    int width = 0, height = 0;
    size_of(w, width, height);
    XImage* image =
        XGetImage(display_, w, 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    if (!image) return s;
    s.width = width;
    s.height = height;
    s.rgb.resize(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            s.rgb[size_t(y) * size_t(width) + size_t(x)] =
                uint32_t(XGetPixel(image, x, y)) & 0xFFFFFF;
    XDestroyImage(image);
    return s;
}

void Display::tap_key(unsigned long keysym, bool with_control) {
    KeyCode control = XKeysymToKeycode(display_, XK_Control_L);
    KeyCode key = XKeysymToKeycode(display_, keysym);
    if (with_control) XTestFakeKeyEvent(display_, control, True, 0);
    XTestFakeKeyEvent(display_, key, True, 0);
    XTestFakeKeyEvent(display_, key, False, 0);
    if (with_control) XTestFakeKeyEvent(display_, control, False, 0);
    XSync(display_, False);
}

void Display::send_close_request(Window w) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, w, False, NoEventMask, &e);
    XSync(display_, False);
}

Process::Process(const std::string& path, const std::vector<std::string>& environment) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    env.insert(env.end(), environment.begin(), environment.end());
    std::vector<char*> envp;
    for (std::string& s : env) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string program = path;
    char* argv[] = {program.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, envp.data()) == 0) pid_ = pid;
}

Process::~Process() {
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

bool Process::running() {
    if (pid_ <= 0 || reaped_) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        reaped_ = true;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return false;
    }
    return true;
}

int Process::wait_exit(int timeout_ms) {
    for (int t = 0; t <= timeout_ms; t += 10) {
        if (!running()) return status_;
        sleep_ms(10);
    }
    return -1;
}

std::vector<uint32_t> read_frame_dump(const std::string& path, int& width, int& height) {
    std::vector<uint32_t> pixels;
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) return pixels;
    int32_t size[2] = {};
    if (std::fread(size, sizeof size, 1, in) == 1 && size[0] > 0 && size[1] > 0) {
        pixels.resize(size_t(size[0]) * size_t(size[1]));
        if (std::fread(pixels.data(), 4, pixels.size(), in) != pixels.size()) pixels.clear();
        width = size[0];
        height = size[1];
    }
    std::fclose(in);
    return pixels;
}

std::string make_temp_dir() {
    char pattern[] = "/tmp/quendrel-window-XXXXXX";
    const char* dir = mkdtemp(pattern);
    return dir ? dir : "/tmp";
}

}  // namespace quendrel::x11_test
