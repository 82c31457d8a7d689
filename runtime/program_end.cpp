// The END of a translated program.
#include "runtime/runtime.h"

namespace quendrel {

void Runtime::program_end() {
    files.close_all();
    // From now on a close request ends the run even in a program that
    // handled such requests itself.
    run.exit_handled_by_program.store(0);

    screen.set_destination(-screen.display_page_slot());
    const int32_t rows = screen.text_rows(screen.destination());
    text.view_print(rows, rows, true);
    // The line end scrolls the one-row view: the bottom row is blanked in
    // the current colours before the prompt.
    text.print_string(strings.empty_string(), true);
    static constexpr char kPrompt[] = "Press any key to continue";
    StringDescriptor* prompt = strings.string_literal(kPrompt, sizeof kPrompt - 1);
    text.print_string(prompt, false);
    strings.string_free(prompt);

    // Keys typed before the prompt do not dismiss it.
    const uint32_t mark = strings.temp_count();
    for (;;) {
        StringDescriptor* k = keys.poll_key();
        const bool empty = k->length == 0;
        strings.temp_cleanup(mark, 0);
        if (empty) break;
        platform.sleep_ms(0);
    }
    display.display_mode.store(1);

    for (;;) {
        platform.sleep_ms(100);
        if (run.stop_threads.load()) errors.halt_program_thread();
        StringDescriptor* k = keys.poll_key();
        const bool empty = k->length == 0;
        strings.temp_cleanup(mark, 0);
        if (!empty) break;
    }
    run.stop_program.store(1);
    errors.halt_program_thread();
}

}  // namespace quendrel
