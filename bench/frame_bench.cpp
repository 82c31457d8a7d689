// Frame builder costs beside the copy of one frame's bytes, which is the
// floor for drawing a whole frame.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "runtime/console/screen.h"
#include "runtime/display/display_order.h"
#include "runtime/display/frame_builder.h"
#include "support/test_platform.h"

namespace quendrel {
namespace {

struct TextScene {
    TextScene() {
        tables.init_display_tables();
        screen.start_up();
        ScreenImage& page = *screen.display_page();
        // Mixed text in all colours, every background, no blinking.
        for (uint32_t i = 0; i < 80u * 25u; ++i) {
            uint8_t c = uint8_t(32 + (i * 7) % 95);
            uint8_t a = uint8_t((i % 15 + 1) | ((i / 80) % 8) << 4);
            store_cell(page, i, text_cell(c, a));
        }
        builder.build_frame();
    }
    // One attempt, then the presenter's hand-over so the ring keeps moving.
    void attempt() {
        builder.build_frame();
        ring.promote_newest();
    }

    TestPlatform platform;
    RunState run;
    RuntimeErrors errors{run, platform};
    EmulatedMemory memory;
    DisplayTables tables;
    DisplayState display;
    Screen screen{errors, platform, memory, tables, display};
    FrameRing ring;
    DisplayOrder order{errors};
    MessageBoxes boxes{platform};
    FrameBuilder builder{screen, tables, display, ring, order, boxes, platform};
};

void BM_FullTextFrame(benchmark::State& state) {
    TextScene scene;
    for (auto _ : state) {
        scene.display.invalidate_previous_frame();
        scene.attempt();
    }
}
BENCHMARK(BM_FullTextFrame);

void BM_OneCellTextFrame(benchmark::State& state) {
    TextScene scene;
    ScreenImage& page = *scene.screen.display_page();
    uint8_t c = 'A';
    for (auto _ : state) {
        c = c == 'A' ? 'B' : 'A';
        store_cell(page, 1000, text_cell(c, 0x1E));
        scene.attempt();
    }
}
BENCHMARK(BM_OneCellTextFrame);

void BM_UnchangedTextFrame(benchmark::State& state) {
    TextScene scene;
    for (auto _ : state) scene.attempt();
}
BENCHMARK(BM_UnchangedTextFrame);

void BM_FrameCopyReference(benchmark::State& state) {
    std::vector<uint32_t> from(640 * 400, 0xFF0000AA), to(640 * 400);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size() * 4);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FrameCopyReference);

}  // namespace
}  // namespace quendrel

BENCHMARK_MAIN();
