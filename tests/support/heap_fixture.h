// A fresh string heap with its collaborators, for tests of string operations.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "runtime/strings/string_heap.h"
#include "support/test_platform.h"

namespace quendrel {

class HeapFixture : public ::testing::Test {
protected:
    TestPlatform platform;
    RunState run;
    RuntimeErrors errors{run, platform};
    EmulatedMemory memory;
    StringHeap heap{errors, memory};

    static std::string text(const StringDescriptor* d) {
        return std::string(reinterpret_cast<const char*>(d->text), size_t(d->length));
    }
    StringDescriptor* literal(const char* s) { return heap.string_from_text(s); }
    // A variable holding s, as generated code makes one.
    StringDescriptor* variable(const char* s) {
        StringDescriptor* v = heap.string_new(0, false);
        heap.string_assign(v, literal(s));
        return v;
    }
    // A heap temporary holding s.
    StringDescriptor* temporary(const char* s) {
        std::string t = s;
        StringDescriptor* d = heap.string_new(uint32_t(t.size()), true);
        for (size_t i = 0; i < t.size(); ++i) d->text[i] = uint8_t(t[i]);
        return d;
    }
    uint32_t offset(const StringDescriptor* d) const { return uint32_t(d->text - heap.base()); }
};

}  // namespace quendrel
