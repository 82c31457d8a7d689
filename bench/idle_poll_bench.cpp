// Idle cost of a program waiting for a key in a poll_key loop, as the
// adventure's press-any-key screens do: process CPU time over a stretch of
// wall time, as a percentage of one core.
//
// The reference loop is a poll that only yields the processor each call
// (what poll_key did before its idle back-off), measured in the same run.
//
//   idle_poll_bench [seconds per loop, default 5]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "runtime/console/key_layer.h"
#include "runtime/console/key_traps.h"
#include "runtime/platform/host_platform.h"

namespace quendrel {
namespace {

double process_cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Result {
    double cpu_percent;
    long polls;
};

Result measure(double seconds, const std::function<void()>& poll_once) {
    using Clock = std::chrono::steady_clock;
    double cpu_start = process_cpu_seconds();
    auto start = Clock::now();
    auto end = start + std::chrono::duration<double>(seconds);
    long polls = 0;
    Clock::time_point now;
    do {
        for (int i = 0; i < 16; ++i, ++polls) poll_once();
        now = Clock::now();
    } while (now < end);
    double wall = std::chrono::duration<double>(now - start).count();
    return {100.0 * (process_cpu_seconds() - cpu_start) / wall, polls};
}

}  // namespace
}  // namespace quendrel

int main(int argc, char** argv) {
    using namespace quendrel;
    double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;

    HostPlatform platform;
    RunState run;
    RuntimeErrors errors(run, platform);
    EmulatedMemory memory;
    StringHeap strings(errors, memory);
    KeyTrapTable traps(errors, strings);
    KeyLayer keys(errors, platform, memory, strings, traps);
    keys.start_up(LockKeyStates{});

    Result reference = measure(seconds, [&] {
        platform.yield();
        bool empty = memory.load16(KeyLayer::kBufferHead) == memory.load16(KeyLayer::kBufferTail);
        strings.string_free(strings.string_new(empty ? 0 : 1, true));
    });
    Result polling = measure(seconds, [&] { strings.string_free(keys.poll_key()); });
    Result floor = measure(seconds, [&] { platform.sleep_ms(1); });

    std::printf("idle poll loop over %.1f s, process CPU as %% of one core\n", seconds);
    std::printf("  yield on every poll (reference): %6.2f %%  (%ld polls)\n",
                reference.cpu_percent, reference.polls);
    std::printf("  poll_key:                        %6.2f %%  (%ld polls)\n",
                polling.cpu_percent, polling.polls);
    std::printf("  bare 1 ms sleep loop (the floor): %6.2f %%  (%ld sleeps)\n", floor.cpu_percent,
                floor.polls);
    std::printf("  target for poll_key: at most 1 %%\n");
    return 0;
}
