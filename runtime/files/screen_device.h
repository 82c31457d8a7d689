// Where PRINT # to a file opened as "SCRN:" goes. The runtime connects it
// to text output.
#pragma once

#include "runtime/strings/string_heap.h"

namespace quendrel {

class ScreenDevice {
public:
    virtual ~ScreenDevice() = default;
    // Prints the string at the cursor, with a line end when asked; the
    // string is not consumed.
    virtual void print(StringDescriptor* text, bool line_end) = 0;
};

}  // namespace quendrel
