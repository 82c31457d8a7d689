#include "runtime/platform/x11_message_box.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdio>
#include <memory>
#include <vector>

#include "runtime/platform/platform.h"

// Xlib's headers define macros such as None, True and Status; they come last.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace quendrel {
namespace {

constexpr int kMargin = 16;
constexpr int kLineGap = 2;
constexpr int kButtonGap = 16;
constexpr int kButtonPadX = 14;
constexpr int kButtonPadY = 6;
constexpr int kButtonMinWidth = 80;
constexpr int kMinTextWidth = 200;
constexpr int kTabColumns = 8;

// "fixed" is built into every X server; the others are the usual aliases of the
// same family in case a server's font path lacks the alias.
constexpr std::array<const char*, 3> kFontNames = {"fixed", "6x13", "9x15"};

enum AtomIndex : size_t {
    kWmProtocols,
    kWmDeleteWindow,
    kNetWmName,
    kUtf8String,
    kNetWmWindowType,
    kNetWmWindowTypeDialog,
    kNetWmState,
    kNetWmStateAbove,
    kAtomCount,
};
constexpr std::array<const char*, kAtomCount> kAtomNames = {
    "WM_PROTOCOLS",     "WM_DELETE_WINDOW",          "_NET_WM_NAME",  "UTF8_STRING",
    "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_DIALOG", "_NET_WM_STATE", "_NET_WM_STATE_ABOVE",
};

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayConnection = std::unique_ptr<Display, DisplayCloser>;

class OwnedWindow {
public:
    OwnedWindow(Display* display, Window window) : display_(display), window_(window) {}
    ~OwnedWindow() { XDestroyWindow(display_, window_); }
    OwnedWindow(const OwnedWindow&) = delete;
    OwnedWindow& operator=(const OwnedWindow&) = delete;
    Window get() const { return window_; }

private:
    Display* display_;
    Window window_;
};

class OwnedGc {
public:
    OwnedGc(Display* display, Drawable drawable) : display_(display), gc_(XCreateGC(display, drawable, 0, nullptr)) {}
    ~OwnedGc() { XFreeGC(display_, gc_); }
    OwnedGc(const OwnedGc&) = delete;
    OwnedGc& operator=(const OwnedGc&) = delete;
    GC get() const { return gc_; }

private:
    Display* display_;
    GC gc_;
};

// Either a loaded font or, failing every name, the metrics of the GC's
// default font (which must then not be unloaded).
class OwnedFont {
public:
    OwnedFont(Display* display, GC gc) : display_(display) {
        for (const char* name : kFontNames) {
            font_ = XLoadQueryFont(display, name);
            if (font_) {
                loaded_ = true;
                XSetFont(display, gc, font_->fid);
                return;
            }
        }
        font_ = XQueryFont(display, XGContextFromGC(gc));
    }
    ~OwnedFont() {
        if (!font_) return;
        if (loaded_)
            XFreeFont(display_, font_);
        else
            XFreeFontInfo(nullptr, font_, 1);
    }
    OwnedFont(const OwnedFont&) = delete;
    OwnedFont& operator=(const OwnedFont&) = delete;
    const XFontStruct* get() const { return font_; }

private:
    Display* display_;
    XFontStruct* font_ = nullptr;
    bool loaded_ = false;
};

int text_width(const XFontStruct* font, const std::string& text) {
    return XTextWidth(const_cast<XFontStruct*>(font), text.data(), static_cast<int>(text.size()));
}

std::string expand_tabs(const std::string& line) {
    std::string out;
    for (char c : line) {
        if (c == '\t')
            out.append(kTabColumns - out.size() % kTabColumns, ' ');
        else
            out.push_back(c);
    }
    return out;
}

// Greedy word wrap so that a long message still fits on the screen; a word
// wider than the limit is broken between characters.
void wrap_line(const XFontStruct* font, const std::string& line, int max_width, std::vector<std::string>& out) {
    size_t start = 0;
    while (true) {
        int width = 0;
        size_t fit = start;
        while (fit < line.size()) {
            int w = XTextWidth(const_cast<XFontStruct*>(font), &line[fit], 1);
            if (width + w > max_width && fit > start) break;
            width += w;
            ++fit;
        }
        if (fit >= line.size()) {
            out.push_back(line.substr(start));
            return;
        }
        size_t cut = fit;
        if (line[fit] != ' ') {
            size_t space = line.rfind(' ', fit - 1);
            if (space != std::string::npos && space > start) cut = space;
        }
        size_t end = cut;
        while (end > start && line[end - 1] == ' ') --end;
        out.push_back(line.substr(start, end - start));
        start = cut;
        while (start < line.size() && line[start] == ' ') ++start;
        if (start >= line.size()) return;
    }
}

std::vector<std::string> layout_lines(const XFontStruct* font, const std::string& text, int max_width) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (true) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        wrap_line(font, expand_tabs(line), max_width, lines);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

// Our strings are single bytes; WM_NAME takes them as Latin-1, _NET_WM_NAME
// wants the same text in UTF-8.
std::string latin1_to_utf8(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

struct Button {
    const char* label;
    int result;
    Window window = 0;
    int width = 0;
    int height = 0;
};

class MessageDialog {
public:
    MessageDialog(Display* display, const std::string& text, const std::string& caption, uint32_t style);
    // Null when no usable font could be found.
    bool usable() const { return font_.get() != nullptr; }
    int run();

private:
    void create_window(const std::string& text, const std::string& caption, uint32_t style);
    void set_properties(Window window, const std::string& caption, uint32_t style, int x, int y, int width,
                        int height);
    void handle_key(XKeyEvent& event);
    void take_focus_if_unowned();
    void draw_text();
    void draw_button(const Button& button, bool is_default, bool pressed);
    int button_at(Window window) const;

    Display* display_;
    int screen_;
    std::array<Atom, kAtomCount> atoms_{};
    bool yes_no_;
    unsigned long black_, white_;
    OwnedWindow window_;
    OwnedGc gc_;
    OwnedFont font_;
    std::vector<std::string> lines_;
    std::vector<Button> buttons_;
    int line_height_ = 0;
    int pressed_ = -1;          // button the mouse went down on
    bool pressed_inside_ = false;
    bool focus_checked_ = false;
    std::bitset<256> held_keys_;  // down before the box appeared
    int result_ = 0;
};

MessageDialog::MessageDialog(Display* display, const std::string& text, const std::string& caption, uint32_t style)
    : display_(display),
      screen_(DefaultScreen(display)),
      yes_no_((style & 0xF) == kBoxYesNo),
      black_(BlackPixel(display, screen_)),
      white_(WhitePixel(display, screen_)),
      window_(display, XCreateSimpleWindow(display, RootWindow(display, screen_), 0, 0, 1, 1, 0, black_, white_)),
      gc_(display, window_.get()),
      font_(display, gc_.get()) {
    XInternAtoms(display_, const_cast<char**>(kAtomNames.data()), kAtomCount, False, atoms_.data());
    if (yes_no_)
        buttons_ = {{"Yes", kBoxResultYes}, {"No", kBoxResultNo}};
    else
        buttons_ = {{"OK", kBoxResultOk}};
    if (usable()) create_window(text, caption, style);
}

void MessageDialog::create_window(const std::string& text, const std::string& caption, uint32_t style) {
    const XFontStruct* font = font_.get();
    const int screen_width = DisplayWidth(display_, screen_);
    const int screen_height = DisplayHeight(display_, screen_);
    const int max_text_width = std::max(kMinTextWidth, screen_width * 3 / 4 - 2 * kMargin);

    lines_ = layout_lines(font, text, max_text_width);
    line_height_ = font->ascent + font->descent + kLineGap;
    int content_width = kMinTextWidth;
    for (const std::string& line : lines_) content_width = std::max(content_width, text_width(font, line));

    int button_width = kButtonMinWidth;
    for (const Button& button : buttons_)
        button_width = std::max(button_width, text_width(font, button.label) + 2 * kButtonPadX);
    const int button_height = font->ascent + font->descent + 2 * kButtonPadY;
    const int row_width = static_cast<int>(buttons_.size()) * (button_width + kButtonGap) - kButtonGap;
    content_width = std::max(content_width, row_width);

    const int width = content_width + 2 * kMargin;
    const int text_height = static_cast<int>(lines_.size()) * line_height_;
    const int height = kMargin + text_height + kMargin + button_height + kMargin;
    const int x = std::max(0, (screen_width - width) / 2);
    const int y = std::max(0, (screen_height - height) / 2);

    const Window window = window_.get();
    XMoveResizeWindow(display_, window, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height));
    set_properties(window, caption, style, x, y, width, height);
    XSelectInput(display_, window, ExposureMask | KeyPressMask | KeyReleaseMask | StructureNotifyMask);

    int button_x = (width - row_width) / 2;
    const int button_y = height - kMargin - button_height;
    for (Button& button : buttons_) {
        button.width = button_width;
        button.height = button_height;
        button.window = XCreateSimpleWindow(display_, window, button_x, button_y, static_cast<unsigned>(button_width),
                                            static_cast<unsigned>(button_height), 0, black_, white_);
        // Named so that tools (and our tests) can find each button.
        XStoreName(display_, button.window, button.label);
        XSelectInput(display_, button.window,
                     ExposureMask | ButtonPressMask | ButtonReleaseMask | EnterWindowMask | LeaveWindowMask);
        button_x += button_width + kButtonGap;
    }

    // A key still held from the main window must not answer the box when
    // it repeats or is let go; such keys count only after their release.
    char keymap[32];
    XQueryKeymap(display_, keymap);
    for (int code = 0; code < 256; ++code)
        held_keys_[static_cast<size_t>(code)] = (keymap[code / 8] >> (code % 8)) & 1;
    XkbSetDetectableAutoRepeat(display_, True, nullptr);

    XMapSubwindows(display_, window);
    XMapRaised(display_, window);
}

void MessageDialog::set_properties(Window window, const std::string& caption, uint32_t style, int x, int y,
                                   int width, int height) {
    XStoreName(display_, window, caption.c_str());
    XSetIconName(display_, window, caption.c_str());
    const std::string utf8_caption = latin1_to_utf8(caption);
    XChangeProperty(display_, window, atoms_[kNetWmName], atoms_[kUtf8String], 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(utf8_caption.data()),
                    static_cast<int>(utf8_caption.size()));

    XSizeHints* size = XAllocSizeHints();
    if (size) {
        size->flags = USPosition | PPosition | PSize | PMinSize | PMaxSize;
        size->x = x;
        size->y = y;
        size->width = size->min_width = size->max_width = width;
        size->height = size->min_height = size->max_height = height;
        XSetWMNormalHints(display_, window, size);
        XFree(size);
    }
    XWMHints* hints = XAllocWMHints();
    if (hints) {
        hints->flags = InputHint | StateHint;
        hints->input = True;
        hints->initial_state = NormalState;
        XSetWMHints(display_, window, hints);
        XFree(hints);
    }
    XClassHint* class_hint = XAllocClassHint();
    if (class_hint) {
        class_hint->res_name = const_cast<char*>("message_box");
        class_hint->res_class = const_cast<char*>("Quendrel");
        XSetClassHint(display_, window, class_hint);
        XFree(class_hint);
    }

    Atom delete_window = atoms_[kWmDeleteWindow];
    XSetWMProtocols(display_, window, &delete_window, 1);
    Atom dialog_type = atoms_[kNetWmWindowTypeDialog];
    XChangeProperty(display_, window, atoms_[kNetWmWindowType], XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&dialog_type), 1);
    if (style & kBoxSystemModal) {
        // Set before mapping, the window manager reads it as the initial state.
        Atom above = atoms_[kNetWmStateAbove];
        XChangeProperty(display_, window, atoms_[kNetWmState], XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&above), 1);
    }
}

int MessageDialog::run() {
    while (result_ == 0) {
        XEvent event;
        XNextEvent(display_, &event);
        switch (event.type) {
            case Expose:
                if (event.xexpose.count != 0) break;
                if (event.xexpose.window == window_.get()) {
                    take_focus_if_unowned();
                    draw_text();
                } else if (int index = button_at(event.xexpose.window); index >= 0) {
                    draw_button(buttons_[static_cast<size_t>(index)], index == 0,
                                index == pressed_ && pressed_inside_);
                }
                break;
            case KeyPress:
            case KeyRelease:
                handle_key(event.xkey);
                break;
            case ButtonPress:
                if (event.xbutton.button == Button1 && pressed_ < 0) {
                    pressed_ = button_at(event.xbutton.window);
                    pressed_inside_ = pressed_ >= 0;
                    if (pressed_ >= 0) draw_button(buttons_[static_cast<size_t>(pressed_)], pressed_ == 0, true);
                }
                break;
            case ButtonRelease:
                if (event.xbutton.button == Button1 && pressed_ >= 0) {
                    const Button& button = buttons_[static_cast<size_t>(pressed_)];
                    const XButtonEvent& b = event.xbutton;
                    // The implicit grab sends the release to the pressed button,
                    // with coordinates relative to it.
                    const bool inside = b.window == button.window && b.x >= 0 && b.y >= 0 && b.x < button.width &&
                                        b.y < button.height;
                    if (inside) result_ = button.result;
                    draw_button(button, pressed_ == 0, false);
                    pressed_ = -1;
                    pressed_inside_ = false;
                }
                break;
            case EnterNotify:
            case LeaveNotify:
                if (pressed_ >= 0 && event.xcrossing.window == buttons_[static_cast<size_t>(pressed_)].window) {
                    pressed_inside_ = event.type == EnterNotify;
                    draw_button(buttons_[static_cast<size_t>(pressed_)], pressed_ == 0, pressed_inside_);
                }
                break;
            case ClientMessage:
                if (event.xclient.message_type == atoms_[kWmProtocols] && event.xclient.format == 32 &&
                    static_cast<Atom>(event.xclient.data.l[0]) == atoms_[kWmDeleteWindow])
                    result_ = yes_no_ ? kBoxResultNo : kBoxResultOk;
                break;
            case MappingNotify:
                XRefreshKeyboardMapping(&event.xmapping);
                break;
            default:
                break;
        }
    }
    return result_;
}

void MessageDialog::handle_key(XKeyEvent& event) {
    const size_t code = event.keycode & 0xFF;
    if (event.type == KeyRelease) {
        held_keys_[code] = false;
        return;
    }
    if (held_keys_[code]) return;
    KeySym keysym = NoSymbol;
    char chars[8];
    XLookupString(&event, chars, sizeof chars, &keysym, nullptr);
    switch (keysym) {
        case XK_Return:
        case XK_KP_Enter:
            result_ = buttons_[0].result;
            break;
        case XK_Escape:
            result_ = yes_no_ ? kBoxResultNo : kBoxResultOk;
            break;
        case XK_y:
        case XK_Y:
            if (yes_no_) result_ = kBoxResultYes;
            break;
        case XK_n:
        case XK_N:
            if (yes_no_) result_ = kBoxResultNo;
            break;
        default:
            break;
    }
}

// With no window manager the server's focus follows the pointer, and the box
// would not hear its keys unless the pointer happened to be over it. A window
// manager that gives focus to windows is left to do so itself.
void MessageDialog::take_focus_if_unowned() {
    if (focus_checked_) return;
    focus_checked_ = true;
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    if (focus != PointerRoot && focus != None) return;
    XWindowAttributes attributes;
    // Setting focus on a window that is not viewable is a protocol error.
    if (XGetWindowAttributes(display_, window_.get(), &attributes) && attributes.map_state == IsViewable)
        XSetInputFocus(display_, window_.get(), RevertToPointerRoot, CurrentTime);
}

void MessageDialog::draw_text() {
    const XFontStruct* font = font_.get();
    XSetForeground(display_, gc_.get(), black_);
    int y = kMargin + font->ascent;
    for (const std::string& line : lines_) {
        XDrawString(display_, window_.get(), gc_.get(), kMargin, y, line.data(), static_cast<int>(line.size()));
        y += line_height_;
    }
}

void MessageDialog::draw_button(const Button& button, bool is_default, bool pressed) {
    const XFontStruct* font = font_.get();
    GC gc = gc_.get();
    const unsigned w = static_cast<unsigned>(button.width), h = static_cast<unsigned>(button.height);
    XSetForeground(display_, gc, pressed ? black_ : white_);
    XFillRectangle(display_, button.window, gc, 0, 0, w, h);
    XSetForeground(display_, gc, black_);
    // The default answer gets a heavier frame.
    const int frame = is_default ? 3 : 1;
    for (int i = 0; i < frame; ++i)
        XDrawRectangle(display_, button.window, gc, i, i, w - 1 - 2 * static_cast<unsigned>(i),
                       h - 1 - 2 * static_cast<unsigned>(i));
    const int label_length = static_cast<int>(std::char_traits<char>::length(button.label));
    const int label_x = (button.width - text_width(font, button.label)) / 2;
    const int label_y = (button.height - font->ascent - font->descent) / 2 + font->ascent;
    XSetForeground(display_, gc, pressed ? white_ : black_);
    XDrawString(display_, button.window, gc, label_x, label_y, button.label, label_length);
}

int MessageDialog::button_at(Window window) const {
    for (size_t i = 0; i < buttons_.size(); ++i)
        if (buttons_[i].window == window) return static_cast<int>(i);
    return -1;
}

}  // namespace

int x11_message_box(const std::string& text, const std::string& caption, uint32_t style) {
    DisplayConnection display(XOpenDisplay(nullptr));
    if (!display) return -1;
    MessageDialog dialog(display.get(), text, caption, style);
    if (!dialog.usable()) return -1;
    return dialog.run();
}

int message_box_or_stderr(const std::string& text, const std::string& caption, uint32_t style) {
    const int result = x11_message_box(text, caption, style);
    if (result >= 0) return result;
    const bool yes_no = (style & 0xF) == kBoxYesNo;
    std::string report = caption + "\n" + text + "\n";
    if (yes_no) report += "(no display to ask: answering No)\n";
    std::fwrite(report.data(), 1, report.size(), stderr);
    return yes_no ? kBoxResultNo : kBoxResultOk;
}

}  // namespace quendrel
