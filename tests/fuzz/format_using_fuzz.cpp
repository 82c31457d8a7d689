// libFuzzer target for the template walk: the input gives the value's type,
// its bytes, the number of values in the statement and the template text.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "runtime/kernel/runtime_errors.h"
#include "runtime/strings/format_using.h"
#include "runtime/strings/string_heap.h"
#include "support/test_platform.h"

namespace {

using namespace quendrel;

struct Engine {
    TestPlatform platform;
    RunState run;
    RuntimeErrors errors{run, platform};
    EmulatedMemory memory;
    StringHeap heap{errors, memory};
    FormatUsing engine{heap, errors};
};

constexpr size_t kHeader = 2 + 16;  // kind, value count, value bytes

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Engine* e = new Engine;  // one engine for the run, as in a program
    if (size < kHeader) return 0;
    const int kind = data[0] % 6;
    const int values = 1 + data[1] % 4;
    const uint8_t* raw = data + 2;

    e->run.pending_error = 0;
    const uint32_t mark = e->heap.temp_count();
    StringDescriptor* tmpl = e->heap.string_new(uint32_t(size - kHeader), false);
    std::memcpy(tmpl->text, data + kHeader, size - kHeader);
    StringDescriptor* output = e->heap.string_new(0, false);

    int32_t position = 0;
    for (int i = 0; i < values && !e->errors.pending(); ++i) {
        switch (kind) {
            case 0: {
                int64_t v;
                std::memcpy(&v, raw, sizeof v);
                position = e->engine.format_using_int64(tmpl, v, position, output);
                break;
            }
            case 1: {
                uint64_t v;
                std::memcpy(&v, raw, sizeof v);
                position = e->engine.format_using_uint64(tmpl, v, position, output);
                break;
            }
            case 2: {
                float v;
                std::memcpy(&v, raw, sizeof v);
                position = e->engine.format_using_single(tmpl, v, position, output);
                break;
            }
            case 3: {
                double v;
                std::memcpy(&v, raw, sizeof v);
                position = e->engine.format_using_double(tmpl, v, position, output);
                break;
            }
            case 4: {
                long double v = 0;
                std::memcpy(&v, raw, 10);
                position = e->engine.format_using_extended(tmpl, v, position, output);
                break;
            }
            default: {
                StringDescriptor* s = e->heap.string_new(raw[0] % 16, true);
                std::memcpy(s->text, raw + 1, size_t(s->length));
                position = e->engine.format_using(tmpl, position, output, s);
            }
        }
        if (position < 0 || position > tmpl->length) std::abort();
    }
    e->heap.temp_cleanup(mark, 0);
    e->heap.string_free(output);
    e->heap.string_free(tmpl);
    return 0;
}
