// Statement-shaped string work on the runtime's heap beside the same work
// written plainly with std::string.
#include <benchmark/benchmark.h>

#include <string>

#include "runtime/strings/string_heap.h"
#include "support/test_platform.h"

namespace quendrel {
namespace {

constexpr char kPlace[] = "the forward galley of the night flight";
constexpr char kSuffix[] = " -- where the steward was last seen";
constexpr char kShort[] = "galley";

void BM_StatementStrings(benchmark::State& state) {
    TestPlatform platform;
    RunState run;
    RuntimeErrors errors(run, platform);
    EmulatedMemory memory;
    StringHeap heap(errors, memory);
    const uint32_t mark = heap.temp_count();

    StringDescriptor* place = heap.string_new(0, false);
    StringDescriptor* line = heap.string_new(0, false);
    StringDescriptor* word = heap.string_new(0, false);
    heap.string_assign(place, heap.string_literal(kPlace, sizeof kPlace - 1));
    heap.temp_cleanup(mark, 0);

    for (auto _ : state) {
        // line = place + " -- where ..."
        heap.string_assign(line, heap.string_concat(place, heap.string_literal(kSuffix, sizeof kSuffix - 1)));
        heap.temp_cleanup(mark, 0);
        // word = line, then shortened: word = "galley"
        heap.string_assign(word, line);
        heap.string_assign(word, heap.string_literal(kShort, sizeof kShort - 1));
        heap.temp_cleanup(mark, 0);
        benchmark::DoNotOptimize(line->text);
        benchmark::DoNotOptimize(word->text);
    }
}
BENCHMARK(BM_StatementStrings);

void BM_StdStringReference(benchmark::State& state) {
    std::string place = kPlace, line, word;
    for (auto _ : state) {
        line = place + kSuffix;
        word = line;
        word = kShort;
        benchmark::DoNotOptimize(line.data());
        benchmark::DoNotOptimize(word.data());
    }
}
BENCHMARK(BM_StdStringReference);

}  // namespace
}  // namespace quendrel

BENCHMARK_MAIN();
