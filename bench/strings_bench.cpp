// Statement-shaped string work on the runtime's heap beside the same work
// written plainly with std::string.
#include <benchmark/benchmark.h>

#include <string>

#include <algorithm>
#include <cctype>

#include "runtime/strings/string_functions.h"
#include "runtime/strings/string_heap.h"
#include "support/test_platform.h"

namespace quendrel {
namespace {

constexpr char kPlace[] = "the forward galley of the night flight";
constexpr char kSuffix[] = " -- where the steward was last seen";
constexpr char kShort[] = "galley";
constexpr char kTyped[] = "  look around ";
constexpr char kWord[] = "LOOK AROUND";

void BM_StatementStrings(benchmark::State& state) {
    TestPlatform platform;
    RunState run;
    RuntimeErrors errors(run, platform);
    EmulatedMemory memory;
    StringHeap heap(errors, memory);
    StringFunctions fn(heap, errors);
    const uint32_t mark = heap.temp_count();

    StringDescriptor* place = heap.string_new(0, false);
    StringDescriptor* line = heap.string_new(0, false);
    StringDescriptor* word = heap.string_new(0, false);
    StringDescriptor* typed = heap.string_new(0, false);
    StringDescriptor* command = heap.string_new(0, false);
    heap.string_assign(place, heap.string_literal(kPlace, sizeof kPlace - 1));
    heap.string_assign(typed, heap.string_literal(kTyped, sizeof kTyped - 1));
    heap.temp_cleanup(mark, 0);
    int32_t matched = 0;

    for (auto _ : state) {
        // line = place + " -- where ..."
        heap.string_assign(line, heap.string_concat(place, heap.string_literal(kSuffix, sizeof kSuffix - 1)));
        heap.temp_cleanup(mark, 0);
        // word = line, then shortened: word = "galley"
        heap.string_assign(word, line);
        heap.string_assign(word, heap.string_literal(kShort, sizeof kShort - 1));
        heap.temp_cleanup(mark, 0);
        // command = LTRIM$(RTRIM$(UCASE$(typed))): IF command = "LOOK AROUND" ...
        heap.string_assign(command, fn.trim_left(fn.trim_right(fn.upper_case(typed))));
        heap.temp_cleanup(mark, 0);
        matched += heap.temp_cleanup(mark, fn.string_equal(command, heap.string_literal(kWord, sizeof kWord - 1)));
        benchmark::DoNotOptimize(line->text);
        benchmark::DoNotOptimize(word->text);
        benchmark::DoNotOptimize(matched);
    }
}
BENCHMARK(BM_StatementStrings);

void BM_StdStringReference(benchmark::State& state) {
    std::string place = kPlace, line, word, typed = kTyped, command;
    int32_t matched = 0;
    for (auto _ : state) {
        line = place + kSuffix;
        word = line;
        word = kShort;
        std::string upper = typed;
        for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
        size_t first = upper.find_first_not_of(' ');
        size_t last = upper.find_last_not_of(' ');
        command = first == std::string::npos ? std::string() : upper.substr(first, last - first + 1);
        matched += command == kWord ? -1 : 0;
        benchmark::DoNotOptimize(line.data());
        benchmark::DoNotOptimize(word.data());
        benchmark::DoNotOptimize(matched);
    }
}
BENCHMARK(BM_StdStringReference);

}  // namespace
}  // namespace quendrel

BENCHMARK_MAIN();
