// The keyboard as INPUT$ without a file reads it. The runtime connects it
// to the key buffer.
#pragma once

#include "runtime/strings/string_heap.h"

namespace quendrel {

class KeySource {
public:
    virtual ~KeySource() = default;
    // The next key: one character, two for extended keys, empty when none
    // waits. A temporary result is the caller's to free.
    virtual StringDescriptor* poll_key() = 0;
};

}  // namespace quendrel
