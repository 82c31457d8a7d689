// The font statement: a built-in font for an image, or for all screen
// pages at once.
#pragma once

#include <cstdint>

#include "runtime/console/screen.h"
#include "runtime/display/display_state.h"
#include "runtime/display/display_tables.h"
#include "runtime/kernel/runtime_errors.h"

namespace quendrel {

class FontSelector {
public:
    FontSelector(RuntimeErrors& errors, const DisplayTables& tables, Screen& screen,
                 DisplayState& display)
        : errors_(errors), tables_(tables), screen_(screen), display_(display) {}

    void select_font(uint32_t font, int32_t target, bool target_given);

private:
    RuntimeErrors& errors_;
    const DisplayTables& tables_;
    Screen& screen_;
    DisplayState& display_;
};

}  // namespace quendrel
