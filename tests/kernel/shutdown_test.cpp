// The threads of a whole run, in a child process: a stop request reaches the
// program thread at its checkpoint and the frame thread ends the process.
#include <gtest/gtest.h>

#include "runtime/runtime.h"
#include "support/test_platform.h"

namespace quendrel {
namespace {

std::atomic<int> statements{0};

void looping_program(Runtime& rt) {
    for (int line = 1;; line = line % 100 + 1) {
        statements++;
        if (rt.run.pending_event.load()) rt.errors.statement_checkpoint(line);
        rt.platform.sleep_ms(1);
    }
}

void run_until(void (*request)(Runtime&)) {
    static TestPlatform platform;
    static Runtime rt(platform);
    const char* args[] = {"quendrel"};
    rt.start_up(1, args);
    bool closed = false;
    rt.threads.set_close_files([&closed] { closed = true; });
    rt.start_threads(looping_program);
    while (statements.load() < 20) platform.sleep_ms(1);
    request(rt);
    for (;;) platform.sleep_ms(10);
}

TEST(ShutdownDeathTest, WindowCloseRequestEndsTheRunWithStatusZero) {
    EXPECT_EXIT(run_until([](Runtime& rt) { rt.run.exit_requests.fetch_or(1); }),
                ::testing::ExitedWithCode(0), "");
}

TEST(ShutdownDeathTest, StopProgramEndsTheRunWithStatusZero) {
    EXPECT_EXIT(run_until([](Runtime& rt) { rt.run.stop_program.store(1); }),
                ::testing::ExitedWithCode(0), "");
}

TEST(ShutdownDeathTest, ShutdownWaitsForTheProgramThreadAndClosesFiles) {
    EXPECT_EXIT(
        {
            static TestPlatform platform;
            static Runtime rt(platform);
            const char* args[] = {"quendrel"};
            rt.start_up(1, args);
            rt.threads.set_close_files([] {
                // Reached only after both threads reported halted.
                if (rt.run.stopped_threads.load() == 3) std::fputs("files closed\n", stderr);
            });
            rt.start_threads(looping_program);
            while (statements.load() < 5) platform.sleep_ms(1);
            rt.run.exit_requests.fetch_or(1);
            for (;;) platform.sleep_ms(10);
        },
        ::testing::ExitedWithCode(0), "files closed");
}

TEST(FrameThreadTest, TickCountCountsFromMidnight) {
    TestPlatform platform;
    RunState run;
    EmulatedMemory memory;
    RuntimeErrors errors(run, platform);
    TimerTable timers(run);
    KernelThreads threads(run, platform, memory, errors, timers);
    platform.set_clock_ms(run.clock_base_ms = 0);
    run.midnight_base_ms = 3600 * 1000;  // one o'clock
    threads.update_tick_count();
    uint32_t ticks = memory.read8(0x46C) | memory.read8(0x46D) << 8 | memory.read8(0x46E) << 16;
    EXPECT_EQ(ticks, uint32_t(3600000 * 0.0182));
}

}  // namespace
}  // namespace quendrel
