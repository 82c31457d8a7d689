#include "runtime/kernel/runtime_errors.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "runtime/kernel/fpu.h"
#include "runtime/kernel/return_stack.h"
#include "support/test_platform.h"

namespace quendrel {
namespace {

struct ErrorsTest : ::testing::Test {
    TestPlatform platform;
    RunState run;
    RuntimeErrors errors{run, platform};
};

TEST_F(ErrorsTest, FirstErrorOfAStatementWins) {
    errors.raise_error(13);
    errors.raise_error(9);
    EXPECT_EQ(run.pending_error.load(), 13);
    EXPECT_EQ(run.pending_event.load(), 1);
}

TEST_F(ErrorsTest, ZeroAndNegativeCodesRecordIllegalFunctionCall) {
    for (int32_t code : {0, -1, -70000}) {
        run.pending_error = 0;
        errors.raise_error(code);
        EXPECT_EQ(run.pending_error.load(), 5) << code;
    }
}

TEST_F(ErrorsTest, CheckpointDialogTextAndCaption) {
    struct Case {
        int32_t code;
        int32_t line, include_line;
        const char* include_file;
        const char* text;
        const char* caption;
    } cases[] = {
        {5, 120, 0, nullptr, "Line: 120 (in main module)\nIllegal function call\nContinue?",
         "Unhandled Error #5"},
        {15, 7, 0, nullptr, "Line: 7 (in main module)\nUnprintable error\nContinue?",
         "Unhandled Error #15"},
        {53, 40, 12, "lib.bi", "Line: 12 (in lib.bi)\nFile not found\nContinue?",
         "Unhandled Error #53"},
    };
    for (const Case& c : cases) {
        platform.answer_next(kBoxResultYes);
        errors.raise_error(c.code);
        errors.statement_checkpoint(c.line, c.include_line, c.include_file);
        RecordedBox box = platform.boxes().back();
        EXPECT_EQ(box.text, c.text);
        EXPECT_EQ(box.caption, c.caption);
        EXPECT_EQ(box.style, 0x1004u);
        EXPECT_EQ(run.pending_error.load(), 0);  // Yes goes on
        EXPECT_EQ(run.pending_event.load(), 0);
        EXPECT_EQ(run.stop_program.load(), 0);
    }
}

TEST_F(ErrorsTest, CheckpointWithoutEventsReturnsAndClearsRepeat) {
    run.pending_event = 1;
    errors.repeat_request = 1;
    errors.statement_checkpoint(3);
    EXPECT_EQ(run.pending_event.load(), 0);
    EXPECT_EQ(errors.repeat_request, 0);
    EXPECT_TRUE(platform.boxes().empty());
}

TEST_F(ErrorsTest, CheckpointHoldsWhilePaused) {
    run.user_pause = 1;
    std::atomic<bool> returned{false};
    std::thread program([&] {
        errors.statement_checkpoint(10);
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned.load());
    run.user_pause = 0;
    program.join();
    EXPECT_TRUE(returned.load());
}

TEST_F(ErrorsTest, EventSourcesAreServedInOrderUntilNoneIsPending) {
    struct Source : EventSource {
        std::vector<int>* log;
        int id, pending;
        bool take_one() override {
            if (pending == 0) return false;
            --pending;
            log->push_back(id);
            return true;
        }
    };
    std::vector<int> log;
    Source timer, keys;
    timer.log = keys.log = &log;
    timer.id = 2, timer.pending = 1;
    keys.id = 1, keys.pending = 2;
    errors.set_event_source(RuntimeErrors::EventKind::Timer, &timer);
    errors.set_event_source(RuntimeErrors::EventKind::KeyTrap, &keys);
    errors.statement_checkpoint(1);
    EXPECT_EQ(log, (std::vector<int>{1, 1, 2}));
}

TEST_F(ErrorsTest, ArrayIndexCheckRaisesNineOutsideTheBounds) {
    // Lower bound 1, five elements: index − lower bound is passed.
    EXPECT_EQ(errors.array_index_check(4, 5), 4u);
    EXPECT_EQ(run.pending_error.load(), 0);
    EXPECT_EQ(errors.array_index_check(5, 5), 0u);  // one past the end
    EXPECT_EQ(run.pending_error.load(), 9);
    run.pending_error = 0;
    EXPECT_EQ(errors.array_index_check(uint64_t(int64_t(0) - 1), 5), 0u);  // lower bound − 1
    EXPECT_EQ(run.pending_error.load(), 9);
}

TEST_F(ErrorsTest, ReturnStackGrowsAndReportsReturnWithoutGosub) {
    ReturnStack stack(errors, 4);
    for (uint32_t i = 0; i < 9; ++i) stack.push(i);
    EXPECT_EQ(stack.capacity(), 16);
    for (uint32_t i = 9; i-- > 0;) EXPECT_EQ(stack.pop(), i);
    EXPECT_EQ(stack.pop(), 0u);
    EXPECT_EQ(run.pending_error.load(), 3);
}

using ErrorsDeathTest = ErrorsTest;

// A real trap, so the sanitizer must not catch the division first.
__attribute__((no_sanitize("integer-divide-by-zero"))) void divide_by_zero() {
    volatile int zero = 0;
    volatile int ten = 10;
    volatile int r = ten / zero;
    (void)r;
}

TEST_F(ErrorsDeathTest, NoStopsTheRun) {
    EXPECT_EXIT(
        {
            platform.answer_next(kBoxResultNo);
            run.stop_threads = 0;
            std::thread([&] {
                while (!run.stop_program.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                // The shutdown's side: the program thread has halted.
                while (!(run.stopped_threads.load() & 1)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                platform.exit_process(0);
            }).detach();
            errors.raise_error(5);
            errors.statement_checkpoint(2);
            std::_Exit(3);  // not reached: the checkpoint halts
        },
        ::testing::ExitedWithCode(0), "Unhandled Error #5");
}

TEST_F(ErrorsDeathTest, CriticalErrorsShowTheirBoxAndExitWithZero) {
    struct Case {
        int32_t code;
        const char* shown;
    } cases[] = {
        {11, "Critical Error \\| Division by zero"},
        {256, "Critical Error \\| Out of stack space"},
        {257, "Critical Error #1 \\| Out of memory"},
        {512, "Critical Error #12 \\| Out of memory"},
    };
    for (const Case& c : cases)
        EXPECT_EXIT(errors.raise_error(c.code), ::testing::ExitedWithCode(0), c.shown) << c.code;
}

TEST_F(ErrorsDeathTest, CriticalRangeOfTheDialogExitsWithoutContinue) {
    EXPECT_EXIT(
        {
            errors.raise_error(305);
            errors.statement_checkpoint(9);
        },
        ::testing::ExitedWithCode(0),
        "Critical Error #305 \\| Line: 9 \\(in main module\\)\nSource memory has been freed\n");
}

TEST_F(ErrorsDeathTest, IntegerDivisionByZeroIsTheCriticalError) {
    EXPECT_EXIT(
        {
            install_fpu_handling(errors);
            divide_by_zero();
        },
        ::testing::ExitedWithCode(0), "Critical Error \\| Division by zero");
}

}  // namespace
}  // namespace quendrel
