// read_command: the timed command reader with the case clock, lines 352-388.
#include <cmath>

#include "game/adventure.h"
#include "game/story.h"

namespace quendrel {

StringDescriptor* Adventure::read_command() {
    StringHeap& h = rt_.strings;
    StringFunctions& fn = rt_.functions;
    TextOutput& text = rt_.text;
    Statements s(rt_);  // the reader's own temporary mark

    // Locals, fresh on every call.
    uint8_t* const saved_arena = rt_.arena.current();
    const uint32_t saved_segment_top = h.segment_top();
    float& start_column = *static_cast<float*>(rt_.arena.static_alloc(4));
    float& start_row = *static_cast<float*>(rt_.arena.static_alloc(4));
    float& key_code = *static_cast<float*>(rt_.arena.static_alloc(4));
    long double& remaining = *static_cast<long double*>(rt_.arena.static_alloc(sizeof(long double)));
    float& shown_minutes = *static_cast<float*>(rt_.arena.static_alloc(4));
    float& shown_seconds = *static_cast<float*>(rt_.arena.static_alloc(4));
    start_column = start_row = key_code = shown_minutes = shown_seconds = 0;
    remaining = 0;
    StringDescriptor* input_text = h.string_new(0, false);
    StringDescriptor* drained = h.string_new(0, false);
    StringDescriptor* result = h.string_new(0, false);

    s.run(352, [&] { start_column = float(text.current_column()); });
    s.run(353, [&] { start_row = float(text.current_row()); });
    s.run(354, [] {});
    s.run(355, [&] { rt_.screen.page_copy(0, 1); });

    // Drain both queues: each pass takes one key-hit event and two characters.
    for (;;) {
        if (s.loop_head(356)) continue;
        s.run(357, [&] { key_code = float(rt_.keys.key_hit()); });
        s.run(358, [&] { h.string_assign(drained, rt_.keys.poll_key()); });
        int32_t done = 0;
        s.run(359, [&] {
            int32_t none = key_code == 0 ? -1 : 0;
            done = h.temp_cleanup(s.mark(), none & fn.string_equal(rt_.keys.poll_key(), h.empty_string()));
        });
        if (done || rt_.errors.pending()) break;
    }

    for (;;) {
        if (s.loop_head(360)) continue;
        s.run(361, [&] { rt_.clock.frame_limit(30); });
        s.run(362, [&] { rt_.screen.page_copy(1, 0); });
        s.run(363, [&] {
            text.set_cursor(int32_t(std::lrint(start_row)), int32_t(std::lrint(start_column)), 0, 0, 0, 3);
        });
        s.run(363, [&] {
            text.print_fit(input_text);
            text.print_string(input_text, false);
            text.print_string(h.empty_string(), true);
        });
        s.run(364, [&] { key_code = float(rt_.keys.key_hit()); });

        if (s.when(365, [&] { return key_code == 8 ? -1 : 0; }))
            s.run(366, [&] { h.string_assign(input_text, fn.left_string(input_text, input_text->length - 1)); });
        const bool letter = (key_code >= 65 && key_code <= 90) || (key_code >= 97 && key_code <= 122) ||
                            key_code == 32;
        if (s.when(367, [&] { return letter ? -1 : 0; }))
            s.run(368, [&] {
                h.string_assign(input_text, fn.upper_case(h.string_concat(
                                                input_text, fn.char_string(int32_t(std::lrint(key_code))))));
            });

        s.run(371, [&] { remaining = (long double)(deadline_ - rt_.clock.timer_seconds(0.001, true)); });
        s.run(372, [&] { shown_minutes = float(std::floor(remaining / 60)); });
        s.run(373, [&] { shown_seconds = float(remaining - 60 * (long double)shown_minutes); });
        s.run(374, [&] { text.set_cursor(2, 32, 0, 0, 0, 3); });
        s.run(374, [&] {
            StringDescriptor* clock = h.string_new(0, false);
            StringDescriptor* tmpl = h.string_literal(" ###:##.###", 11);
            int32_t at = rt_.format.format_using_single(tmpl, shown_minutes, 0, clock);
            rt_.format.format_using_single(tmpl, shown_seconds, at, clock);
            text.print_string(clock, true);
            h.string_free(clock);
        });
        if (s.when(375, [&] { return remaining <= 0 ? -1 : 0; })) failure_ending(s);
        s.run(376, [&] { rt_.clock.display_frame(); });
        int32_t entered = 0;
        s.run(379, [&] { entered = key_code == 13 ? -1 : 0; });
        if (entered || rt_.errors.pending()) break;
    }

    s.run(380, [&] { h.string_assign(result, input_text); });
    s.run(381, [&] { rt_.clock.auto_display(); });
    s.run(382, [] {});  // RETURN

    h.string_free(input_text);
    h.string_free(drained);
    h.set_segment_top(saved_segment_top);
    rt_.arena.release_to(saved_arena);
    return h.string_make_temporary(result);
}

void Adventure::failure_ending(Statements& s) {
    s.target(383);
    s.run(384, [&] { rt_.text.clear_screen(0, 0, 0); });
    s.run(385, [&] {
        StringDescriptor* t = rt_.strings.string_from_text(story::kFailFirst);
        rt_.text.print_fit(t);
        rt_.text.print_string(t, false);
        rt_.text.print_string(rt_.strings.empty_string(), true);
    });
    s.run(386, [&] {
        StringDescriptor* t = rt_.strings.string_from_text(story::kFailSecond);
        rt_.text.print_fit(t);
        rt_.text.print_string(t, false);
        rt_.text.print_string(rt_.strings.empty_string(), true);
    });
    s.run(387, [&] { rt_.clock.display_frame(); });
    rt_.program_end();
}

}  // namespace quendrel
