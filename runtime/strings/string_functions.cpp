#include "runtime/strings/string_functions.h"

#include <algorithm>
#include <cstring>

namespace quendrel {

namespace {

constexpr int32_t kIllegalFunctionCall = 5;
constexpr uint8_t kSpace = 32;

int64_t clamp_length(int64_t n, int64_t length) { return std::clamp<int64_t>(n, 0, length); }

}  // namespace

StringDescriptor* StringFunctions::substring(StringDescriptor* s, int32_t offset, int32_t count) {
    if (offset == 0 && count == s->length) return s;
    if (StringHeap::is_plain_temporary(s)) {
        s->text += offset;
        s->length = count;
        return s;
    }
    StringDescriptor* r = heap_.string_new(uint32_t(count), true);
    // The heap may have moved s's text while making room.
    if (count > 0) std::memcpy(r->text, s->text + offset, size_t(count));
    heap_.free_if_temporary(s);
    return r;
}

StringDescriptor* StringFunctions::change_case(StringDescriptor* s, uint8_t from, uint8_t to,
                                               bool) {
    if (s->length == 0) return s;
    StringDescriptor* r = s;
    if (!StringHeap::is_plain_temporary(s)) r = heap_.string_new(uint32_t(s->length), true);
    // One unconditional pass (letters differ from their other case by bit
    // 0x20), written so the compiler can vectorise it; reads s->text only
    // now, since string_new may have moved it.
    const uint8_t* in = s->text;
    uint8_t* out = r->text;
    const uint8_t span = uint8_t(to - from);
    const int32_t length = r->length;  // held apart: `out` could alias the descriptor
    for (int32_t i = 0; i < length; ++i) {
        const uint8_t c = in[i];
        out[i] = uint8_t(c ^ (uint8_t(c - from) <= span ? 0x20 : 0));
    }
    if (r != s) heap_.free_if_temporary(s);
    return r;
}

StringDescriptor* StringFunctions::upper_case(StringDescriptor* s) {
    return change_case(s, 'a', 'z', false);
}

StringDescriptor* StringFunctions::lower_case(StringDescriptor* s) {
    return change_case(s, 'A', 'Z', true);
}

StringDescriptor* StringFunctions::trim_left(StringDescriptor* s) {
    int32_t n = 0;
    while (n < s->length && s->text[n] == kSpace) ++n;
    return substring(s, n, s->length - n);
}

StringDescriptor* StringFunctions::trim_right(StringDescriptor* s) {
    int32_t n = s->length;
    while (n > 0 && s->text[n - 1] == kSpace) --n;
    return substring(s, 0, n);
}

StringDescriptor* StringFunctions::left_string(StringDescriptor* s, int32_t n) {
    return substring(s, 0, int32_t(clamp_length(n, s->length)));
}

StringDescriptor* StringFunctions::right_string(StringDescriptor* s, int32_t n) {
    const int32_t count = int32_t(clamp_length(n, s->length));
    return substring(s, s->length - count, count);
}

StringDescriptor* StringFunctions::mid_string(StringDescriptor* s, int32_t start, int32_t length) {
    int64_t first = start, count = length;
    if (first <= 0) {
        count -= 1 - first;
        first = 1;
    }
    if (count <= 0 || first > s->length) return substring(s, 0, 0);
    count = std::min<int64_t>(count, s->length - first + 1);
    return substring(s, int32_t(first - 1), int32_t(count));
}

StringDescriptor* StringFunctions::mid_string(StringDescriptor* s, int32_t start) {
    const int64_t first = std::max<int64_t>(start, 1);
    if (first > s->length) return substring(s, 0, 0);
    return substring(s, int32_t(first - 1), int32_t(s->length - first + 1));
}

StringDescriptor* StringFunctions::char_string(int32_t code) {
    if (errors_.pending()) return heap_.string_new(0, true);
    if (code < 0 || code > 255) {
        errors_.raise_error(kIllegalFunctionCall);
        return heap_.string_new(0, true);
    }
    StringDescriptor* r = heap_.string_new(1, true);
    r->text[0] = uint8_t(code);
    return r;
}

StringDescriptor* StringFunctions::repeat_char(int32_t n, uint8_t code) {
    const int32_t count = std::max(n, 0);
    StringDescriptor* r = heap_.string_new(uint32_t(count), true);
    if (count > 0) std::memset(r->text, code, size_t(count));
    return r;
}

StringDescriptor* StringFunctions::space_string(int32_t n) { return repeat_char(n, kSpace); }

int32_t StringFunctions::char_code(StringDescriptor* s) { return char_code(s, 1); }

int32_t StringFunctions::char_code(StringDescriptor* s, int32_t position) {
    if (errors_.pending()) return 0;
    if (position < 1 || position > s->length) {
        errors_.raise_error(kIllegalFunctionCall);
        return 0;
    }
    return s->text[position - 1];
}

int32_t StringFunctions::instr_search(int32_t start, StringDescriptor* s, StringDescriptor* pattern,
                                      int32_t start_given) {
    int64_t from = start_given ? start : 1;
    const int64_t length = s->length, plength = pattern->length;
    if (length == 0) return 0;
    if (from <= 0) {
        if (plength == 0) return 0;
        from = 1;
    }
    if (from > length) return 0;
    if (plength == 0) return int32_t(from);
    if (from + plength - 1 > length) return 0;

    const uint8_t* text = s->text;
    const uint8_t* pat = pattern->text;
    // Only positions where the whole pattern still fits can match.
    const uint8_t* p = text + (from - 1);
    const uint8_t* last = text + (length - plength);
    while (p <= last) {
        p = static_cast<const uint8_t*>(std::memchr(p, pat[0], size_t(last - p + 1)));
        if (!p) return 0;
        if (std::memcmp(p + 1, pat + 1, size_t(plength - 1)) == 0) return int32_t(p - text + 1);
        ++p;
    }
    return 0;
}

int StringFunctions::compare(const StringDescriptor* a, const StringDescriptor* b) {
    const int32_t common = std::min(a->length, b->length);
    if (common > 0) {
        const int c = std::memcmp(a->text, b->text, size_t(common));
        if (c != 0) return c;
    }
    return (a->length > b->length) - (a->length < b->length);
}

int32_t StringFunctions::string_equal(const StringDescriptor* a, const StringDescriptor* b) const {
    if (a->length != b->length) return 0;
    return compare(a, b) == 0 ? -1 : 0;
}

int32_t StringFunctions::string_not_equal(const StringDescriptor* a,
                                          const StringDescriptor* b) const {
    return string_equal(a, b) ? 0 : -1;
}

int32_t StringFunctions::string_less(const StringDescriptor* a, const StringDescriptor* b) const {
    return compare(a, b) < 0 ? -1 : 0;
}

int32_t StringFunctions::string_greater(const StringDescriptor* a,
                                        const StringDescriptor* b) const {
    return compare(a, b) > 0 ? -1 : 0;
}

int32_t StringFunctions::string_less_equal(const StringDescriptor* a,
                                           const StringDescriptor* b) const {
    return compare(a, b) <= 0 ? -1 : 0;
}

int32_t StringFunctions::string_greater_equal(const StringDescriptor* a,
                                              const StringDescriptor* b) const {
    return compare(a, b) >= 0 ? -1 : 0;
}

bool StringFunctions::writable(const StringDescriptor* target) const {
    // Constant text and the two shared start-up strings must never change
    // under a program's feet.
    return !target->readonly && target != heap_.empty_string() &&
           target != heap_.space_string_1();
}

void StringFunctions::mid_assign(StringDescriptor* target, int32_t start, StringDescriptor* source,
                                 int32_t length, int32_t length_given) {
    if (errors_.pending() || !writable(target)) return;
    int64_t first = start, count = length_given ? length : source->length, skip = 0;
    if (first <= 0) {
        skip = 1 - first;
        count -= skip;
        first = 1;
    }
    count = std::min<int64_t>(count, int64_t(target->length) - (first - 1));
    count = std::min<int64_t>(count, int64_t(source->length) - skip);
    if (count > 0) std::memmove(target->text + (first - 1), source->text + skip, size_t(count));
    if (source != target) heap_.free_if_temporary(source);
}

void StringFunctions::left_set(StringDescriptor* target, StringDescriptor* source) {
    if (!writable(target)) return;
    const int32_t n = std::min(target->length, source->length);
    if (n > 0) std::memmove(target->text, source->text, size_t(n));
    if (target->length > n) std::memset(target->text + n, kSpace, size_t(target->length - n));
    if (source != target) heap_.free_if_temporary(source);
}

void StringFunctions::right_set(StringDescriptor* target, StringDescriptor* source) {
    if (!writable(target)) return;
    const int32_t n = std::min(target->length, source->length);
    const int32_t pad = target->length - n;
    // Move first: the spaces may overwrite where a shared source starts.
    if (n > 0) std::memmove(target->text + pad, source->text, size_t(n));
    if (pad > 0) std::memset(target->text, kSpace, size_t(pad));
    if (source != target) heap_.free_if_temporary(source);
}

}  // namespace quendrel
