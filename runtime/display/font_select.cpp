#include "runtime/display/font_select.h"

namespace quendrel {

namespace {
constexpr int32_t kIllegalFunctionCall = 5;
constexpr int32_t kInvalidHandle = 258;
}  // namespace

void FontSelector::select_font(uint32_t font, int32_t target, bool target_given) {
    if (errors_.pending()) return;
    int32_t slot = target_given ? screen_.resolve_target(target, kInvalidHandle)
                                : screen_.destination_slot();
    if (!slot) return;
    // No fonts are loaded at run time, so only the built-in numbers exist.
    if (!tables_.is_builtin_font(font)) {
        errors_.raise_error(kInvalidHandle);
        return;
    }
    ScreenImage& image = *screen_.image(slot);
    if (image.is_text && !(tables_.font_flags[font] & kFontTextUsable)) {
        errors_.raise_error(kIllegalFunctionCall);
        return;
    }
    if (image.is_text && (image.image_flags & kImageScreenPage)) {
        bool paused = screen_.begin_pause();
        display_.invalidate_previous_frame();
        for (int32_t page = 0; page < screen_.page_count(); ++page)
            if (int32_t s = screen_.page_slot(page)) store_shared(screen_.image(s)->font, font);
        screen_.end_pause(paused);
        return;
    }
    screen_.image_set_font(font, image);
}

}  // namespace quendrel
