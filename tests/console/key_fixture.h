// A key layer on the test platform, fresh for every test, with helpers that
// read the keyboard buffer the way a program does.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "runtime/console/key_codes.h"
#include "runtime/console/key_layer.h"
#include "runtime/console/key_traps.h"
#include "runtime/strings/string_heap.h"
#include "support/test_platform.h"

namespace quendrel {

class KeyTest : public ::testing::Test {
protected:
    KeyTest() { keys.start_up(LockKeyStates{}); }

    // poll_key as text, its temporary freed.
    std::string poll() {
        StringDescriptor* s = keys.poll_key();
        std::string out(reinterpret_cast<const char*>(s->text), size_t(s->length));
        strings.string_free(s);
        return out;
    }

    // Every (character, scan) pair waiting in the buffer, taken out.
    std::vector<std::pair<int, int>> take_pairs() {
        std::vector<std::pair<int, int>> out;
        for (;;) {
            uint8_t head = memory.read8(KeyLayer::kBufferHead);
            if (head == memory.read8(KeyLayer::kBufferTail)) return out;
            out.emplace_back(memory.read8(0x400 + head), memory.read8(0x401 + head));
            poll();
        }
    }

    std::vector<int32_t> take_hits() {
        std::vector<int32_t> out;
        while (int32_t code = keys.key_hit()) out.push_back(code);
        return out;
    }

    void tap(int32_t code) {
        keys.key_down(code);
        keys.key_up(code);
    }

    StringDescriptor* temp_text(const std::string& text) {
        StringDescriptor* s = strings.string_new(uint32_t(text.size()), true);
        std::memcpy(s->text, text.data(), text.size());
        return s;
    }

    int32_t error() const { return run.pending_error.load(); }
    void clear_error() {
        run.pending_error.store(0);
        run.pending_event.store(0);
    }

    TestPlatform platform;
    RunState run;
    RuntimeErrors errors{run, platform};
    EmulatedMemory memory;
    StringHeap strings{errors, memory};
    KeyTrapTable traps{errors, strings};
    KeyLayer keys{errors, platform, memory, strings, traps};
};

}  // namespace quendrel
