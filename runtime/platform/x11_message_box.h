// The host's modal message box. Linux has none of its own, so this is a small
// X11 dialog built with Xlib alone. Each call opens and closes its own display
// connection, so a box can be shown from any thread while the window keeps
// running on its own connection.
#pragma once

#include <cstdint>
#include <string>

namespace quendrel {

// Shows the box and waits for the answer: kBoxResultOk, kBoxResultYes or
// kBoxResultNo (style kBoxOk or kBoxYesNo, optionally with kBoxSystemModal).
// Returns -1 when no display can be opened, showing nothing.
int x11_message_box(const std::string& text, const std::string& caption, uint32_t style);

// The box as above; with no display, caption and text go to stderr and the
// answer is OK, or No for a Yes/No box.
int message_box_or_stderr(const std::string& text, const std::string& caption, uint32_t style);

}  // namespace quendrel
