// The runtime's own message boxes. They all go through show_message so that
// a test platform sees every one of them.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/platform/platform.h"

namespace quendrel {

class MessageBoxes {
public:
    explicit MessageBoxes(Platform& platform) : platform_(platform) {}

    int show_message(const std::string& text, const std::string& caption, uint32_t style) {
        return platform_.message_box(text, caption, style);
    }
    void alert_box(const std::string& text) { show_message(text, "Alert", kBoxOk); }
    void alert_number(int64_t n) { alert_box(std::to_string(n)); }

private:
    Platform& platform_;
};

}  // namespace quendrel
