// The X11 message box driven as a person would: the box runs on its own
// thread, the test finds its window by title and answers it with XTest keys
// and clicks or a window-manager close request. Suites named X11* need an X
// server and skip without one.
#include "runtime/platform/x11_message_box.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "runtime/platform/platform.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace quendrel {
namespace {

using namespace std::chrono_literals;

// Xlib's error handler is process-wide. Errors on the test's own connection are
// expected (a window can vanish while we look at it); any on the box's
// connection are faults of the box.
std::atomic<Display*> g_test_display{nullptr};
std::atomic<int> g_box_x_errors{0};

int count_x_error(Display* display, XErrorEvent*) {
    if (display != g_test_display.load()) ++g_box_x_errors;
    return 0;
}

struct BoxState {
    std::atomic<bool> done{false};
    std::atomic<int> result{0};
};

// One box on a thread of its own, as the program thread would show it.
class BoxRun {
public:
    BoxRun(std::string text, std::string caption, uint32_t style) : state_(std::make_shared<BoxState>()) {
        thread_ = std::thread([state = state_, text = std::move(text), caption = std::move(caption), style] {
            state->result = x11_message_box(text, caption, style);
            state->done = true;
        });
    }
    ~BoxRun() {
        // A box left open by a failed test keeps its thread; leave it behind.
        if (state_->done)
            thread_.join();
        else
            thread_.detach();
    }
    BoxRun(const BoxRun&) = delete;
    BoxRun& operator=(const BoxRun&) = delete;

    // The answer, or nothing if the box is still open after the wait.
    std::optional<int> answer(std::chrono::milliseconds wait = 5s) {
        const auto until = std::chrono::steady_clock::now() + wait;
        while (!state_->done && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(5ms);
        if (!state_->done) return std::nullopt;
        return state_->result.load();
    }

private:
    std::shared_ptr<BoxState> state_;
    std::thread thread_;
};

std::string window_name(Display* display, Window window) {
    std::string name;
    Atom net_wm_name = XInternAtom(display, "_NET_WM_NAME", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, net_wm_name, 0, 1024, False, AnyPropertyType, &type, &format, &count,
                           &after, &data) == Success &&
        data) {
        name.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
        if (!name.empty()) return name;
    }
    char* wm_name = nullptr;
    if (XFetchName(display, window, &wm_name) && wm_name) {
        name = wm_name;
        XFree(wm_name);
    }
    return name;
}

std::vector<Window> children_of(Display* display, Window window) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    std::vector<Window> out;
    if (XQueryTree(display, window, &root, &parent, &children, &count)) {
        out.assign(children, children + count);
        if (children) XFree(children);
    }
    return out;
}

Window find_named(Display* display, Window under, const std::string& name) {
    for (Window child : children_of(display, under)) {
        if (window_name(display, child) == name) return child;
        if (Window found = find_named(display, child, name)) return found;
    }
    return 0;
}

std::vector<Atom> atom_list(Display* display, Window window, const char* property) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<Atom> atoms;
    if (XGetWindowProperty(display, window, XInternAtom(display, property, False), 0, 64, False, XA_ATOM, &type,
                           &format, &count, &after, &data) == Success &&
        data) {
        const long* values = reinterpret_cast<const long*>(data);
        for (unsigned long i = 0; i < count; ++i) atoms.push_back(static_cast<Atom>(values[i]));
        XFree(data);
    }
    return atoms;
}

bool contains(const std::vector<Atom>& atoms, Atom atom) {
    for (Atom a : atoms)
        if (a == atom) return true;
    return false;
}

class X11MessageBox : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "DISPLAY is not set";
        display_ = XOpenDisplay(nullptr);
        if (!display_) GTEST_SKIP() << "cannot open the X display";
        int event_base, error_base, major, minor;
        if (!XTestQueryExtension(display_, &event_base, &error_base, &major, &minor))
            GTEST_SKIP() << "the X server has no XTest extension";
        g_test_display = display_;
        g_box_x_errors = 0;
        previous_handler_ = XSetErrorHandler(count_x_error);
        root_ = DefaultRootWindow(display_);
    }
    void TearDown() override {
        if (!display_) return;
        EXPECT_EQ(g_box_x_errors.load(), 0) << "the box caused X protocol errors";
        XSetErrorHandler(previous_handler_);
        g_test_display = nullptr;
        XCloseDisplay(display_);
    }

    // Each box gets a caption of its own so a window left by another test
    // cannot be mistaken for it.
    std::string caption(const std::string& what) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        return std::string(info->name()) + " " + what + " " + std::to_string(++serial_);
    }

    Window wait_for_window(const std::string& title) {
        const auto until = std::chrono::steady_clock::now() + 5s;
        while (std::chrono::steady_clock::now() < until) {
            if (Window window = find_named(display_, root_, title)) {
                XWindowAttributes attributes;
                if (XGetWindowAttributes(display_, window, &attributes) && attributes.map_state == IsViewable)
                    return window;
            }
            std::this_thread::sleep_for(10ms);
        }
        ADD_FAILURE() << "no window titled \"" << title << "\" appeared";
        return 0;
    }

    // Keys are sent only once the box has the keyboard; with no window
    // manager it must take the focus itself.
    bool wait_for_focus(Window window) {
        const auto until = std::chrono::steady_clock::now() + 5s;
        while (std::chrono::steady_clock::now() < until) {
            Window focus = 0;
            int revert = 0;
            XGetInputFocus(display_, &focus, &revert);
            if (focus == window) return true;
            std::this_thread::sleep_for(10ms);
        }
        ADD_FAILURE() << "the box never got the keyboard focus";
        return false;
    }

    Window open_focused(const std::string& title) {
        Window window = wait_for_window(title);
        if (window && !wait_for_focus(window)) return 0;
        return window;
    }

    void key(KeySym keysym, bool down) {
        XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, keysym), down ? True : False, CurrentTime);
        XSync(display_, False);
    }
    void tap(KeySym keysym) {
        key(keysym, true);
        key(keysym, false);
    }

    void move_to_centre_of(Window window) {
        XWindowAttributes attributes;
        ASSERT_TRUE(XGetWindowAttributes(display_, window, &attributes));
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(display_, window, root_, attributes.width / 2, attributes.height / 2, &x, &y, &child);
        XTestFakeMotionEvent(display_, DefaultScreen(display_), x, y, CurrentTime);
        XSync(display_, False);
    }
    void mouse_button(bool down) {
        XTestFakeButtonEvent(display_, 1, down ? True : False, CurrentTime);
        XSync(display_, False);
    }

    void send_close_request(Window window) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display_, window, False, NoEventMask, &event);
        XSync(display_, False);
    }

    XWindowAttributes attributes_of(Window window) {
        XWindowAttributes attributes{};
        XGetWindowAttributes(display_, window, &attributes);
        return attributes;
    }

    Display* display_ = nullptr;
    Window root_ = 0;
    int serial_ = 0;
    XErrorHandler previous_handler_ = nullptr;
};

struct KeyCase {
    const char* name;
    uint32_t style;
    std::vector<KeySym> keys;
    int expected;
};

TEST_F(X11MessageBox, KeysAnswerTheBox) {
    const KeyCase cases[] = {
        {"Enter in an OK box", kBoxOk, {XK_Return}, kBoxResultOk},
        {"Esc in an OK box", kBoxOk, {XK_Escape}, kBoxResultOk},
        {"Y and N do not answer an OK box", kBoxOk, {XK_y, XK_n, XK_Escape}, kBoxResultOk},
        {"Y", kBoxYesNo, {XK_y}, kBoxResultYes},
        {"N", kBoxYesNo, {XK_n}, kBoxResultNo},
        {"Enter takes the default Yes", kBoxYesNo, {XK_Return}, kBoxResultYes},
        {"keypad Enter", kBoxYesNo, {XK_KP_Enter}, kBoxResultYes},
        {"Esc answers No", kBoxYesNo, {XK_Escape}, kBoxResultNo},
        {"other keys are ignored", kBoxYesNo | kBoxSystemModal, {XK_a, XK_space, XK_n}, kBoxResultNo},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string title = caption("keys");
        BoxRun box("Press a key.", title, c.style);
        Window window = open_focused(title);
        ASSERT_NE(window, 0u);
        for (KeySym keysym : c.keys) tap(keysym);
        EXPECT_EQ(box.answer(), c.expected);
        if (!box.answer(0ms)) send_close_request(window);
    }
}

TEST_F(X11MessageBox, KeyHeldWhenTheBoxOpensDoesNotAnswerIt) {
    // Enter pressed in the main window is still down (and repeating) when the
    // error box comes up; only its release reaches the box.
    key(XK_Return, true);
    const std::string title = caption("held");
    BoxRun box("An error.", title, kBoxYesNo);
    Window window = open_focused(title);
    std::this_thread::sleep_for(800ms);  // past the auto-repeat delay
    key(XK_Return, false);
    ASSERT_NE(window, 0u);
    EXPECT_EQ(box.answer(200ms), std::nullopt);
    tap(XK_n);
    EXPECT_EQ(box.answer(), kBoxResultNo);
}

struct ClickCase {
    uint32_t style;
    const char* button;
    int expected;
};

TEST_F(X11MessageBox, ClickOnAButtonAnswers) {
    const ClickCase cases[] = {
        {kBoxOk, "OK", kBoxResultOk},
        {kBoxYesNo, "Yes", kBoxResultYes},
        {kBoxYesNo, "No", kBoxResultNo},
    };
    for (const ClickCase& c : cases) {
        SCOPED_TRACE(c.button);
        const std::string title = caption("click");
        BoxRun box("Click a button.", title, c.style);
        Window window = wait_for_window(title);
        ASSERT_NE(window, 0u);
        Window button = find_named(display_, window, c.button);
        ASSERT_NE(button, 0u);
        move_to_centre_of(button);
        mouse_button(true);
        mouse_button(false);
        EXPECT_EQ(box.answer(), c.expected);
        if (!box.answer(0ms)) send_close_request(window);
    }
}

TEST_F(X11MessageBox, PressDraggedOffTheButtonDoesNotAnswer) {
    const std::string title = caption("drag");
    BoxRun box("Changed my mind.", title, kBoxYesNo);
    Window window = open_focused(title);
    ASSERT_NE(window, 0u);
    Window yes = find_named(display_, window, "Yes");
    ASSERT_NE(yes, 0u);
    move_to_centre_of(yes);
    mouse_button(true);
    move_to_centre_of(window);  // over the text, off every button
    mouse_button(false);
    EXPECT_EQ(box.answer(200ms), std::nullopt);
    tap(XK_Escape);
    EXPECT_EQ(box.answer(), kBoxResultNo);
}

TEST_F(X11MessageBox, WindowManagerCloseAnswersLikeEsc) {
    const std::pair<uint32_t, int> cases[] = {{kBoxOk, kBoxResultOk}, {kBoxYesNo, kBoxResultNo}};
    for (const auto& [style, expected] : cases) {
        SCOPED_TRACE(style);
        const std::string title = caption("close");
        BoxRun box("Close me.", title, style);
        Window window = wait_for_window(title);
        ASSERT_NE(window, 0u);
        send_close_request(window);
        EXPECT_EQ(box.answer(), expected);
    }
}

TEST_F(X11MessageBox, AnnouncesItselfToTheWindowManager) {
    const Atom above = XInternAtom(display_, "_NET_WM_STATE_ABOVE", False);
    const Atom dialog = XInternAtom(display_, "_NET_WM_WINDOW_TYPE_DIALOG", False);
    const Atom delete_window = XInternAtom(display_, "WM_DELETE_WINDOW", False);
    for (uint32_t style : {uint32_t{kBoxOk}, uint32_t{kBoxYesNo | kBoxSystemModal}}) {
        SCOPED_TRACE(style);
        // The caption is Latin-1 like all our strings; the window manager's
        // UTF-8 title must read the same.
        const std::string title = caption("Caf\xe9");
        BoxRun box("Properties.", title, style);
        std::string utf8_title = title;
        utf8_title.replace(utf8_title.find('\xe9'), 1, "\xc3\xa9");
        Window window = wait_for_window(utf8_title);
        ASSERT_NE(window, 0u);
        char* wm_name = nullptr;
        ASSERT_TRUE(XFetchName(display_, window, &wm_name));
        EXPECT_EQ(std::string(wm_name), title);
        XFree(wm_name);

        EXPECT_TRUE(contains(atom_list(display_, window, "_NET_WM_WINDOW_TYPE"), dialog));
        EXPECT_EQ(contains(atom_list(display_, window, "_NET_WM_STATE"), above), (style & kBoxSystemModal) != 0);
        Atom* protocols = nullptr;
        int count = 0;
        ASSERT_TRUE(XGetWMProtocols(display_, window, &protocols, &count));
        EXPECT_TRUE(std::vector<Atom>(protocols, protocols + count) == std::vector<Atom>{delete_window});
        XFree(protocols);

        send_close_request(window);
        EXPECT_TRUE(box.answer().has_value());
    }
}

TEST_F(X11MessageBox, SizedToItsTextAndCentred) {
    const int screen_width = DisplayWidth(display_, DefaultScreen(display_));
    const int screen_height = DisplayHeight(display_, DefaultScreen(display_));
    struct Shown {
        int x, y, width, height;
    };
    auto show = [&](const std::string& text) -> Shown {
        const std::string title = caption("size");
        BoxRun box(text, title, kBoxYesNo);
        Window window = wait_for_window(title);
        if (!window) return {};
        XWindowAttributes attributes = attributes_of(window);
        send_close_request(window);
        EXPECT_TRUE(box.answer().has_value());
        return {attributes.x, attributes.y, attributes.width, attributes.height};
    };
    const Shown one = show("One line.");
    const Shown three = show("One line.\nTwo lines.\r\nThree lines.");
    std::string long_words;
    for (int i = 0; i < 300; ++i) long_words += "word ";
    const Shown words = show(long_words);
    const Shown unbroken = show(std::string(2000, 'x'));

    EXPECT_GT(one.width, 0);
    EXPECT_NEAR(one.x + one.width / 2, screen_width / 2, 2);
    EXPECT_NEAR(one.y + one.height / 2, screen_height / 2, 2);
    EXPECT_EQ(three.width, one.width);
    EXPECT_GT(three.height, one.height);
    // Text too wide for the screen wraps instead of running off it.
    for (const Shown& wide : {words, unbroken}) {
        EXPECT_LE(wide.width, screen_width);
        EXPECT_GT(wide.width, one.width);
        EXPECT_GT(wide.height, one.height);
        EXPECT_GE(wide.x, 0);
    }
}

// Counts black pixels in a window's current contents.
int dark_pixels(Display* display, Window window, int x, int y, int width, int height) {
    XImage* image = XGetImage(display, window, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height),
                              AllPlanes, ZPixmap);
    if (!image) return -1;
    const unsigned long black = BlackPixel(display, DefaultScreen(display));
    int dark = 0;
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width; ++col) dark += XGetPixel(image, col, row) == black;
    XDestroyImage(image);
    return dark;
}

TEST_F(X11MessageBox, DrawsTextAndHighlightsTheDefaultAgainAfterExposure) {
    const std::string title = caption("draw");
    BoxRun box("Some text to draw.", title, kBoxYesNo);
    Window window = open_focused(title);
    ASSERT_NE(window, 0u);
    Window yes = find_named(display_, window, "Yes");
    Window no = find_named(display_, window, "No");
    ASSERT_NE(yes, 0u);
    ASSERT_NE(no, 0u);
    const XWindowAttributes box_size = attributes_of(window);
    const XWindowAttributes button_size = attributes_of(yes);
    const int text_height = box_size.height - button_size.height - 20;

    auto wait_for_text = [&] {
        const auto until = std::chrono::steady_clock::now() + 3s;
        while (std::chrono::steady_clock::now() < until) {
            if (dark_pixels(display_, window, 0, 0, box_size.width, text_height) > 20) return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    };
    ASSERT_TRUE(wait_for_text());
    // The default button's frame is three pixels deep, the other's one.
    EXPECT_EQ(dark_pixels(display_, yes, 2, 2, 1, 1), 1);
    EXPECT_EQ(dark_pixels(display_, no, 0, 0, 1, 1), 1);
    EXPECT_EQ(dark_pixels(display_, no, 2, 2, 1, 1), 0);

    // Cover the box with a white window of ours and uncover it: the
    // exposed box must draw itself again.
    Window cover = XCreateSimpleWindow(display_, root_, box_size.x, box_size.y, static_cast<unsigned>(box_size.width),
                                       static_cast<unsigned>(box_size.height), 0, 0,
                                       WhitePixel(display_, DefaultScreen(display_)));
    XSetWindowAttributes no_redirect{};
    no_redirect.override_redirect = True;
    XChangeWindowAttributes(display_, cover, CWOverrideRedirect, &no_redirect);
    XMapRaised(display_, cover);
    XSync(display_, False);
    std::this_thread::sleep_for(50ms);
    XDestroyWindow(display_, cover);
    XSync(display_, False);
    EXPECT_TRUE(wait_for_text());

    tap(XK_y);
    EXPECT_EQ(box.answer(), kBoxResultYes);
}

// Restores DISPLAY (or its absence) when a test is done with it.
class DisplayVariable {
public:
    explicit DisplayVariable(const char* value) {
        if (const char* old = std::getenv("DISPLAY")) saved_ = old;
        if (value)
            setenv("DISPLAY", value, 1);
        else
            unsetenv("DISPLAY");
    }
    ~DisplayVariable() {
        if (saved_)
            setenv("DISPLAY", saved_->c_str(), 1);
        else
            unsetenv("DISPLAY");
    }
    DisplayVariable(const DisplayVariable&) = delete;
    DisplayVariable& operator=(const DisplayVariable&) = delete;

private:
    std::optional<std::string> saved_;
};

struct FallbackCase {
    const char* display;
    uint32_t style;
    int expected;
};

TEST(MessageBoxFallback, WithoutADisplayTheBoxGoesToStderr) {
    const FallbackCase cases[] = {
        {":99999", kBoxOk, kBoxResultOk},
        {":99999", kBoxYesNo, kBoxResultNo},
        {nullptr, kBoxYesNo | kBoxSystemModal, kBoxResultNo},
        {nullptr, kBoxOk | kBoxSystemModal, kBoxResultOk},
    };
    for (const FallbackCase& c : cases) {
        SCOPED_TRACE(c.display ? c.display : "DISPLAY unset");
        DisplayVariable display(c.display);
        EXPECT_EQ(x11_message_box("text", "caption", c.style), -1);

        ::testing::internal::CaptureStderr();
        const int result = message_box_or_stderr("Out of memory\nsecond line", "Critical Error #", c.style);
        const std::string printed = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(printed.find("Critical Error #\nOut of memory\nsecond line\n"), 0u) << printed;
    }
}

}  // namespace
}  // namespace quendrel
