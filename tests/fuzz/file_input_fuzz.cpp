// Feeds arbitrary file contents to INPUT # of strings and numbers (and LINE
// INPUT #, INPUT$): nothing may crash, and the position must never pass the
// end of the file.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "runtime/console/input_types.h"
#include "runtime/files/file_system.h"
#include "runtime/files/text_files.h"
#include "support/test_platform.h"

namespace quendrel {
namespace {

class NoScreen : public ScreenDevice {
public:
    void print(StringDescriptor*, bool) override {}
};
class NoKeys : public KeySource {
public:
    explicit NoKeys(StringHeap& heap) : heap_(heap) {}
    StringDescriptor* poll_key() override { return heap_.string_new(0, true); }

private:
    StringHeap& heap_;
};

constexpr int32_t kTypes[] = {kTypeInt8,  kTypeUInt8,  kTypeInt16,  kTypeUInt16,
                              kTypeInt32, kTypeUInt32, kTypeInt64,  kTypeUInt64,
                              kTypeSingle, kTypeDouble, kTypeExtended};

struct World {
    TestPlatform platform;
    RunState run;
    RuntimeErrors errors{run, platform};
    EmulatedMemory memory;
    StringHeap heap{errors, memory};
    FileSystem files{errors, heap};
    NoScreen screen;
    NoKeys keys{heap};
    TextFiles text{files, screen, keys};
    StringDescriptor* variable = heap.string_new(0, false);
    StringDescriptor* name = nullptr;
    std::string path;

    World() {
        // Memory-backed when the machine has it: the file is rewritten per run.
        char pattern[] = "/dev/shm/quendrel-fuzz-XXXXXX";
        char fallback[] = "/tmp/quendrel-fuzz-XXXXXX";
        char* folder = mkdtemp(pattern);
        if (!folder) folder = mkdtemp(fallback);
        if (!folder) abort();
        path = std::string(folder) + "/field.txt";
    }
};

World& world() {
    static World* w = nullptr;
    if (!w) {
        w = new World;
        std::atexit([] {
            std::string folder = world().path.substr(0, world().path.rfind('/'));
            unlink(world().path.c_str());
            rmdir(folder.c_str());
        });
    }
    return *w;
}

}  // namespace
}  // namespace quendrel

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quendrel;
    World& w = world();
    // The first bytes choose the statements, the rest is the file.
    size_t choices = size < 8 ? size : 8;
    FILE* out = std::fopen(w.path.c_str(), "wb");
    if (!out) abort();
    if (size > choices) std::fwrite(data + choices, 1, size - choices, out);
    std::fclose(out);
    int64_t length = int64_t(size - choices);

    uint32_t mark = w.heap.temp_count();
    w.files.file_open(w.heap.string_from_text(w.path.c_str()), kOpenInput, kAccessNone, kLockNone,
                      1, -1, false);
    if (w.run.pending_error.exchange(0) != 0) abort();
    int32_t handle = w.files.handle_of(1);

    for (int step = 0; step < 128; ++step) {
        uint8_t choice = choices ? data[size_t(step) % choices] : 0;
        uint8_t value[32];
        switch (choice % 16) {
        case 0: case 1: case 2:
            w.text.file_input_string(1, w.variable);
            break;
        case 3:
            w.text.file_line_input(1, w.variable);
            break;
        case 4:
            w.heap.free_if_temporary(w.text.input_chars(1 + choice / 16, 1, true));
            break;
        default:
            w.text.file_input_number(1, kTypes[(choice / 16 + choice) % 11], value);
            break;
        }
        int64_t position = w.files.handles().handle_position(handle);
        if (position < 0 || position > length) __builtin_trap();
        int32_t error = w.run.pending_error.exchange(0);
        if (error != 0 && error != 6 && error != 62) __builtin_trap();
        if (error == 62) break;
        w.heap.temp_cleanup(mark, 0);
    }
    w.files.close_all();
    w.heap.temp_cleanup(mark, 0);
    return 0;
}
