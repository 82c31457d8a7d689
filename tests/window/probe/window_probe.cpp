// A small translated program for the window tests: shows the demo page in
// the real window, then echoes typed keys on row 20, waiting the way a
// program waiting for a key does.
//
// Test hooks, from the environment:
//   QUENDREL_FRAME_DUMP=path  after each shown page, the frame the builder
//                             made goes to path.N (N = 1, 2, ...): width
//                             and height as 32-bit words, then the pixels.
//   QUENDREL_PROBE_SLOW_MS=n  n ms between checkpoints while waiting; a
//                             close request, once seen, is logged to the
//                             key log ("close") n ms before the checkpoint
//                             that ends the run.
//   QUENDREL_PROBE_TITLE=text the program's first statement sets the title.
//   QUENDREL_KEY_LOG=path     every key_hit code ("hit N") and every
//                             poll_key result ("key" and its bytes) is
//                             written to path, a line each, as it is read.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/runtime.h"
#include "window/demo_page.h"

namespace quendrel {
namespace {

void dump_frame(Runtime& rt, const char* path, int sequence) {
    // Display is manual and only this thread builds, so the newest
    // picture's pixels stay as they are while they are written out.
    int i = rt.frame_ring.most_recent_picture();
    if (i < 0 || !path) return;
    const SoftwareFrame& f = rt.frame_ring.frame(i);
    std::string final_path = std::string(path) + "." + std::to_string(sequence);
    std::string temporary = final_path + ".tmp";
    FILE* out = std::fopen(temporary.c_str(), "wb");
    if (!out) return;
    int32_t size[2] = {f.width, f.height};
    std::fwrite(size, sizeof size, 1, out);
    std::fwrite(f.pixels.get(), 4, size_t(f.width) * size_t(f.height), out);
    std::fclose(out);
    std::rename(temporary.c_str(), final_path.c_str());
}

void probe_program(Runtime& rt) {
    if (const char* title = std::getenv("QUENDREL_PROBE_TITLE")) rt.window.set_window_title(title);
    const char* dump = std::getenv("QUENDREL_FRAME_DUMP");
    const char* slow = std::getenv("QUENDREL_PROBE_SLOW_MS");
    const uint32_t wait_ms = slow ? uint32_t(std::atoi(slow)) : 10;
    const char* key_log_path = std::getenv("QUENDREL_KEY_LOG");
    FILE* key_log = key_log_path ? std::fopen(key_log_path, "w") : nullptr;
    ScreenImage& page = *rt.screen.display_page();
    write_demo_page(page);
    rt.clock.display_frame();
    int sequence = 1;
    dump_frame(rt, dump, sequence);
    int column = 1;
    for (int line = 1;; ++line) {
        int32_t code = rt.keys.key_hit();
        if (key_log) {
            if (code != 0) std::fprintf(key_log, "hit %d\n", int(code));
            StringDescriptor* typed = rt.keys.poll_key();
            if (typed->length > 0) {
                std::fputs("key", key_log);
                for (int32_t i = 0; i < typed->length; ++i)
                    std::fprintf(key_log, " %d", int(static_cast<unsigned char>(typed->text[i])));
                std::fputc('\n', key_log);
            }
            rt.strings.string_free(typed);
            std::fflush(key_log);
        }
        if (code > 0 && code < 256 && column <= 80) {
            store_cell(page, uint32_t(19 * 80 + column - 1), text_cell(uint8_t(code), 0x0E));
            ++column;
            rt.clock.display_frame();
            dump_frame(rt, dump, ++sequence);
        }
        if (key_log && slow && (rt.run.exit_requests.load() & 1)) {
            std::fputs("close\n", key_log);
            std::fflush(key_log);
            rt.platform.sleep_ms(wait_ms);
        }
        if (rt.run.pending_event.load()) rt.errors.statement_checkpoint(line);
        rt.platform.sleep_ms(wait_ms);
    }
}

}  // namespace
}  // namespace quendrel

int main(int argc, char** argv) {
    return quendrel::runtime_main(argc, argv, quendrel::probe_program);
}
