// Strings of every ownership kind, for tests of the operations that take them.
#pragma once

#include <cstring>
#include <deque>
#include <string>

#include "support/heap_fixture.h"

namespace quendrel {

enum class Kind { PlainTemporary, Variable, Literal, Fixed, SegmentTemporary };

inline const char* kind_name(Kind k) {
    switch (k) {
        case Kind::PlainTemporary: return "PlainTemporary";
        case Kind::Variable: return "Variable";
        case Kind::Literal: return "Literal";
        case Kind::Fixed: return "Fixed";
        case Kind::SegmentTemporary: return "SegmentTemporary";
    }
    return "?";
}

// Temporaries of other kinds than plain are consumed when copied.
inline bool consumed_when_copied(Kind k) {
    return k == Kind::Literal || k == Kind::SegmentTemporary;
}

class StringsFixture : public HeapFixture {
protected:
    void SetUp() override {
        heap.reset_segment();
        heap.create_permanent_strings();
    }

    StringDescriptor* make(Kind kind, const std::string& s) {
        switch (kind) {
            case Kind::PlainTemporary: return temporary(s.c_str());
            case Kind::Variable: return variable(s.c_str());
            case Kind::Literal: return literal(keep(s).c_str());
            case Kind::Fixed: {
                std::string& storage = keep(s);
                return heap.string_fixed(reinterpret_cast<uint8_t*>(storage.data()),
                                         uint32_t(storage.size()));
            }
            case Kind::SegmentTemporary: {
                StringDescriptor* d = heap.segment_string_new(uint32_t(s.size()), true);
                if (!s.empty()) std::memcpy(d->text, s.data(), s.size());
                return d;
            }
        }
        return nullptr;
    }

    // Freed descriptors go on a stack and are handed out again first, so
    // the next new string reuses d exactly when d was freed. Call last.
    bool was_freed(StringDescriptor* d) { return heap.string_new(0, true) == d; }

    int32_t pending_error() const { return run.pending_error.load(); }

private:
    // Storage that outlives the descriptors pointing into it.
    std::string& keep(const std::string& s) { return storage_.emplace_back(s); }
    std::deque<std::string> storage_;
};

}  // namespace quendrel
