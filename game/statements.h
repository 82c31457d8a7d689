// The statement protocol of translated code, in one place.
//
// After a statement has done its work the procedure releases the
// temporaries it made down to its mark and, while the runtime asks for
// checkpoints, reports the statement's source line. A repeat request runs
// the statement again. Jump targets report before their work, loop heads at
// the top of every pass, conditionals only when their condition holds (a
// pending error counts as holding, so its checkpoint comes at once).
#pragma once

#include <cstdint>
#include <utility>

#include "runtime/runtime.h"

namespace quendrel {

class Statements {
public:
    explicit Statements(Runtime& rt) : rt_(rt), mark_(rt.strings.temp_count()) {}

    uint32_t mark() const { return mark_; }

    // One statement on `line`, run again while a repeat is asked for.
    template <typename Work>
    void run(int32_t line, Work&& work) {
        do {
            work();
        } while (end(line));
    }

    // A statement that other statements jump to: the checkpoint comes first
    // and a repeat request is ignored.
    template <typename Work>
    void target(int32_t line, Work&& work) {
        checkpoint(line);
        work();
        rt_.strings.temp_cleanup(mark_, 0);
    }
    void target(int32_t line) { checkpoint(line); }

    // A conditional statement: true when its dependent statements run.
    template <typename Condition>
    bool when(int32_t line, Condition&& condition) {
        for (;;) {
            int32_t holds = rt_.strings.temp_cleanup(mark_, int32_t(condition()));
            if (holds == 0 && !rt_.errors.pending()) return false;
            if (!end(line)) return true;
        }
    }

    // The head of a loop, at the top of every pass; true when the pass is to
    // start again.
    bool loop_head(int32_t line) { return end(line); }

    // A call reports its own line after the subroutine has returned.
    template <typename Procedure>
    void call(int32_t line, Procedure&& procedure) {
        procedure();
        end(line);
    }

private:
    // Returns true when the checkpoint asks for the statement again.
    bool end(int32_t line) {
        rt_.strings.temp_cleanup(mark_, 0);
        if (!rt_.run.pending_event.load()) return false;
        rt_.errors.statement_checkpoint(line, 0, nullptr);
        return rt_.errors.repeat_request != 0;
    }
    void checkpoint(int32_t line) {
        if (rt_.run.pending_event.load()) rt_.errors.statement_checkpoint(line, 0, nullptr);
    }

    Runtime& rt_;
    uint32_t mark_;
};

}  // namespace quendrel
