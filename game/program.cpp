// The translated program. Until the screen exists it is the smallest program
// that shows the kernel at work: string statements with their checkpoints,
// temporaries released after each statement, and the end of the run.
#include "game/program.h"

#include <cstdio>

#include "runtime/kernel/fpu.h"
#include "runtime/runtime.h"

namespace quendrel {

namespace {

// Ends a statement: release its temporaries, then serve the checkpoint.
void end_statement(Runtime& rt, uint32_t mark, int32_t line) {
    rt.strings.temp_cleanup(mark, 0);
    if (rt.run.pending_event.load()) rt.errors.statement_checkpoint(line);
}

void print_line(Runtime& rt, StringDescriptor* s) {
    std::fwrite(s->text, 1, size_t(s->length), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    rt.strings.free_if_temporary(s);
}

}  // namespace

void game_main(Runtime& rt) {
    install_fpu_handling(rt.errors);
    StringHeap& s = rt.strings;
    const uint32_t mark = s.temp_count();

    StringDescriptor* title = s.string_new(0, false);
    StringDescriptor* episode = s.string_new(0, false);

    s.string_assign(title, s.string_from_text("Tallowby Episode Ten"));
    end_statement(rt, mark, 1);
    s.string_assign(episode, s.string_concat(s.string_concat(title, s.string_from_text(": ")),
                                             s.string_from_text("Quendrel")));
    end_statement(rt, mark, 2);
    print_line(rt, episode);
    end_statement(rt, mark, 3);
    if (rt.command_line->length > 0) {
        print_line(rt, s.string_concat(s.string_from_text("Arguments: "), rt.command_line));
        end_statement(rt, mark, 4);
    }
    // The run ends: the frame thread sees the stop and exits the process.
    rt.run.stop_program.store(1);
    rt.errors.halt_program_thread();
}

}  // namespace quendrel
